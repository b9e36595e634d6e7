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

using namespace testing_support;

// A TCP listener on 127.0.0.1 that counts every connection made to it; a failed socket
// call leaves its port 0.
class Listener {
 public:
  Listener() {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(fd_, 16);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0; ++connections_) ::close(client);
    });
  }
  ~Listener() {
    Stop();
    ::close(fd_);
  }
  int Port() const { return port_; }
  // Ends the listener (shutting the socket down wakes the waiting accept) and returns how
  // many connections it saw.
  int Stop() {
    ::shutdown(fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    return connections_;
  }

 private:
  const int fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int port_ = 0;
  std::thread thread_;
  std::atomic<int> connections_{0};
};

using ExternalEntityTest = DescriptorTest;

TEST_F(ExternalEntityTest, NamedResourcesAreNeverOpened) {
  Listener listener;
  ASSERT_GT(listener.Port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port());
  SetMovie("Movie");
  WriteBytes(movieFolder_ / "secret.txt", "SECRET");
  WriteBytes(movieFolder_ / "local.dtd", "<!ENTITY fromDtd \"FROM-DTD\">");
  const std::string application = "<application xmlns=\"urn:x/2.0\"><id>a</id>";
  const std::string descriptors[] = {
      // External DTD subset on the network.
      "<!DOCTYPE application SYSTEM \"" + url + "/x.dtd\">\n" + application + "<copyright>c</copyright></application>",
      // External general entities, on the network and beside the file.
      "<!DOCTYPE application [\n<!ENTITY net SYSTEM \"" + url + "/e\">\n<!ENTITY local SYSTEM \"secret.txt\">\n]>\n" +
          application + "<copyright>&local;</copyright><description>&net;</description></application>",
      // External parameter entity and a local external subset.
      "<!DOCTYPE application SYSTEM \"local.dtd\" [\n<!ENTITY % p SYSTEM \"" + url + "/p\">\n%p;\n]>\n" +
          application + "<copyright>c</copyright></application>",
  };
  for (const std::string& content : descriptors) {
    SCOPED_TRACE(content);
    WriteBytes(DescriptorFile("Movie"), "<?xml version=\"1.0\"?>\n" + content);
    int result = 0;
    Printed([&] { result = LoadDescriptor(true); });
    // Parsed with the external parts left out, or refused with the message; never read.
    if (result == 0) {
      EXPECT_EQ(MessagesShown(), 0);
      EXPECT_EQ(ElementText(u"id"), u"a");
      EXPECT_EQ(ElementText(u"copyright").find(u"SECRET"), std::u16string::npos);
    } else {
      EXPECT_TRUE(ShowedUnparsableOnce());
    }
  }
  EXPECT_EQ(listener.Stop(), 0);
}

TEST_F(ExternalEntityTest, InternalSubsetStillWorksAndItsExpansionIsBounded) {
  LoadMovie("<?xml version=\"1.0\"?>\n<!DOCTYPE application [\n<!ENTITY maker \"Example Corp\">\n]>\n"
            "<application xmlns=\"urn:x/2.0\"><id>a</id><copyright>(c) &maker;</copyright></application>");
  EXPECT_EQ(ElementText(u"copyright"), u"(c) Example Corp");
  EXPECT_EQ(MessagesShown(), 0);

  std::string subset = "<!ENTITY e0 \"xxxxxxxxxx\">\n";
  for (int level = 1; level <= 9; ++level) {
    std::string value;
    for (int i = 0; i < 10; ++i) value += "&e" + std::to_string(level - 1) + ";";
    subset += "<!ENTITY e" + std::to_string(level) + " \"" + value + "\">\n";
  }
  WriteBytes(DescriptorFile("Movie"), "<?xml version=\"1.0\"?>\n<!DOCTYPE application [\n" + subset +
                                          "]>\n<application xmlns=\"urn:x/2.0\"><id>&e9;</id></application>");
  const std::string printed = Printed([] { EXPECT_EQ(LoadDescriptor(true), -1); });
  EXPECT_TRUE(ShowedUnparsableOnce());
  // The parser's reason, once, on one line.
  EXPECT_EQ(printed.rfind("Exception message is: ", 0), 0u) << printed;
  EXPECT_EQ(printed.find('\n'), printed.size() - 1) << printed;
}

TEST_F(DescriptorTest, FailedWritesKeepThePreviousFile) {
  // The folder refuses new files while the descriptor itself stays writable, so only a
  // writer that goes through a temporary file beside it fails.
  const std::string old = "<application xmlns=\"urn:zaro/application/1.0.M5\"><id>old</id></application>";
  SetMovie("Movie");
  WriteBytes(DescriptorFile("Movie"), old);
  ::chmod(DescriptorFile("Movie").c_str(), 0666);
  ::chmod(movieFolder_.c_str(), 0555);
  std::filesystem::permissions(root_, std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
  // True when the descriptor still holds `content` and no temporary file was left behind.
  const auto onlyTheDescriptor = [&](const std::string& content) {
    return std::distance(std::filesystem::directory_iterator(movieFolder_), {}) == 1 &&
           ReadBytes(DescriptorFile("Movie")) == content;
  };
  // A pre-release descriptor cannot be replaced: the template write fails quietly, the
  // second parse still sees the pre-release namespace and the author gets message 8031.
  EXPECT_TRUE(RunWithoutPrivileges([] { return WriteDescriptorTemplate(); }));
  EXPECT_TRUE(onlyTheDescriptor(old));
  EXPECT_TRUE(RunWithoutPrivileges([this] { return LoadDescriptor(true) == 5 && ShowedUnparsableOnce(); }));
  EXPECT_TRUE(onlyTheDescriptor(old));

  // A failed save keeps a hand-edited file as it was.
  const std::string handEdited = "<application xmlns=\"urn:x/2.0\">\n  <id>hand.edited</id>\n</application>\n";
  WriteBytes(DescriptorFile("Movie"), handEdited);
  ASSERT_EQ(LoadDescriptor(true), 0);
  ASSERT_EQ(SetElementText(Doc(), u"id", u"changed"), 0);
  const std::string printed = Printed([] {
    EXPECT_TRUE(RunWithoutPrivileges([] { return SaveDescriptor(MovieDescriptor(), MovieDescriptorPath()) == -1; }));
  });
  EXPECT_NE(printed.find("Exception message is: "), std::string::npos);
  EXPECT_TRUE(onlyTheDescriptor(handEdited));
}

}  // namespace
}  // namespace zaro
