// Runs the staged java.exe as the module does: through the process runner, launcher and archive quoted.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/files.h"
#include "platform/process_runner.h"
#include "platform/scripted_ui.h"
#include "testing/scratch.h"

namespace zaro {

using platform::ToWindowsForm;

TEST(JavaLauncher, RunsTheArchiveInItsPlaceOrEndsWithAUsageError) {
  testing::ScopedScriptedUi ui;
  testing::ScratchFolder scratch{"java-launcher"};
  ASSERT_FALSE(scratch.Path().empty());
  // Kit "archives" are native programs, here shell scripts; `jar` names one in the quoted Windows form.
  const std::string dir = scratch.Path().string() + "/", usage = "\r\nusage: java -jar ARCHIVE [ARGS...]\n";
  auto jar = [&](const std::string& name) { return u"-jar \"" + ToWindowsForm(dir + name) + u"\""; };
  for (const auto& [name, body] : {std::pair{"self.jar", "kill -TERM $$"},
                                   {"lib dir ZPK.jar", "printf '[%s]' \"$@\"; echo oops >&2; exit 7"}})
    ASSERT_TRUE(platform::ReplaceFileAtomically(ToWindowsForm(dir + name), "#!/bin/sh\n" + std::string(body), 0755));
  for (const auto& [arguments, code, output] : std::vector<std::tuple<std::u16string, int, std::string>>{
           {jar("lib dir ZPK.jar") + u" -package -storetype PKCS12 \"out file.zaro\"", 7,
            "[-package][-storetype][PKCS12][out file.zaro]oops\n"},
           {jar("self.jar"), 128 + SIGTERM, ""},  // the tool replaces the launcher
           {jar("ZPK.jar") + u" -package", 2, "no such file " + dir + "ZPK.jar" + usage},
           {u"-cp x.jar", 2, "unknown option -cp" + usage},
           {u"-jar", 2, "no archive given" + usage}}) {
    std::string out;
    EXPECT_EQ(CreateWinProcess(u"\"" + ToWindowsForm(JAVA_LAUNCHER) + u"\" " + arguments, true, out, nullptr), code);
    EXPECT_EQ(out, output);
  }
  EXPECT_TRUE(static_cast<ScriptedUi&>(Ui()).Events().empty());
}

}  // namespace zaro
