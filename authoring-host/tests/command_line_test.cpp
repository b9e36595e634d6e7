// Parsing the tessel command line; the usage errors are checked on the tessel binary itself.
#include <gtest/gtest.h>

#include "cli.h"

namespace tessel {
namespace {

bool Parse(const std::vector<std::string>& arguments, Invocation& invocation) {
  std::string error;
  return ParseArguments(arguments, invocation, &error);
}

// Every field of a parsed command line, "-" for an option not given.
std::string Summary(const std::vector<std::string>& arguments) {
  Invocation in;
  if (!Parse(arguments, in)) return "refused";
  std::string operands;
  for (const std::string& operand : in.operands) operands += "[" + operand + "]";
  auto given = [](const std::optional<std::string>& value) { return value.value_or("-"); };
  return in.verb + " " + operands + " kit=" + in.kit + " profile=" + given(in.profile) + " answers=" +
         given(in.answers) + " log=" + given(in.uiLog) + " module=" + given(in.module) + " target=" + in.target +
         " as=" + std::to_string(in.asVersion) + (in.hostDebug ? "" : " no-host-debug") + (in.trace ? " trace" : "") +
         (in.help ? " help" : "");
}

TEST(TesselCommandLine, ReadsVerbsOperandsAndOptions) {
  const std::string plain = " module=- target=desktop as=3";
  const std::string help = " kit=2.0 profile=- answers=- log=-" + plain + " help";
  const struct {
    std::vector<std::string> arguments;
    std::string summary;
  } cases[] = {
      {{"publish", "Hello.tsd", "--kit", "1.5", "--answers=a.json", "--ui-log", "ui.log"},
       "publish [Hello.tsd] kit=1.5 profile=- answers=a.json log=ui.log" + plain},
      {{"--profile", "mobileDevice", "test", "--no-host-debug", "Hello.tsd", "--trace"},
       "test [Hello.tsd] kit=2.0 profile=mobileDevice answers=- log=-" + plain + " no-host-debug trace"},
      {{"new", "Phone.tsd", "--target", "iphone", "--as-version", "2"},
       "new [Phone.tsd] kit=2.0 profile=- answers=- log=- module=- target=iphone as=2"},
      {{"run", "script.js", "Hello.tsd", "--module", "m.so"},
       "run [script.js][Hello.tsd] kit=2.0 profile=- answers=- log=- module=m.so target=desktop as=3"},
      {{"run", "--", "--odd-name.js"}, "run [--odd-name.js] kit=2.0 profile=- answers=- log=-" + plain},
      // Help is asked for in every form.
      {{"--help"}, " " + help},
      {{"-h"}, " " + help},
      {{"help"}, "help " + help},
      {{"publish", "--help"}, "publish " + help},
  };
  for (const auto& c : cases) EXPECT_EQ(Summary(c.arguments), c.summary);
}

}  // namespace
}  // namespace tessel
