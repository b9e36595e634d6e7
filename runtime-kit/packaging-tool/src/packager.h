#pragma once
// -package, -prepare and -sign: from checked inputs to a complete package file.
#include "arguments.h"
#include "tool_result.h"

namespace zpk {

Outcome RunPackage(const PackageArgs& args);
Outcome RunSign(const SignArgs& args);

}  // namespace zpk
