// Parsing the tessel command line and what its usage text covers.
#include <gtest/gtest.h>

#include "cli.h"

namespace tessel {
namespace {

bool Parse(const std::vector<std::string>& arguments, Invocation& invocation, std::string* error = nullptr) {
  std::string ignored;
  return ParseArguments(arguments, invocation, error ? error : &ignored);
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
  };
  for (const auto& c : cases) EXPECT_EQ(Summary(c.arguments), c.summary);
  // Help is asked for in every form.
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--help"}, {"-h"}, {"help"}, {"publish", "--help"}}) {
    Invocation invocation;
    ASSERT_TRUE(Parse(arguments, invocation)) << arguments[0];
    EXPECT_TRUE(invocation.help) << arguments[0];
  }
}

TEST(TesselCommandLine, UsageErrorsSayWhatIsWrong) {
  const struct {
    std::vector<std::string> arguments;
    std::string problem;
  } cases[] = {
      {{}, "no verb"},
      {{"export", "a.tsd"}, "unknown verb export"},
      {{"publish"}, "one document"},
      {{"publish", "a.tsd", "b.tsd"}, "one document"},
      {{"run"}, "script"},
      {{"run", "a.js", "b.tsd", "c"}, "script"},
      {{"publish", "a.tsd", "--profile", "p"}, "takes no --profile"},
      {{"new", "a.tsd", "--kit", "2.0"}, "takes no --kit"},
      {{"new", "a.tsd", "--target", "android"}, "desktop or iphone"},
      {{"new", "a.tsd", "--as-version", "4"}, "1, 2 or 3"},
      {{"publish", "a.tsd", "--kit"}, "--kit needs a value"},
      {{"publish", "a.tsd", "--kit="}, "--kit needs a version"},
      {{"publish", "a.tsd", "--colour"}, "unknown option --colour"},
      {{"test", "a.tsd", "--no-host-debug=yes"}, "takes no value"},
  };
  for (const auto& c : cases) {
    Invocation invocation;
    std::string error;
    EXPECT_FALSE(Parse(c.arguments, invocation, &error)) << c.problem;
    EXPECT_NE(error.find(c.problem), std::string::npos) << "expected \"" << c.problem << "\", got \"" << error << "\"";
  }
}

}  // namespace
}  // namespace tessel
