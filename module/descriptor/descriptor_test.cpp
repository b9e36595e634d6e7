#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <tuple>

#include "descriptor/application_icons.h"
#include "descriptor/application_id.h"
#include "descriptor/descriptor_test_support.h"
#include "descriptor/file_types.h"

namespace zaro {
namespace {

using namespace testing_support;
using namespace std::string_literals;

const std::string kCurrent = "http://ns.corvane.example/zaro/application/2.0";
const std::string kReason = "Exception message is: ";

// A descriptor of the namespace version ("" for none) and the id.
std::string Versioned(const std::string& version, const std::string& id = "a") {
  const std::string ns = version.empty() ? "" : " xmlns=\"http://ns.corvane.example/zaro/application/" + version + "\"";
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application" + ns + ">\n  <id>" + id + "</id>\n</application>\n";
}

TEST_F(DescriptorTest, ParseResultsNamespaceMarkersAndTheLibrarysMessages) {
  DescriptorDocument document;
  const auto parseFile = [&](auto name) { return ParseDescriptor(document, FromUtf8((movieFolder_ / name).string())); };
  const auto parse = [&](const std::string& content) {
    WriteBytes(movieFolder_ / "x-app.xml", content);
    return parseFile("x-app.xml");
  };
  EXPECT_EQ(parse(Versioned("2.0")), -1);  // no parser yet
  ASSERT_EQ(InitDescriptorParser(document), 0);
  // Content, result, legacy marker ("2.0" holds no "1.0"; no xmlns reads as an empty value: parsed,
  // current). Not loaded after a failed parse: the document in memory is not the earlier file any more.
  const std::tuple<std::string, int, bool> cases[] = {
      {Versioned("2.0"), 0, false},    {Versioned("1.1"), 0, true},     {Versioned("1.0"), 0, true},
      {Versioned("1.5"), 0, false},    {Versioned(""), 0, false},      {Versioned("1.0.M5"), 5, false},
      {Versioned("1.0.M6"), 5, false}, {"<?xml version=\"1.0\"?><settings><id>a</id></settings>", 1, false},
  };
  for (const auto& [content, result, legacy] : cases) {
    SCOPED_TRACE(content);
    EXPECT_EQ(parse(content), result);
    EXPECT_EQ(document.loaded, result == 0);
    EXPECT_EQ(document.legacyNamespace, legacy);
  }
  EXPECT_EQ(document.sourcePath, FromUtf8((movieFolder_ / "x-app.xml").string()));

  const std::string printed = Printed([&] { EXPECT_EQ(parse(Versioned("2.0", "a</id><b>")), -1); });
  EXPECT_EQ(printed.rfind(kReason, 0), 0u) << printed;
  EXPECT_EQ(printed.back(), '\n');
  EXPECT_FALSE(document.loaded);
  EXPECT_EQ(Printed([&] { EXPECT_EQ(parseFile("absent-app.xml"), -1); }).rfind(kReason, 0), 0u);
  // A name with line breaks, or a very long one, still gives one line of bounded length.
  const std::string oneLine = Printed([&] { EXPECT_EQ(parseFile("two\nlines\r" + std::string(3000, 'x')), -1); });
  EXPECT_EQ(oneLine.rfind(kReason, 0), 0u) << oneLine;
  EXPECT_EQ(oneLine.find('\n'), oneLine.size() - 1) << oneLine;
  EXPECT_EQ(oneLine.find('\r'), std::string::npos) << oneLine;
  EXPECT_LT(oneLine.size(), 1100u);
  EXPECT_EQ(parse(""), -1);
}

TEST_F(DescriptorTest, WhenAFileIsWrittenFromTheTemplateParsedAgainOrRefused) {
  const auto loadedId = [&](bool force) { return LoadDescriptor(force) == 0 ? ElementText(u"id") : u"<failed>"; };
  EXPECT_EQ(loadedId(false), u"Movie");
  EXPECT_TRUE(std::filesystem::exists(DescriptorFile("Movie")));
  WriteBytes(DescriptorFile("Movie"), Versioned("1.0.M6", "old.pre.release"));
  EXPECT_EQ(loadedId(true), u"Movie");
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")).rfind(kBom, 0), 0u);  // the template's own bytes

  WriteBytes(DescriptorFile("Movie"), Versioned("2.0", "first"));
  EXPECT_EQ(loadedId(true), u"first");
  // The file changes on disk; the parsed document is kept, also when the same folder is
  // written with "\".
  WriteBytes(DescriptorFile("Movie"), Versioned("2.0", "second"));
  EXPECT_EQ(loadedId(false), u"first");
  std::u16string folder = FromUtf8(movieFolder_.string() + "/");
  std::replace(folder.begin(), folder.end(), u'/', u'\\');
  SetSetting(keys::kMovieFolder, folder);
  EXPECT_EQ(loadedId(false), u"first");
  EXPECT_EQ(loadedId(true), u"second");  // forced, it is parsed again
  // A deleted file is written from the template and parsed again; another movie is another file.
  std::filesystem::remove(DescriptorFile("Movie"));
  EXPECT_EQ(loadedId(false), u"Movie");
  SetMovie("Other");
  EXPECT_EQ(loadedId(false), u"Other");
  EXPECT_EQ(MessagesShown(), 0);

  // An unparsable file is left as it is and shows the message.
  SetMovie("Movie");
  WriteBytes(DescriptorFile("Movie"), "<application xmlns=\"urn:a\"><id>a</id>");
  EXPECT_NE(Printed([] { EXPECT_EQ(LoadDescriptor(true), -1); }).find(kReason), std::string::npos);
  EXPECT_TRUE(ShowedUnparsableOnce());
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")), "<application xmlns=\"urn:a\"><id>a</id>");
  WriteBytes(DescriptorFile("Movie"), "<settings/>");
  EXPECT_EQ(LoadDescriptor(false), 1);
  EXPECT_EQ(MessagesShown(), 2);
}

TEST_F(DescriptorTest, RefreshCarriesADescriptorOverToTheMovie) {
  SetMovie("My Movie");
  WriteBytes(DescriptorFile("My Movie"), "<application xmlns=\"" + kCurrent +
                                             "\">\n  <id>old.id</id>\n  <filename>Old</filename>\n  <initialWindow>\n"
                                             "    <content>Old.qmv</content>\n  </initialWindow>\n</application>\n");
  EXPECT_TRUE(RefreshDescriptorForMovie());
  EXPECT_EQ(Doc().parser, nullptr);  // released after the save
  EXPECT_EQ(ReadBytes(DescriptorFile("My Movie")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n<application xmlns=\"" + kCurrent +
                "\">\n  <id>old.id</id>\n  <filename>My Movie</filename>\n  <initialWindow>\n"
                "    <content>My Movie.qmv</content>\n  </initialWindow>\n  <name>My Movie</name>\n</application>\n");

  WriteBytes(DescriptorFile("My Movie"), "<application><id>");
  Printed([] { EXPECT_FALSE(RefreshDescriptorForMovie()); });
  EXPECT_TRUE(ShowedUnparsableOnce());
}

// A hand-laid-out descriptor in the serialiser's own declaration form, so that every
// byte but the namespace must come back unchanged.
std::string HandWritten(const std::string& ns) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n<application xmlns=\"" + ns + "\">\n"
         "\t<id>com.example.app</id>\n    <!-- keep me -->\n  <name>\n      <text xml:lang=\"en\">App</text>\n"
         "  </name>\n\n\n  <initialWindow>   <content>App.qmv</content>\n"
         "        <unknownToTheModule a=\"1\">x</unknownToTheModule>   </initialWindow>\n</application>\n";
}

TEST_F(DescriptorTest, UpgradeReplacesALegacyNamespaceAndLeavesOtherFilesAlone) {
  InstallSample(ReadBytes(SourceSample()));
  // The file's bytes after the upgrade, after "false:" when it failed.
  const auto upgraded = [&](const std::string& content) {
    WriteBytes(DescriptorFile("Movie"), content);
    const bool done = UpgradeDescriptorNamespace(FromUtf8(DescriptorFile("Movie").string()));
    return (done ? "" : "false:") + ReadBytes(DescriptorFile("Movie"));
  };
  EXPECT_EQ(upgraded(HandWritten("http://ns.corvane.example/zaro/application/1.1")), HandWritten(kCurrent));
  EXPECT_EQ(UpgradeDescriptor().parser, nullptr);
  // Current namespace: not rewritten at all. Legacy, but the kit has no sample: nothing to
  // upgrade to.
  const std::string current = "<application xmlns=\"" + kCurrent + "\"><id>a</id></application>";
  EXPECT_EQ(upgraded(current), current);
  InstallSample("");
  const std::string legacy = "<application xmlns=\"urn:zaro/application/1.0\"><id>a</id></application>";
  EXPECT_EQ(upgraded(legacy), legacy);
  EXPECT_EQ(MessagesShown(), 0);
  Printed([&] { EXPECT_EQ(upgraded("<application"), "false:<application"); });
  EXPECT_TRUE(ShowedUnparsableOnce());
  EXPECT_EQ(Doc().parser, nullptr);  // the movie's own instance is not touched by any of this
}

TEST_F(DescriptorTest, TheTemplateTakesTheMovieTheSettingsAndTheKitSamplesNamespace) {
  const auto written = [&](const std::string& baseName) {
    SetMovie(baseName);
    EXPECT_TRUE(WriteDescriptorTemplate());
    return ReadBytes(DescriptorFile(baseName));
  };
  EXPECT_EQ(written("Movie"),
            kBom + "<?xml version =\"1.0\" encoding=\"utf-8\" ?><application "
            "xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>Movie</id><version>1.0</version>"
            "<filename>Movie</filename><description></description><!-- To localize the description, use the following "
            "format for the description element.<description><text xml:lang=\"en\">English App description goes here"
            "</text><text xml:lang=\"fr\">French App description goes here</text><text xml:lang=\"ja\">Japanese App "
            "description goes here</text></description>--><name>Movie</name><!-- To localize the name, use the "
            "following format for the name element.<name><text xml:lang=\"en\">English App name goes here</text><text "
            "xml:lang=\"fr\">French App name goes here</text><text xml:lang=\"ja\">Japanese App name goes here</text>"
            "</name>--><copyright></copyright><initialWindow><content>Movie.qmv</content><systemChrome>standard"
            "</systemChrome><transparent>false</transparent><visible>true</visible><fullScreen>false</fullScreen>"
            "<aspectRatio>portrait</aspectRatio><renderMode>auto</renderMode></initialWindow><icon></icon>"
            "<customUpdateUI>false</customUpdateUI><allowBrowserInvocation>false</allowBrowserInvocation>"
            "</application>");
  // Each step sets one more setting, writes the template and looks for pieces of it.
  const std::tuple<std::u16string_view, std::u16string, std::vector<std::string>> steps[] = {
      // A base name with a space and an underscore, no appid or appname.
      {{}, u"", {"<id>My-Movie-1</id>", "<content>My&#37;20Movie_1.qmv</content>", "<filename>My Movie_1</filename>",
                 "<name>My Movie_1</name>"}},
      // appid first, then appname; both turned into identifiers the same way.
      {keys::kAppName, u"Nice App", {"<id>Nice-App</id><version>1.0</version><filename>Nice App</filename>"}},
      {keys::kAppId, u"com.example_x", {"<id>com.example-x</id>"}},
      // An identifier the rule refuses (see ApplicationIdTest) gives way to "no-name".
      {keys::kAppId, u"com/example", {"<id>no-name</id>"}},
      // Window styles are matched exactly.
      {keys::kWindowType, u"Opaque", {"<systemChrome>standard</systemChrome><transparent>false</transparent>"}},
      {keys::kWindowType, u"opaque", {"<systemChrome>none</systemChrome><transparent>false</transparent>"}},
      {keys::kWindowType, u"transparent", {"<systemChrome>none</systemChrome><transparent>true</transparent>"}},
      // programMenuFolder only when set, between the window and the icon.
      {keys::kProgramMenu, u"G&F", {"</initialWindow><programMenuFolder>G&amp;F</programMenuFolder><icon>"}},
      // Character data is escaped; "%" is left alone.
      {keys::kDescription, u"Tom & Jerry <3 100%", {"<description>Tom &amp; Jerry &lt;3 100%</description>"}},
      {keys::kCopyright, u"© 2024 A&B", {"<copyright>© 2024 A&amp;B</copyright>"}},
      {keys::kVersion, u"2.5", {"<version>2.5</version>"}},
      {keys::kShortName, u"短名", {"<name>短名</name>"}},
  };
  for (const auto& [key, value, pieces] : steps) {
    if (!key.empty()) SetSetting(key, value);
    const std::string text = written("My Movie_1");
    EXPECT_EQ(text.back(), '>');
    for (const std::string& piece : pieces) EXPECT_NE(text.find(piece), std::string::npos) << piece;
  }
  SetMovie("A&B Movie");
  ASSERT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(MessagesShown(), 0);
  EXPECT_EQ(ElementText(u"content"), u"A&B%20Movie.qmv");
  EXPECT_EQ(ElementText(u"description"), u"Tom & Jerry <3 100%");
  EXPECT_FALSE(Doc().legacyNamespace);

  // Each sample ("" for none) and the namespace read from it ("" when refused: the default stays).
  const std::pair<std::string, std::string> cases[] = {
      {ReadBytes(SourceSample()), kCurrent},  // the kit's own sample carries the current one
      {"<?xml version=\"1.0\"?><application xmlns=\"urn:kit/ns/2.5\"><id>s</id></application>", "urn:kit/ns/2.5"},
      {"<application xmlns=\"urn:kit/1.0.M6\"/>", ""},
      {"<application xmlns=\"urn:" + std::string(124, 'n') + "\"/>", ""},
      {"<application xmlns=\"urn:" + std::string(123, 'n') + "\"/>", "urn:" + std::string(123, 'n')},
      {"<application xmlns=\"urn:broken\">", ""},
      {"", ""},
  };
  for (const auto& [sample, read] : cases) {
    SCOPED_TRACE(sample);
    InstallSample(sample);
    std::string descriptorNamespace;
    EXPECT_EQ(ReadSampleNamespace(descriptorNamespace), read.empty() ? -1 : 0);
    EXPECT_EQ(descriptorNamespace, read);
    EXPECT_NE(written("Movie").find("<application xmlns=\"" + (read.empty() ? kCurrent : read) + "\">"),
              std::string::npos);
  }
}

TEST(ApplicationIdTest, AcceptsOnlyTheRuleCharactersAndLengths) {
  for (auto& id : {u"a"s, u"com.Example-App.09"s, std::u16string(212, u'Z')}) EXPECT_TRUE(IsValidApplicationId(id));
  for (const auto& id : {u""s, std::u16string(213, u'Z'), u"a_b"s, u"a b"s, u"a/b"s, u"a%b"s, u"é"s, u"应用"s}) {
    EXPECT_FALSE(IsValidApplicationId(id)) << ToUtf8(id);
  }
}

// A TCP listener on 127.0.0.1 that counts every connection made to it.
class Listener {
 public:
  Listener() {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(fd_, 16);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0; ++connections_) ::close(client);
    });
  }
  ~Listener() {
    Stop();
    ::close(fd_);
  }
  // Shutting the socket down wakes the waiting accept.
  int Stop() {
    ::shutdown(fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    return connections_;
  }
  int port = 0;  // 0 when a socket call failed

 private:
  const int fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  std::thread thread_;
  std::atomic<int> connections_{0};
};

