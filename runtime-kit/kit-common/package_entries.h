#pragma once
// Reading entries of a package, an intermediate file or an iPhone archive safely: bounded
// reads for entries that must be small, streamed digests for the rest, and the entry kinds
// and modes an archive the kit wrote may hold.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include <zip.h>

namespace zpk {

// The longest mimetype entry accepted; the real ones are a few dozen bytes.
inline constexpr std::size_t kMaxMimetypeBytes = 256;
// Descriptors and signature files are read whole, up to this size.
inline constexpr std::size_t kMaxMetadataBytes = std::size_t{16} << 20;
// The most bytes of package content echoed in one line of output.
inline constexpr std::size_t kMaxEchoedBytes = 64;

// Takes the chunks of an entry's content in order; returns false to stop reading.
using EntrySink = std::function<bool(const char* bytes, std::size_t size)>;

// Reads an entry's content in chunks into `sink`; false with a reason when it is damaged
// (a deflated stream must end exactly with the entry's compressed data and give the stored
// size and CRC, as unzip requires) or unreadable, and false with no reason when the sink
// stopped it.
bool ReadEntry(zip_t* archive, zip_uint64_t index, const EntrySink& sink, std::string& error);

// Reads an entry of at most `limit` bytes; false with a reason when it is longer, damaged
// or unreadable. Never holds more than `limit` bytes plus one read chunk.
bool ReadEntryLimited(zip_t* archive, zip_uint64_t index, std::size_t limit, std::string& data, std::string& error);

// The SHA-256 digest (32 raw bytes) of an entry's content, read in chunks.
bool DigestEntry(zip_t* archive, zip_uint64_t index, std::string& digest, std::string& error);

// True when an entry is a regular file or a folder (or carries no file type at all, as
// archives made on systems without one do); false for links, devices, pipes and sockets.
bool IsPlainEntry(zip_t* archive, zip_uint64_t index);

// Why an entry is not one the kit's archive writer makes, or empty when it is: a regular
// file (name not ending in "/") or a folder (name ending in "/") that carries no data, with
// permission bits only (no set-id or sticky bit) and, for the files a tool writes itself
// (`generated`), no execute bit. Entries made where no file type is stored pass on their
// names alone. The reason reads after the entry's name ("is a folder that carries data").
std::string EntryShapeProblem(zip_t* archive, zip_uint64_t index, bool generated);

// A reason for unzip to skip an entry, or the whole archive, that libzip reads.
struct DirectoryProblem {
  enum Kind {
    kNone,
    kLaterZipVersion,     // the directory asks for a later zip version to extract than 4.5
    kLocalHeaderDiffers,  // the local header's flags or method are not the directory's
    kOverlapping,         // the entry's header and data run into the next entry
  } kind = kNone;
  std::string name;       // the entry's name
};

// The first such problem of the archive that begins at byte `start` of `path`, found by
// reading its central directory and local headers. kNone when there is none, or when the
// end records cannot be found (libzip reports those archives itself).
DirectoryProblem FirstDirectoryProblem(const std::string& path, unsigned long long start);

// How a verifier words a problem, after the entry's name ("asks for ..."); `writer` names
// the tool ("the tool", "the packager") for a later zip version.
std::string DirectoryProblemText(DirectoryProblem::Kind kind, const std::string& writer);

// The permission bits stored with an entry, or `fallback` when it stores none.
unsigned EntryPermissions(zip_t* archive, zip_uint64_t index, unsigned fallback);

// Package content fit for one output line: at most kMaxEchoedBytes bytes (cut between
// characters, "..." added), control characters shown as "?".
std::string Excerpt(std::string_view text);

}  // namespace zpk
