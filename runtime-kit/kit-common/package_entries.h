#pragma once
// Reading entries of a package, an intermediate file or an iPhone archive safely: bounded
// reads for entries that must be small, streamed digests for the rest, and the entry kinds
// and modes an archive the kit wrote may hold.
#include <cstddef>
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

// The name of the first entry whose central directory record asks for a later zip version
// to extract than the kit writes (4.5): unzip skips such an entry while libzip reads it.
// Empty when there is none, or when the directory is not where a plain end record (no
// zip64 one) says. `start` is where the archive begins in the file.
std::string FirstEntryNeedingLaterZip(const std::string& path, unsigned long long start);

// The permission bits stored with an entry, or `fallback` when it stores none.
unsigned EntryPermissions(zip_t* archive, zip_uint64_t index, unsigned fallback);

// Package content fit for one output line: at most kMaxEchoedBytes bytes (cut between
// characters, "..." added), control characters shown as "?".
std::string Excerpt(std::string_view text);

}  // namespace zpk
