#pragma once
// Writes a package archive with libzip. File data is read once: the SHA-256 digest of
// every entry is taken while libzip reads it, and the last entry (the signature file) is
// made only after every other entry has been written.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <zip.h>

#include "input_files.h"
#include "signature_file.h"
#include "tool_result.h"

namespace zpk {

// Already-compressed formats are stored, everything else deflated.
bool IsAlreadyCompressed(const std::string& name);

class PackageWriter {
 public:
  using FinalEntryMaker = std::function<Outcome(const std::vector<EntryDigest>& digests, std::string& content)>;

  PackageWriter();
  ~PackageWriter();
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;

  // Opens `path` (an existing empty temporary file) for a new archive.
  Outcome Open(const std::string& path);
  Outcome AddBuffer(const std::string& name, std::string data, bool compress);
  Outcome AddEntry(const PackageEntry& entry);
  // Copies an entry of another archive without recompressing it; its digest is known.
  Outcome AddCopy(zip_t* from, zip_uint64_t index, const EntryDigest& digest, unsigned mode);
  void SetFinalEntry(const std::string& name, FinalEntryMaker maker);
  // Writes the archive. Fails with the final entry's outcome, with error 300 for an input
  // that cannot be read, or with exit code 6 when the archive cannot be written.
  Outcome Close();

  struct State;

 private:
  Outcome Added(zip_int64_t index, const std::string& name, zip_int32_t method, unsigned mode, bool directory);

  std::unique_ptr<State> state_;
  zip_t* archive_ = nullptr;
  std::string path_;
};

}  // namespace zpk