TEST_F(DescriptorTest, NamedResourcesAreNeverOpened) {
  Listener listener;
  ASSERT_GT(listener.port, 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(listener.port);
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

TEST_F(DescriptorTest, InternalSubsetStillWorksAndItsExpansionIsBounded) {
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
  EXPECT_EQ(printed.rfind(kReason, 0), 0u) << printed;
  EXPECT_EQ(printed.find('\n'), printed.size() - 1) << printed;
}

TEST_F(DescriptorTest, FailedWritesKeepThePreviousFile) {
  // The folder refuses new files while the descriptor itself stays writable, so only a
  // writer that goes through a temporary file beside it fails.
  const std::string old = "<application xmlns=\"urn:zaro/application/1.0.M5\"><id>old</id></application>";
  WriteBytes(DescriptorFile("Movie"), old);
  ::chmod(DescriptorFile("Movie").c_str(), 0666);
  ::chmod(movieFolder_.c_str(), 0555);
  std::filesystem::permissions(root_, std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
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
  EXPECT_NE(Printed([] {
    EXPECT_TRUE(RunWithoutPrivileges([] { return SaveDescriptor(MovieDescriptor(), MovieDescriptorPath()) == -1; }));
  }).find(kReason),
            std::string::npos);
  EXPECT_TRUE(onlyTheDescriptor(handEdited));
}

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application xmlns=\"" + kCurrent + "\">\n  <id>a</id>\n";

// A record with a content type made from the name, and icons by size.
FileTypeRecord Record(const std::string& name, const std::string& extension,
                      const std::map<int, std::u16string>& icons = {}, const std::string& loadedName = "") {
  FileTypeRecord record;
  record.name = name;
  record.extension = extension;
  record.contentType = u"application/x-" + FromUtf8(name);
  record.loadedName = loadedName;
  for (const auto& [size, path] : icons) record.Icon(size) = path;
  return record;
}

std::string Fields(const FileTypeRecord& r) {
  return r.name + "|" + r.extension + "|" + ToUtf8(r.description) + "|" + ToUtf8(r.contentType) + "|" +
         ToUtf8(r.icon16) + "|" + ToUtf8(r.icon32) + "|" + ToUtf8(r.icon48) + "|" + ToUtf8(r.icon128) + "|" +
         r.loadedName;
}

std::string FileTypesPart(const std::string& s) { return s.substr(std::min(s.find("<fileTypes>"), s.size())); }

// How children are appended, replaced in place and removed is the Advanced page's daily work
// (see its tests); these are the edges it does not reach.
TEST_F(DescriptorTest, MissingParentsAndChildrenTextsAttributesAndTheGuardedShorthand) {
  LoadMovie();  // the template
  // Without the parent nothing is created or removed; an absent child is removed quietly.
  EXPECT_EQ(SetChildElementText(Doc(), u"fileTypes", u"fileType", u"x"), 3);
  EXPECT_EQ(RemoveChildElement(Doc(), u"fileTypes", u"fileType"), 3);
  EXPECT_EQ(RemoveChildElement(Doc(), u"application", u"installFolder"), 0);
  EXPECT_FALSE(HasChildElement(Doc(), u"application", u"fileTypes"));
  EXPECT_FALSE(HasChildElement(Doc(), u"description", u"text"));  // the example lives in a comment
  EXPECT_FALSE(HasChildElement(Doc(), u"nothing", u"text"));
  // The guarded shorthand wants both names.
  EXPECT_EQ(SetChildElementIfReady(Doc(), u"", u"width", u"1"), 1);
  EXPECT_EQ(SetChildElementIfReady(Doc(), u"initialWindow", u"", u"1"), 1);
  EXPECT_FALSE(HasChildElement(Doc(), u"initialWindow", u"width"));
  EXPECT_EQ(SetChildElementIfReady(Doc(), u"initialWindow", u"width", u"1"), 0);
  EXPECT_EQ(ElementText(u"width"), u"1");
  EXPECT_EQ(SetChildElementIfReady(Doc(), u"nothing", u"width", u"1"), 3);

  EXPECT_EQ(SetElementText(Doc(), u"copyright", u"  (c) 2024\n"), 0);
  EXPECT_EQ(ElementText(u"copyright"), u"(c) 2024");  // read back trimmed
  EXPECT_EQ(ClearElementText(Doc(), u"copyright"), 0);
  EXPECT_EQ(ElementText(u"copyright"), u"");
  EXPECT_TRUE(HasChildElement(Doc(), u"application", u"copyright"));
  EXPECT_EQ(SetElementText(Doc(), u"installFolder", u"x"), 1);
  EXPECT_EQ(ClearElementText(Doc(), u"installFolder"), 1);
  std::u16string untouched = u"keep";
  EXPECT_EQ(GetElementText(Doc(), u"installFolder", untouched), 1);
  EXPECT_EQ(untouched, u"keep");

  std::string value;
  EXPECT_EQ(SetElementAttribute(Doc(), u"application", u"xmlns", u"urn:新"), 0);
  EXPECT_EQ(GetElementAttribute(Doc(), u"application", u"xmlns", value), 0);
  EXPECT_EQ(value, "urn:新");
  EXPECT_EQ(GetElementAttribute(Doc(), u"id", u"absent", value), 0);
  EXPECT_EQ(value, "");
  EXPECT_EQ(GetElementAttribute(Doc(), u"nothing", u"xmlns", value), 1);
  EXPECT_EQ(SetElementAttribute(Doc(), u"nothing", u"a", u"b"), 1);
  // Names the document cannot hold are refused, not thrown.
  EXPECT_GT(SetElementAttribute(Doc(), u"id", u"bad name", u"b"), 0);
  EXPECT_GT(SetChildElementText(Doc(), u"application", u"bad name", u"b"), 0);
}

TEST(ElementOperationsWithoutParserTest, EveryOperationReportsNoParser) {
  DescriptorDocument document;
  std::u16string text;
  std::string value;
  FileTypeRecord record = Record("a", "");
  const auto results = [&] {
    return std::vector<int>{GetElementText(document, u"id", text), SetElementText(document, u"id", u"x"),
                            ClearElementText(document, u"id"),
                            SetChildElementText(document, u"application", u"id", u"x"),
                            RemoveChildElement(document, u"application", u"id"),
                            GetElementAttribute(document, u"application", u"xmlns", value),
                            SetElementAttribute(document, u"application", u"xmlns", u"x"),
                            SaveFileType(document, record), RemoveFileType(document, u"a"),
                            WriteAppIcon(document, u"image16x16", u"a.png"), RemoveAppIcon(document, u"image16x16"),
                            SaveDescriptor(document, u"/tmp/never-written-app.xml")};
  };
  EXPECT_EQ(results(), std::vector<int>(12, -1));
  EXPECT_EQ(SetChildElementIfReady(document, u"application", u"id", u"x"), 1);
  EXPECT_FALSE(HasChildElement(document, u"application", u"id"));
  EXPECT_EQ(ListFileTypes(document), u"");
  EXPECT_FALSE(ReadFileType(document, u"a", record));
  EXPECT_EQ(ReadAppIcon(document, u"image16x16"), u"");
  EXPECT_FALSE(std::filesystem::exists("/tmp/never-written-app.xml"));
  // A parser that has parsed nothing yet behaves the same.
  ASSERT_EQ(InitDescriptorParser(document), 0);
  EXPECT_EQ(results(), std::vector<int>(12, -1));
}

TEST_F(DescriptorTest, SaveWritesWhatWasChangedAndStaysStable) {
  LoadMovie();
  EXPECT_EQ(SetChildElementText(Doc(), u"initialWindow", u"width", u"800"), 0);
  EXPECT_EQ(SetElementText(Doc(), u"version", u"3.1"), 0);
  const std::string first = SavedMovie();
  // Parsed again and saved unchanged, the bytes are the same.
  ASSERT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(SavedMovie(), first);

  // In a laid-out file a new child is indented like its siblings; a removed one leaves no
  // empty line.
  EXPECT_EQ(SetChildElementText(Doc(), u"initialWindow", u"height", u"600"), 0);
  EXPECT_EQ(RemoveChildElement(Doc(), u"initialWindow", u"visible"), 0);
  EXPECT_EQ(SetChildElementText(Doc(), u"icon", u"image16x16", u"a.png"), 0);
  const std::string second = SavedMovie();
  EXPECT_NE(second.find("\n    <width>800</width>\n    <height>600</height>\n  </initialWindow>\n"), std::string::npos)
      << second;
  EXPECT_EQ(second.find("visible"), std::string::npos);
  EXPECT_NE(second.find("\n  <icon>\n    <image16x16>a.png</image16x16>\n  </icon>\n"), std::string::npos) << second;
  EXPECT_EQ(second.find("\n\n"), std::string::npos);
}

TEST_F(DescriptorTest, ChildrenAreLookedUpDirectlyInsideTheParent) {
  // A file without its own `name` but with a file type that has one: the application gets
  // a name of its own, the file type's stays.
  LoadMovie("<application xmlns=\"urn:x/2.0\"><id>a</id><fileTypes><fileType><name>doc</name></fileType>"
            "</fileTypes></application>");
  EXPECT_FALSE(HasChildElement(Doc(), u"application", u"name"));
  EXPECT_EQ(SetChildElementText(Doc(), u"application", u"name", u"Movie"), 0);
  EXPECT_EQ(ElementText(u"name"), u"doc");  // the first `name` in document order is still the file type's
  EXPECT_EQ(SavedMovie(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n<application xmlns=\"urn:x/2.0\">\n"
            "  <id>a</id>\n  <fileTypes>\n    <fileType>\n      <name>doc</name>\n    </fileType>\n  </fileTypes>\n"
            "  <name>Movie</name>\n</application>\n");
}

TEST_F(DescriptorTest, AppIconsAreTheApplicationsOwnAndNeverAFileTypes) {
  LoadMovie("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application xmlns=\"http://ns.zaro.example/2.0\">\n"
            "  <id>a.b</id>\n  <fileTypes>\n    <fileType>\n      <name>doc</name>\n      <icon>\n"
            "        <image16x16>types/doc16.png</image16x16>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
            "</application>\n");
  EXPECT_EQ(ReadAppIcon(Doc(), u"image16x16"), u"");
  EXPECT_EQ(RemoveAppIcon(Doc(), u"image16x16"), 0);
  ASSERT_EQ(WriteAppIcon(Doc(), u"image128x128", u"a.png"), 0);
  ASSERT_EQ(WriteAppIcon(Doc(), u"image16x16", u"icons/app%2016.png"), 0);
  ASSERT_EQ(WriteAppIcon(Doc(), u"image128x128", u"c.png"), 0);
  EXPECT_EQ(ReadAppIcon(Doc(), u"image16x16"), u"icons/app%2016.png");
  EXPECT_EQ(ReadAppIcon(Doc(), u"image128x128"), u"c.png");
  // The file type's icon stays; the new one is the application's last child, laid out like its siblings.
  EXPECT_NE(SavedMovie().find("<image16x16>types/doc16.png</image16x16>\n      </icon>\n    </fileType>\n"
                              "  </fileTypes>\n  <icon>\n    <image128x128>c.png</image128x128>\n"
                              "    <image16x16>icons/app%2016.png</image16x16>\n  </icon>\n</application>"),
            std::string::npos);
}

// The dialog's tests try one name and one extension of each kind; these are the rules' edges.
TEST(FileTypeRules, NamesAndExtensions) {
  for (const auto& good : {u"my.Type2"s, std::u16string(38, u'a')}) EXPECT_TRUE(IsValidFileTypeName(good));
  for (const auto& bad : {u""s, u".doc"s, u"2doc"s, u"my-type"s, u"dok\u00e9"s, u"a b"s, std::u16string(39, u'a')}) {
    EXPECT_FALSE(IsValidFileTypeName(bad)) << ToUtf8(bad);
  }
  for (const auto& good : {u"abc"s, u"7z"s}) EXPECT_TRUE(IsValidFileTypeExtension(good));
  for (const auto& bad : {u""s, u"a.b"s, u"ab_c"s, u".abc"s, std::u16string(39, u'x')}) {
    EXPECT_FALSE(IsValidFileTypeExtension(bad)) << ToUtf8(bad);
  }
}

TEST_F(DescriptorTest, ListAndReadFollowDocumentOrder) {
  LoadMovie(kHead +
            "  <fileTypes>\n"
            "    <fileType><name>docA</name><extension>abc</extension><description>First</description>"
            "<contentType>text/a</contentType><icon><image16x16>i/16.png</image16x16>"
            "<image128x128>i/128.png</image128x128></icon></fileType>\n"
            "    <fileType><name>docB</name><contentType>text/b</contentType><other><image32x32>deep.png</image32x32>"
            "</other></fileType>\n"
            "    <fileType><name>docA</name><extension>second</extension></fileType>\n"
            "  </fileTypes>\n</application>\n");
  EXPECT_EQ(ListFileTypes(Doc()), u";docA(abc);docB;docA(second)");
  // Reading into a record that holds an extension and a description: only the first match is read, a
  // missing element leaves its field alone, images are found anywhere inside the type, names match exactly.
  const auto read = [&](const char16_t* name) {
    FileTypeRecord record = Record("", "old");
    record.description = u"kept";
    return ReadFileType(Doc(), name, record) ? Fields(record) : "<none>";
  };
  EXPECT_EQ(read(u"docA"), "docA|abc|First|text/a|i/16.png|||i/128.png|docA");
  EXPECT_EQ(read(u"docB"), "docB|old|kept|text/b||deep.png|||docB");
  EXPECT_EQ(read(u"docb"), "<none>");
}

TEST_F(DescriptorTest, NewTypesGoIntoTheTemplateInTheirChildOrder) {
  LoadMovie();
  ASSERT_EQ(SaveFileType(Doc(), Record("my.Type2", "abc", {{128, u"FileTypeIconsForZAROPublish/big.png"},
                                                            {16, u"FileTypeIconsForZAROPublish/small.png"}})),
            0);
  ASSERT_EQ(SaveFileType(Doc(), Record("other", "xyz")), 0);
  // The last child of the application; an empty description is an empty element, the icon
  // holds the images in the order 16, 128 and the other type still gets its (empty) icon.
  EXPECT_EQ(FileTypesPart(SavedMovie()),
            "<fileTypes>\n    <fileType>\n      <name>my.Type2</name>\n      <extension>abc</extension>\n"
            "      <description/>\n      <contentType>application/x-my.Type2</contentType>\n      <icon>\n"
            "        <image16x16>FileTypeIconsForZAROPublish/small.png</image16x16>\n"
            "        <image128x128>FileTypeIconsForZAROPublish/big.png</image128x128>\n      </icon>\n    </fileType>\n"
            "    <fileType>\n      <name>other</name>\n      <extension>xyz</extension>\n      <description/>\n"
            "      <contentType>application/x-other</contentType>\n      <icon/>\n    </fileType>\n  </fileTypes>\n"
            "</application>\n");
}

TEST_F(DescriptorTest, UpdatesRenameInPlaceAndRemovingTheLastTypeRemovesTheGroup) {
  LoadMovie(kHead + "  <fileTypes>\n    <fileType>\n      <name> docA </name>\n      <extension>abc</extension>\n"
                    "      <description>Old</description>\n      <icon>\n        <image32x32>old32.png</image32x32>\n"
                    "        <image48x48>old48.png</image48x48>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
                    "</application>\n");
  // The loaded name is the one read before the name was edited, compared trimmed.
  ASSERT_EQ(SaveFileType(Doc(), Record("docRenamed", "xyz", {{16, u"new16.png"}, {48, u"new48.png"}}, "docA")), 0);
  // A missing element (contentType) is not created on update, an emptied icon loses its
  // element, and sizes are replaced in place with missing ones appended on lines of their own.
  EXPECT_EQ(FileTypesPart(SavedMovie()),
            "<fileTypes>\n    <fileType>\n      <name>docRenamed</name>\n      <extension>xyz</extension>\n"
            "      <description/>\n      <icon>\n        <image48x48>new48.png</image48x48>\n"
            "        <image16x16>new16.png</image16x16>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
            "</application>\n");

  // A type without an icon gets one when updated; removing the last type removes the group.
  LoadMovie(kHead + "<fileTypes><fileType><name>a</name></fileType></fileTypes></application>");
  ASSERT_EQ(SaveFileType(Doc(), Record("a", "b", {{32, u"x.png"}}, "a")), 0);
  EXPECT_NE(SavedMovie().find("<icon><image32x32>x.png</image32x32></icon>"), std::string::npos);

  EXPECT_EQ(RemoveFileType(Doc(), u"c"), 1);
  EXPECT_EQ(RemoveFileType(Doc(), u"a"), 0);
  EXPECT_EQ(RemoveFileType(Doc(), u"a"), 1);  // no group left
  EXPECT_EQ(SavedMovie().find("fileType"), std::string::npos);
}

}  // namespace
}  // namespace zaro
