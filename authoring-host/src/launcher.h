#pragma once
// Starting a program on its own: the host does not wait for it and keeps no handle to it.
#include <string>
#include <vector>

namespace tessel {

// Starts `program` with `arguments`, its standard output and error going to the host's,
// its input from /dev/null. True once the program is running; false with a reason when it
// could not be started.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments, std::string* error);

}  // namespace tessel
