#pragma once
// Writes a package archive in one pass (ZipContainer). File data is read once: files are
// read, digested and deflated on background threads ahead of the writer (EntryCompressor),
// large ones in blocks, and the writer puts their compressed data out as it is. Entries
// keep the order they were added in, and the last entry (the signature file) is made only
// after every other entry has been written. Entry times follow reproducible.h.
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <zip.h>

#include "entry_compressor.h"
#include "input_files.h"
#include "signature_file.h"
#include "tool_result.h"

namespace zpk {

// Already-compressed formats are stored, everything else deflated. The suffixes are
// lower case, without the dot; names match them without regard to case.
const std::vector<std::string>& StoredSuffixes();
bool IsAlreadyCompressed(const std::string& name);

class PackageWriter {
 public:
  using FinalEntryMaker = std::function<Outcome(const std::vector<EntryDigest>& digests, std::string& content)>;

  explicit PackageWriter(CompressorOptions compression = {});
  ~PackageWriter();
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;

  // Opens `path` (an existing empty temporary file) for a new archive.
  Outcome Open(const std::string& path);
  Outcome AddBuffer(const std::string& name, std::string data, bool compress);
  Outcome AddEntry(const PackageEntry& entry);
  // Copies an entry of another archive without recompressing it; its digest is known.
  // `from` must stay open until Close.
  Outcome AddCopy(zip_t* from, zip_uint64_t index, const EntryDigest& digest, unsigned mode);
  void SetFinalEntry(const std::string& name, FinalEntryMaker maker);
  // Writes the archive. Fails with the final entry's outcome, with error 300 for an input
  // that cannot be read, or with exit code 6 when the archive cannot be written.
  Outcome Close();
  // The most input bytes the compressor held ahead of the writer (after Close).
  std::uint64_t PeakBytesAhead() const { return peakAhead_; }

  struct State;

 private:
  CompressorOptions compression_;
  std::unique_ptr<State> state_;
  std::string path_;
  std::uint64_t peakAhead_ = 0;
};

}  // namespace zpk
