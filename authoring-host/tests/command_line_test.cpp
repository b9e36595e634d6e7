// Parsing the tessel command line and what its usage text covers.
#include <gtest/gtest.h>

#include "cli.h"

namespace tessel {
namespace {

bool Parse(const std::vector<std::string>& arguments, Invocation& invocation, std::string* error = nullptr) {
  std::string ignored;
  return ParseArguments(arguments, invocation, error ? error : &ignored);
}

TEST(TesselCommandLine, ReadsVerbsOperandsAndOptions) {
  Invocation publish;
  ASSERT_TRUE(Parse({"publish", "Hello.tsd", "--kit", "1.5", "--answers=a.json", "--ui-log", "ui.log"}, publish));
  EXPECT_EQ(publish.verb, "publish");
  EXPECT_EQ(publish.operands, std::vector<std::string>{"Hello.tsd"});
  EXPECT_EQ(publish.kit, "1.5");
  EXPECT_EQ(publish.answers, "a.json");
  EXPECT_EQ(publish.uiLog, "ui.log");
  EXPECT_TRUE(publish.hostDebug);

  Invocation test;
  ASSERT_TRUE(Parse({"--profile", "mobileDevice", "test", "--no-host-debug", "Hello.tsd"}, test));
  EXPECT_EQ(test.verb, "test");
  EXPECT_EQ(test.profile, "mobileDevice");
  EXPECT_FALSE(test.hostDebug);
  EXPECT_EQ(test.kit, "2.0");

  Invocation created;
  ASSERT_TRUE(Parse({"new", "Phone.tsd", "--target", "iphone", "--as-version", "2"}, created));
  EXPECT_EQ(created.target, "iphone");
  EXPECT_EQ(created.asVersion, 2);

  Invocation run;
  ASSERT_TRUE(Parse({"run", "script.js", "Hello.tsd", "--module", "m.so"}, run));
  EXPECT_EQ(run.operands.size(), 2u);
  EXPECT_EQ(run.module, "m.so");

  Invocation dashed;
  ASSERT_TRUE(Parse({"run", "--", "--odd-name.js"}, dashed));
  EXPECT_EQ(dashed.operands, std::vector<std::string>{"--odd-name.js"});
}

TEST(TesselCommandLine, HelpIsAskedForInEveryForm) {
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
