#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "descriptor/descriptor_test_support.h"

namespace zaro {
namespace {

using testing_support::DescriptorTest;
using testing_support::ReadBytes;
using testing_support::RunWithoutPrivileges;
using testing_support::WriteBytes;

// A TCP listener on 127.0.0.1 that counts every connection made to it.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~Listener() {
    if (thread_.joinable()) Stop();
    if (fd_ >= 0) ::close(fd_);
  }
  int Port() const { return port_; }

  // Ends the listener with a connection of its own that says "!" and returns how many
  // other connections it saw.
  int Stop() {
    const int own = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    if (::connect(own, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      ::send(own, "!", 1, MSG_NOSIGNAL);
    }
    thread_.join();
    ::close(own);
    return connections_;
  }

 private:
  void Serve() {
    for (;;) {
      const int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) return;
      char first = 0;
      const ssize_t got = ::recv(client, &first, 1, 0);
      ::close(client);
      if (got == 1 && first == '!') return;
      ++connections_;
    }
  }

  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<int> connections_{0};
};

class ExternalEntityTest : public DescriptorTest {
 protected:
  void SetUp() override {
    DescriptorTest::SetUp();
    ASSERT_GT(listener_.Port(), 0);
    url_ = "http://127.0.0.1:" + std::to_string(listener_.Port());
    SetMovie("Movie");
  }
  Listener listener_;
  std::string url_;
};

TEST_F(ExternalEntityTest, NamedResourcesAreNeverOpened) {
  WriteBytes(movieFolder_ / "secret.txt", "SECRET");
  WriteBytes(movieFolder_ / "local.dtd", "<!ENTITY fromDtd \"FROM-DTD\">");
  const std::string descriptors[] = {
      // External DTD subset on the network.
      "<?xml version=\"1.0\"?>\n<!DOCTYPE application SYSTEM \"" + url_ +
          "/x.dtd\">\n<application xmlns=\"urn:x/2.0\"><id>a</id><copyright>c</copyright></application>",
      // External general entities, on the network and beside the file.
      "<?xml version=\"1.0\"?>\n<!DOCTYPE application [\n<!ENTITY net SYSTEM \"" + url_ +
          "/e\">\n<!ENTITY local SYSTEM \"secret.txt\">\n]>\n<application xmlns=\"urn:x/2.0\"><id>a</id>"
          "<copyright>&local;</copyright><description>&net;</description></application>",
      // External parameter entity and a local external subset.
      "<?xml version=\"1.0\"?>\n<!DOCTYPE application SYSTEM \"local.dtd\" [\n<!ENTITY % p SYSTEM \"" + url_ +
          "/p\">\n%p;\n]>\n<application xmlns=\"urn:x/2.0\"><id>a</id><copyright>c</copyright></application>",
  };
  for (const std::string& content : descriptors) {
    SCOPED_TRACE(content);
    WriteBytes(DescriptorFile("Movie"), content);
    ::testing::internal::CaptureStdout();
    const int result = LoadDescriptor(true);
    ::testing::internal::GetCapturedStdout();
    // Parsed with the external parts left out, or refused with the message; never read.
    if (result == 0) {
      EXPECT_EQ(MessagesShown(), 0);
      EXPECT_EQ(ElementText(u"id"), u"a");
      EXPECT_EQ(ElementText(u"copyright").find(u"SECRET"), std::u16string::npos);
    } else {
      EXPECT_TRUE(ShowedUnparsableOnce());
    }
  }
  EXPECT_EQ(listener_.Stop(), 0);
}

TEST_F(ExternalEntityTest, InternalSubsetStillWorks) {
  WriteBytes(DescriptorFile("Movie"),
             "<?xml version=\"1.0\"?>\n<!DOCTYPE application [\n<!ENTITY maker \"Example Corp\">\n]>\n"
             "<application xmlns=\"urn:x/2.0\"><id>a</id><copyright>(c) &maker;</copyright></application>");
  ASSERT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(ElementText(u"copyright"), u"(c) Example Corp");
  EXPECT_EQ(MessagesShown(), 0);
}

TEST_F(ExternalEntityTest, EntityExpansionIsBounded) {
  std::string subset = "<!ENTITY e0 \"xxxxxxxxxx\">\n";
  for (int level = 1; level <= 9; ++level) {
    std::string value;
    for (int i = 0; i < 10; ++i) value += "&e" + std::to_string(level - 1) + ";";
    subset += "<!ENTITY e" + std::to_string(level) + " \"" + value + "\">\n";
  }
  WriteBytes(DescriptorFile("Movie"), "<?xml version=\"1.0\"?>\n<!DOCTYPE application [\n" + subset +
                                          "]>\n<application xmlns=\"urn:x/2.0\"><id>&e9;</id></application>");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(LoadDescriptor(true), -1);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(ShowedUnparsableOnce());
  // The parser's reason, once, on one line.
  EXPECT_EQ(printed.rfind("Exception message is: ", 0), 0u) << printed;
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
  EXPECT_EQ(printed.back(), '\n') << printed;
}

class FailedWriteTest : public DescriptorTest {
 protected:
  void SetUp() override {
    DescriptorTest::SetUp();
    SetMovie("Movie");
  }
  // The folder refuses new files while the descriptor itself stays writable, so only a
  // writer that goes through a temporary file beside it fails.
  void MakeFolderReadOnly() {
    ::chmod(DescriptorFile("Movie").c_str(), 0666);
    ::chmod(movieFolder_.c_str(), 0555);
    std::filesystem::permissions(root_, std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
  }
  int FilesInFolder() const {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(movieFolder_)) ++count;
    return count;
  }
};

TEST_F(FailedWriteTest, FailedSaveKeepsThePreviousFile) {
  const std::string handEdited = "<application xmlns=\"urn:x/2.0\">\n  <id>hand.edited</id>\n</application>\n";
  WriteBytes(DescriptorFile("Movie"), handEdited);
  ASSERT_EQ(LoadDescriptor(true), 0);
  ASSERT_EQ(SetElementText(MovieDescriptor(), u"id", u"changed"), 0);
  MakeFolderReadOnly();
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(RunWithoutPrivileges([] { return SaveDescriptor(MovieDescriptor(), MovieDescriptorPath()) == -1; }));
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Exception message is: "), std::string::npos);
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")), handEdited);
  EXPECT_EQ(FilesInFolder(), 1);  // no temporary file left behind
}

TEST_F(FailedWriteTest, FailedTemplateKeepsThePreviousFile) {
  // A pre-release descriptor cannot be replaced: the template write fails quietly, the
  // second parse still sees the pre-release namespace and the author gets message 8031.
  const std::string old = "<application xmlns=\"urn:zaro/application/1.0.M5\"><id>old</id></application>";
  WriteBytes(DescriptorFile("Movie"), old);
  MakeFolderReadOnly();
  EXPECT_TRUE(RunWithoutPrivileges([] { return WriteDescriptorTemplate(); }));
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")), old);
  EXPECT_TRUE(RunWithoutPrivileges([this] { return LoadDescriptor(true) == 5 && ShowedUnparsableOnce(); }));
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")), old);
  EXPECT_EQ(FilesInFolder(), 1);
}

}  // namespace
}  // namespace zaro
