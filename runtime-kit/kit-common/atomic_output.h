#pragma once
// Output files are written to a temporary file beside the target and renamed into place
// only when complete; a failed run leaves no partial file and never touches the target.
#include <string>
#include <string_view>

namespace zpk {

class TemporaryOutput {
 public:
  TemporaryOutput() = default;
  ~TemporaryOutput();
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;

  // Creates an empty temporary file in the target's folder.
  bool Create(const std::string& target, std::string& error);
  const std::string& path() const { return temp_; }
  // Flushes the temporary file to disk, gives it `mode` (less the umask) and renames it
  // over the target.
  bool Commit(std::string& error, unsigned mode = 0666);
  // Removes the temporary file (also done by the destructor when not committed).
  void Discard();

 private:
  std::string target_;
  std::string temp_;
  int slot_ = -1;
};

// Writes `data` to `target` through a TemporaryOutput.
bool WriteFileAtomically(const std::string& target, std::string_view data, unsigned mode, std::string& error);

// Reads a whole file; false with a reason on failure.
bool ReadWholeFile(const std::string& path, std::string& data, std::string& error);

// Removes pending temporary files when the tool is interrupted or terminated.
void InstallInterruptCleanup();

}  // namespace zpk
