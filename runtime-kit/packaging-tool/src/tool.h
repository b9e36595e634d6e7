#pragma once
// One run of the tool: parses the arguments and carries out the command.
#include <string>
#include <vector>

#include "tool_result.h"

namespace zpk {

Outcome RunTool(const std::vector<std::string>& args);

}  // namespace zpk
