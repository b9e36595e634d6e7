#pragma once
// Joins separately compressed deflate streams into one: a stream that is not the last
// loses its final-block mark and ends with an empty stored block, so that the next one
// starts on a byte boundary. The block structure is found by walking the stream's codes.
#include <string>

namespace zpk {

// Makes `stream` (one complete raw deflate stream) continuable; false when it cannot be
// walked, leaving it unchanged.
bool MakeContinuable(std::string& stream);

}  // namespace zpk
