// Reading an entry's content: a deflated stream is taken only when it ends where the entry's
// compressed data does and gives the stored size and CRC, as unzip requires of it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>

#include "openssl_util.h"
#include "package_entries.h"
#include "test_support.h"
#include "zip_container.h"

namespace {

std::string Le(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
  return out;
}

// A one-entry archive whose deflated entry carries `raw` as its compressed bytes and
// declares `text`'s size and CRC; `records` directory records all name that one entry.
std::string OneDeflatedEntry(const std::string& text, const std::string& raw, int records = 1) {
  const std::string name = "a.txt";
  const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
  const std::string sizes = Le(crc, 4) + Le(static_cast<std::uint32_t>(raw.size()), 4) + Le(static_cast<std::uint32_t>(text.size()), 4);
  const std::string local = Le(0x04034b50, 4) + Le(20, 2) + Le(0, 2) + Le(8, 2) + Le(0, 4) + sizes +
                            Le(static_cast<std::uint32_t>(name.size()), 2) + Le(0, 2) + name;
  const std::string central = Le(0x02014b50, 4) + Le(20, 2) + Le(20, 2) + Le(0, 2) + Le(8, 2) + Le(0, 4) + sizes +
                              Le(static_cast<std::uint32_t>(name.size()), 2) + Le(0, 2) + Le(0, 2) + Le(0, 2) +
                              Le(0, 2) + Le(0, 4) + Le(0, 4) + name;
  const auto at = static_cast<std::uint32_t>(local.size() + raw.size());
  std::string directory;
  for (int i = 0; i < records; ++i) directory += central;
  return local + raw + directory + Le(0x06054b50, 4) + Le(0, 2) + Le(0, 2) + Le(records, 2) + Le(records, 2) +
         Le(static_cast<std::uint32_t>(directory.size()), 4) + Le(at, 4) + Le(0, 2);
}

// Raw deflate of `text`, ended by `flush`: Z_FINISH writes the end mark, Z_SYNC_FLUSH
// gives every byte of the text but no end.
std::string Deflated(const std::string& text, int flush) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(text.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, flush);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

TEST(PackageEntries, ADeflatedEntryIsReadOnlyWhenItsStreamEndsWithItsData) {
  const std::string text(5000, 'x');
  const std::string whole = Deflated(text + "tail", Z_FINISH);
  struct Case {
    const char* what;
    std::string raw;
    bool readable;
  };
  const Case cases[] = {
      {"a stream with its end mark", Deflated(text, Z_FINISH), true},
      {"every byte but no end mark", Deflated(text, Z_SYNC_FLUSH), false},
      {"bytes after the end mark", Deflated(text, Z_FINISH) + "junk", false},
      {"more content than the stored size", whole, false},
      {"a stream cut short", whole.substr(0, whole.size() / 2), false},
  };
  zpk::testing::TempFolder dir;
  const std::string file = dir / "entries.zip";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zpk::testing::WriteFile(file, OneDeflatedEntry(text, c.raw));
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(archive, nullptr);
    std::string data, digest, why;
    EXPECT_EQ(zpk::ReadEntryLimited(archive, 0, zpk::kMaxMetadataBytes, data, why), c.readable) << why;
    EXPECT_EQ(c.readable, why.empty()) << why;
    EXPECT_EQ(zpk::DigestEntry(archive, 0, digest, why), c.readable) << why;
    if (c.readable) {
      EXPECT_EQ(data, text);
      EXPECT_EQ(digest, zpk::Sha256(text));
    }
    zip_discard(archive);
  }
}

TEST(PackageEntries, WhatUnzipRefusesIsFoundInTheDirectoryAndTheLocalHeaders) {
  const std::string text = "some text";
  const std::string raw = Deflated(text, Z_FINISH);
  const std::string archive = OneDeflatedEntry(text, raw);
  const size_t central = 35 + raw.size();
  struct Case {
    const char* what;
    std::string bytes;
    zpk::DirectoryProblem::Kind kind;
  };
  auto patched = [&](size_t at, char value) {
    std::string bytes = archive;
    bytes[at] = value;
    return bytes;
  };
  const Case cases[] = {
      {"an archive as written", archive, zpk::DirectoryProblem::kNone},
      {"a data descriptor only the local header announces", patched(6, 8), zpk::DirectoryProblem::kLocalHeaderDiffers},
      {"encryption only the local header announces", patched(6, 1), zpk::DirectoryProblem::kLocalHeaderDiffers},
      {"another method in the local header", patched(8, 0), zpk::DirectoryProblem::kLocalHeaderDiffers},
      {"a later version to extract", patched(central + 6, 63), zpk::DirectoryProblem::kLaterZipVersion},
      {"data running into the directory", patched(central + 20, static_cast<char>(raw.size() + 1)),
       zpk::DirectoryProblem::kOverlapping},
      {"two records for one local entry", OneDeflatedEntry(text, raw, 2), zpk::DirectoryProblem::kOverlapping},
  };
  zpk::testing::TempFolder dir;
  const std::string file = dir / "directory.zip";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zpk::testing::WriteFile(file, c.bytes);
    const zpk::DirectoryProblem problem = zpk::FirstDirectoryProblem(file, 0);
    EXPECT_EQ(problem.kind, c.kind);
    if (c.kind != zpk::DirectoryProblem::kNone) {
      EXPECT_EQ(problem.name, "a.txt");
    }
  }
  // A stub before the archive, and the zip64 end records of more than 65,535 entries.
  {
    zpk::ZipContainer zip;
    ASSERT_TRUE(zip.Open(file));
    for (int i = 0; i < 65600; ++i) {
      zpk::ZipEntryInfo info;
      info.name = "e" + std::to_string(i);
      ASSERT_TRUE(zip.Add(info, ""));
    }
    ASSERT_TRUE(zip.Finish()) << zip.error();
  }
  std::string bytes = "#!/bin/sh\nexit 0\n" + zpk::testing::ReadFile(file);
  zpk::testing::WriteFile(file, bytes);
  EXPECT_EQ(zpk::FirstDirectoryProblem(file, 17).kind, zpk::DirectoryProblem::kNone);
  bytes[bytes.find("e65599") - 30 + 6] = 8;
  zpk::testing::WriteFile(file, bytes);
  const zpk::DirectoryProblem problem = zpk::FirstDirectoryProblem(file, 17);
  EXPECT_EQ(problem.kind, zpk::DirectoryProblem::kLocalHeaderDiffers);
  EXPECT_EQ(problem.name, "e65599");
}

}  // namespace
