// Runs the staged java.exe as the module does: through the process runner, launcher and archive quoted.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/files.h"
#include "platform/process_runner.h"
#include "platform/scripted_ui.h"
#include "testing/scratch.h"

namespace zaro {

TEST(JavaLauncher, RunsTheArchiveInItsPlaceOrEndsWithAUsageError) {
  testing::ScopedScriptedUi ui;
  testing::ScratchFolder scratch{"java-launcher"};
  ASSERT_FALSE(scratch.Path().empty());
  // A kit "archive": a native program, here a shell script; its name in the quoted Windows form.
  auto archive = [&](const std::string& name, const std::string& body) {
    const std::u16string path = platform::ToWindowsForm((scratch.Path() / name).string());
    EXPECT_TRUE(platform::ReplaceFileAtomically(path, "#!/bin/sh\n" + body + "\n", 0755));
    return u"-jar \"" + path + u"\"";
  };
  const std::u16string java = u"\"" + platform::ToWindowsForm(JAVA_LAUNCHER) + u"\" ";
  const std::string missing = (scratch.Path() / "ZPK.jar").string(), usage = "\r\nusage: java -jar ARCHIVE [ARGS...]\n";
  for (const auto& [arguments, code, output] : std::vector<std::tuple<std::u16string, int, std::string>>{
           {archive("lib dir ZPK.jar", "for a in \"$@\"; do printf '[%s]' \"$a\"; done; echo oops >&2; exit 7") +
                u" -package -storetype PKCS12 \"out file.zaro\"",
            7, "[-package][-storetype][PKCS12][out file.zaro]oops\n"},
           {archive("self.jar", "kill -TERM $$"), 128 + SIGTERM, ""},  // the tool replaces the launcher
           {u"-jar \"" + platform::ToWindowsForm(missing) + u"\" -package", 2, "no such file " + missing + usage},
           {u"-cp x.jar", 2, "unknown option -cp" + usage},
           {u"-jar", 2, "no archive given" + usage}}) {
    std::string printed;
    EXPECT_EQ(CreateWinProcess(java + arguments, true, printed, nullptr), code);
    EXPECT_EQ(printed, output);
  }
  EXPECT_TRUE(static_cast<ScriptedUi&>(Ui()).Events().empty());
}

}  // namespace zaro
