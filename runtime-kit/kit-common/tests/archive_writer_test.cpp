// The archive writer with its background compressor: entries in the order they were added,
// each with its data, digest and method, whether it was deflated ahead of the writer or
// streamed by it; and archives that other zip readers accept.
#include "zip_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "deflate_blocks.h"
#include "openssl_util.h"
#include "test_support.h"

namespace zpk {
namespace {

using testing::MakeBytes;
using testing::MakeCertificate;
using testing::MakeRsaKey;
using testing::ReadFile;
using testing::RunShell;
using testing::TempFolder;
using testing::WriteFile;

std::string Inflate(const std::string& deflated, size_t size) {
  std::string out(size, '\0');
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return "<no inflater>";
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
  z.avail_in = static_cast<uInt>(deflated.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  return rc == Z_STREAM_END && z.avail_out == 0 ? out : "<damaged>";
}

TEST(DeflateBlocks, SeparateStreamsJoinIntoOneThatInflatesToTheirData) {
  // Text (dynamic codes), a few bytes (fixed codes), noise (stored blocks), nothing, and a
  // last part whose stream keeps its end.
  const std::vector<std::string> parts = {MakeBytes(300000, true, 1), "abc", MakeBytes(70000, false, 2), "",
                                          MakeBytes(1000, true, 3) + MakeBytes(5000, false, 4), MakeBytes(9, true, 5)};
  for (int level : {1, 6, 12}) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    std::string joined, expected;
    for (size_t i = 0; i < parts.size(); ++i) {
      std::string stream(libdeflate_deflate_compress_bound(compressor, parts[i].size()), '\0');
      stream.resize(libdeflate_deflate_compress(compressor, parts[i].data(), parts[i].size(), stream.data(), stream.size()));
      if (i + 1 < parts.size()) {
        ASSERT_TRUE(MakeContinuable(stream)) << "part " << i << " at level " << level;
      }
      joined += stream;
      expected += parts[i];
    }
    libdeflate_free_compressor(compressor);
    EXPECT_TRUE(Inflate(joined, expected.size()) == expected) << "level " << level;
  }
  std::string damaged = "\x05\xff\xff\x12";
  EXPECT_FALSE(MakeContinuable(damaged));
  EXPECT_EQ(damaged, "\x05\xff\xff\x12");
}

TEST(EntryCompressor, PreparesFilesInOrderWithinItsMemoryCap) {
  TempFolder dir;
  // A cap far below the files' sizes: every file waits until the one before is taken.
  EntryCompressor compressor(CompressorOptions{.bytesAhead = 1024});
  struct Input {
    std::string name;
    std::string data;
    bool compress;
  };
  const std::vector<Input> inputs = {{"a.txt", MakeBytes(200000, true, 1), true},
                                     {"b.bin", MakeBytes(70000, false, 2), false},
                                     {"empty.txt", "", true},
                                     {"c.txt", MakeBytes(90000, false, 3), true}};
  for (const Input& input : inputs) {
    WriteFile(dir / input.name, input.data);
    compressor.Add(dir / input.name, input.data.size(), input.compress);
  }
  for (size_t i = 0; i < inputs.size(); ++i) {
    const Input& input = inputs[i];
    PreparedEntry entry = compressor.Take(i);
    ASSERT_EQ(entry.error, "") << input.name;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(input.data.data()), input.data.size());
    EXPECT_EQ(std::tie(entry.size, entry.sha256, entry.crc, entry.deflated),
              std::make_tuple(input.data.size(), Sha256(input.data), crc, input.compress));
    EXPECT_EQ(input.compress ? Inflate(entry.data, input.data.size()) : entry.data, input.data) << input.name;
  }
  EXPECT_LT(compressor.Take(0).error.find("out of order"), std::string::npos) << "a ticket is taken once";
}

TEST(EntryCompressor, FileThatVanishedOrChangedSizeIsAnError) {
  TempFolder dir;
  WriteFile(dir / "grew.txt", "0123456789");
  WriteFile(dir / "shrank.txt", "0123");
  EntryCompressor compressor;
  compressor.Add(dir / "missing.txt", 10, true);
  compressor.Add(dir / "grew.txt", 5, true);
  compressor.Add(dir / "shrank.txt", 8, false);
  EXPECT_NE(compressor.Take(0).error, "");
  EXPECT_EQ(compressor.Take(1).error, "the file grew while it was packaged");
  EXPECT_EQ(compressor.Take(2).error, "the file shrank while it was packaged");
}

// Every outside reader this project relies on accepts the archive and finds `count` entries.
void ExpectReadersAccept(const std::string& archive, size_t count) {
  int error = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  ASSERT_NE(za, nullptr) << "libzip: " << error;
  EXPECT_EQ(zip_get_num_entries(za, 0), static_cast<zip_int64_t>(count));
  zip_discard(za);
  const testing::ToolRun python = RunShell("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                                           "assert z.testzip() is None; print(len(z.infolist()))\" '" + archive + "'");
  EXPECT_EQ(python.code, 0) << python.output;
  EXPECT_EQ(python.output, std::to_string(count) + "\n");
  EXPECT_TRUE(testing::Ran(RunShell("unzip -tqq '" + archive + "'"), 0));
  EXPECT_TRUE(testing::Ran(RunShell("zipinfo -t '" + archive + "'"), 0));
}

TEST(PackageWriter, WritesEveryEntryInOrderWhetherDeflatedAheadOrStreamed) {
  TempFolder dir;
  struct Input {
    std::string name;
    std::string data;
    int method;
  };
  // With a bound of 64 KB the two large files are streamed by libzip, the others
  // prepared by the compressor.
  const std::vector<Input> inputs = {{"small.txt", MakeBytes(30000, true, 1), ZIP_CM_DEFLATE},
                                     {"big.txt", MakeBytes(300000, true, 2), ZIP_CM_DEFLATE},
                                     {"photo.png", MakeBytes(20000, false, 3), ZIP_CM_STORE},
                                     {"noise.dat", MakeBytes(50000, false, 4), ZIP_CM_DEFLATE},
                                     {"movie.jpg", MakeBytes(200000, false, 5), ZIP_CM_STORE},
                                     {"empty.txt", "", ZIP_CM_DEFLATE}};
  const CompressorOptions options{.wholeFileLimit = 64 * 1024, .bytesAhead = 100000};
  const std::string archive = dir / "out.zip";
  WriteFile(archive, "");
  std::vector<EntryDigest> seen;
  {
    PackageWriter writer(options);
    ASSERT_TRUE(writer.Open(archive).ok());
    ASSERT_TRUE(writer.AddBuffer("mimetype", "application/x-test", false).ok());
    for (const Input& input : inputs) {
      WriteFile(dir / input.name, input.data);
      ASSERT_TRUE(writer.AddEntry({.name = "files/" + input.name, .source = dir / input.name}).ok()) << input.name;
    }
    writer.SetFinalEntry("last.txt", [&](const std::vector<EntryDigest>& digests, std::string& content) {
      seen = digests;
      content = "end";
      return Outcome::Ok();
    });
    const Outcome closed = writer.Close();
    ASSERT_TRUE(closed.ok()) << closed.text;
  }
  ASSERT_EQ(seen.size(), inputs.size() + 1);
  int error = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  ASSERT_NE(za, nullptr) << error;
  ASSERT_EQ(zip_get_num_entries(za, 0), static_cast<zip_int64_t>(inputs.size() + 2));
  for (size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE(inputs[i].name);
    const std::string name = "files/" + inputs[i].name;
    EXPECT_EQ(seen[i + 1].name, name);
    EXPECT_EQ(seen[i + 1].sha256, Sha256(inputs[i].data));
    EXPECT_EQ(std::string(zip_get_name(za, i + 1, 0)), name);
    zip_stat_t st;
    ASSERT_EQ(zip_stat_index(za, i + 1, 0, &st), 0);
    EXPECT_EQ(st.comp_method, inputs[i].method);
    EXPECT_EQ(testing::ReadZipEntry(archive, name), inputs[i].data);
  }
  EXPECT_EQ(std::string(zip_get_name(za, inputs.size() + 1, 0)), "last.txt");
  zip_discard(za);
  ExpectReadersAccept(archive, inputs.size() + 2);
}

TEST(PackageWriter, LargeFilesAreOneStreamOfParallelBlocksWithinTheMemoryCap) {
  TempFolder dir;
  // Blocks that do not fall on the 32 KB window.
  const CompressorOptions options{.wholeFileLimit = 64 * 1024, .blockSize = 40000, .bytesAhead = 200000};
  // Text that refers back across block boundaries, noise, and a stored file in blocks.
  std::string text;
  for (unsigned i = 0; text.size() < 1500000; ++i) text += MakeBytes(700 + i % 300, true, i % 50);
  const std::vector<std::pair<std::string, std::string>> inputs = {
      {"text.txt", text}, {"noise.bin", MakeBytes(333333, false, 9)}, {"clip.mp4", MakeBytes(250001, false, 8)}};
  const std::string archive = dir / "out.zip";
  uint64_t peak = 0;
  {
    PackageWriter writer(options);
    ASSERT_TRUE(writer.Open(archive).ok());
    for (const auto& [name, data] : inputs) {
      WriteFile(dir / name, data);
      ASSERT_TRUE(writer.AddEntry({.name = name, .source = dir / name}).ok());
    }
    std::vector<EntryDigest> seen;
    writer.SetFinalEntry("last", [&](const std::vector<EntryDigest>& digests, std::string&) {
      seen = digests;
      return Outcome::Ok();
    });
    const Outcome closed = writer.Close();
    ASSERT_TRUE(closed.ok()) << closed.text;
    ASSERT_EQ(seen.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(seen[i].sha256, Sha256(inputs[i].second)) << inputs[i].first;
    peak = writer.PeakBytesAhead();
  }
  EXPECT_GT(peak, 0u);
  EXPECT_LE(peak, options.bytesAhead) << "input held ahead of the writer";
  for (const auto& [name, data] : inputs) EXPECT_EQ(testing::ReadZipEntry(archive, name), data) << name;
  ExpectReadersAccept(archive, inputs.size() + 1);
  EXPECT_LT(std::filesystem::file_size(archive), 1500000u / 4 + 333333 + 250001) << "the text was not deflated";
}

// A folder passes for a file until it is read (with the default bounds); a file's size is
// checked against the listed one whether it is read whole or in blocks.
TEST(PackageWriter, FileThatCannotBeReadOrChangedSizeAfterItWasListedFailsWithError300) {
  TempFolder dir;
  ASSERT_EQ(mkdir((dir / "folder").c_str(), 0755), 0);
  WriteFile(dir / "f.txt", MakeBytes(100000, true, 1));
  const CompressorOptions blocks{.wholeFileLimit = 1000, .blockSize = 40000};
  struct Case {
    const char* source;
    uint64_t listed;  // 0: not stated
  };
  for (const Case& c : {Case{"folder", 0}, Case{"f.txt", 500}, Case{"f.txt", 100000}, Case{"f.txt", 100001},
                        Case{"f.txt", 99999}}) {
    SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.listed));
    PackageWriter writer(c.listed == 0 ? CompressorOptions() : blocks);
    ASSERT_TRUE(writer.Open(dir / "out.zip").ok());
    ASSERT_TRUE(writer.AddEntry({.name = "f.txt", .source = dir / c.source, .stated = c.listed != 0, .size = c.listed})
                    .ok());
    const Outcome closed = writer.Close();
    if (c.listed == 100000) {
      EXPECT_TRUE(closed.ok()) << closed.text;
    } else {
      EXPECT_EQ(closed.code, kExitDescriptor);
      EXPECT_NE(closed.text.find("error 300"), std::string::npos) << closed.text;
    }
  }
}

TEST(PackageWriter, MoreThan65535EntriesGetTheLargeArchiveRecords) {
  TempFolder dir;
  const std::string archive = dir / "many.zip";
  const size_t count = 70000;
  PackageWriter writer;
  ASSERT_TRUE(writer.Open(archive).ok());
  for (size_t i = 0; i < count; ++i) ASSERT_TRUE(writer.AddBuffer("e/" + std::to_string(i), std::to_string(i), i % 2).ok());
  ASSERT_TRUE(writer.Close().ok());
  ExpectReadersAccept(archive, count);
  EXPECT_EQ(testing::ReadZipEntry(archive, "e/69999"), "69999");
}

}  // namespace
}  // namespace zpk
