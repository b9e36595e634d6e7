// Time stamps through authorities that fail: retries, permanent refusals, the kit's
// fallback authorities and a proxy, all on 127.0.0.1 with shortened timings.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>

#include <gtest/gtest.h>

#include "retry_policy.h"
#include "test_network.h"
#include "test_support.h"
#include "test_tsa.h"

namespace zpk {
namespace {

using namespace zpk::testing;
using Mode = TestTimeStampAuthority::Mode;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

class TimeStampRetryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys_ = new TempFolder();
    WriteTestKeystore(*keys_ / "k.p12");
  }
  static void TearDownTestSuite() { delete keys_; }

  void SetUp() override {
    MakeMovieFolder(dir_ / "movie", MakeDescriptor("<image16x16>icons/i16.png</image16x16>"));
  }

  std::vector<std::string> Package(const std::string& tsa) const {
    return {"-package", "-storetype", "PKCS12", "-keystore", *keys_ / "k.p12", "-storepass", "secret", "-tsa", tsa,
            output(), dir_ / "movie/Movie-app.xml", "-C", dir_ / "movie", "Movie.qmv", "icons/i16.png"};
  }
  std::string output() const { return dir_ / "out.zaro"; }

  ToolRun Stamp(const std::string& tsa, std::vector<std::string> environment = {}) const {
    environment.push_back(kFastRetries);
    return RunToolWith(Package(tsa), environment);
  }

  // A copy of the tool in a kit of its own, with `fallbacks` as its lib/tsa-fallback.txt.
  std::string KitWithFallbacks(const std::string& fallbacks) const {
    std::string tool = dir_ / "kit/lib/ZPK.jar";
    std::filesystem::create_directories(dir_ / "kit/lib");
    std::filesystem::copy_file(ZPK_TOOL_PATH, tool);
    chmod(tool.c_str(), 0755);
    WriteFile(dir_ / "kit/lib/tsa-fallback.txt", fallbacks);
    return tool;
  }

  // The package's time stamp checks out against the authority's certificate.
  void ExpectStampedBy(const TestTimeStampAuthority& tsa) const {
    WriteFile(dir_ / "tsa.pem", tsa.certificatePem());
    ToolRun verified = RunTool({"-verify", "-tsacafile", dir_ / "tsa.pem", output()});
    EXPECT_EQ(verified.code, 0) << verified.output;
    EXPECT_TRUE(Contains(verified.output, "token verified and its authority trusted")) << verified.output;
  }

  TempFolder dir_;
  static TempFolder* keys_;
};

TempFolder* TimeStampRetryTest::keys_ = nullptr;

TEST_F(TimeStampRetryTest, TransientFailuresFollowedByATokenGiveAStampedPackage) {
  struct Case {
    Mode mode;
    int times;
  };
  for (Case c : {Case{Mode::Refuse, 2}, Case{Mode::Unavailable, 2}, Case{Mode::Stall, 1}, Case{Mode::Garbage, 1}}) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    TestTimeStampAuthority tsa({c.mode, c.times});
    ASSERT_TRUE(tsa.running());
    ToolRun run = Stamp(tsa.url());
    ASSERT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(tsa.connections(), c.times + 1);
    EXPECT_TRUE(Contains(run.output, "time stamp: retrying " + tsa.url())) << run.output;
    EXPECT_TRUE(Contains(run.output, "time stamp: granted by " + tsa.url())) << run.output;
    ExpectStampedBy(tsa);
  }
}

// Refusals that will not change end at once, transient failures once the budget is spent;
// either way with exit status 10, the earlier package intact and no temporary file left.
TEST_F(TimeStampRetryTest, FailuresEndWithExit10AndLeaveTheEarlierPackageIntact) {
  ASSERT_EQ(RunTool(Package("none")).code, 0);
  const std::string earlier = ReadFile(output());
  const std::vector<std::string> before = Sorted(ListFolder(dir_.path()));
  struct Case {
    Mode mode;
    const char* message;
    int fewest, most;  // requests the authority saw
  };
  for (const Case& c : {Case{Mode::Reject, "could not be used: the request was refused", 1, 1},
                        Case{Mode::OtherData, "the time-stamp token does not verify", 1, 1},
                        Case{Mode::HttpError, "could not be used: the time-stamp authority answered HTTP/1.1 500", 1, 99},
                        Case{Mode::Unavailable, "could not be used: the time-stamp authority answered HTTP/1.1 503", 3, 99},
                        Case{Mode::Stall, "could not be used: no answer from 127.0.0.1:", 2, 99}}) {
    SCOPED_TRACE(c.message);
    TestTimeStampAuthority tsa(c.mode);
    ToolRun run = Stamp(tsa.url());
    EXPECT_EQ(run.code, 10) << run.output;
    EXPECT_TRUE(Contains(run.output, c.message)) << run.output;
    EXPECT_GE(tsa.requests(), c.fewest);
    EXPECT_LE(tsa.requests(), c.most);
    EXPECT_EQ(Contains(run.output, "retrying"), c.most > 1) << run.output;
    EXPECT_EQ(ReadFile(output()), earlier);
    EXPECT_EQ(Sorted(ListFolder(dir_.path())), before);
  }
  const std::string closed = std::to_string(ClosedPort());
  unlink(output().c_str());
  ToolRun unreachable = Stamp("https://127.0.0.1:" + closed + "/tsa");
  EXPECT_EQ(unreachable.code, 10);
  EXPECT_TRUE(Contains(unreachable.output, "could not be used: cannot connect to 127.0.0.1:" + closed))
      << unreachable.output;
  EXPECT_FALSE(Exists(output()));
}

TEST_F(TimeStampRetryTest, FallbackAuthoritiesAreTriedInTheFileOrder) {
  TestTimeStampAuthority rejecting(Mode::Reject), granting, unused;
  std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/tsa";
  std::string tool = KitWithFallbacks("# further authorities\n\nnot a url\n" + rejecting.url() + "\n  " +
                                      granting.url() + " \r\n" + unused.url() + "\n");
  ToolRun run = RunProgram(tool, Package(closed), {kFastRetries});
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(rejecting.requests(), 1);
  EXPECT_EQ(granting.requests(), 1);
  EXPECT_EQ(unused.requests(), 0);
  size_t first = run.output.find("time stamp: trying the fallback authority " + rejecting.url());
  size_t second = run.output.find("time stamp: trying the fallback authority " + granting.url());
  ASSERT_NE(first, std::string::npos) << run.output;
  EXPECT_LT(first, second) << run.output;
  EXPECT_TRUE(Contains(run.output, "time stamp: granted by the fallback authority " + granting.url())) << run.output;
  EXPECT_TRUE(Contains(run.output, "line 3: not an http or https URL, skipped")) << run.output;
  ExpectStampedBy(granting);
}

TEST_F(TimeStampRetryTest, WhenEveryAuthorityFailsEachIsNamedWithItsLastFailure) {
  TestTimeStampAuthority rejecting(Mode::Reject);
  std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/tsa";
  std::string tool = KitWithFallbacks(rejecting.url() + "\n");
  ToolRun run = RunProgram(tool, Package(closed), {kFastRetries});
  EXPECT_EQ(run.code, 10) << run.output;
  EXPECT_TRUE(Contains(run.output, "the time-stamp authority " + closed + " could not be used: cannot connect"))
      << run.output;
  EXPECT_TRUE(Contains(run.output, "the time-stamp authority " + rejecting.url() +
                                       " could not be used: the request was refused")) << run.output;
  EXPECT_FALSE(Exists(output()));
}

TEST_F(TimeStampRetryTest, HttpsGoesThroughTheProxyOfTheEnvironment) {
  TestTimeStampAuthority tsa({Mode::Grant, -1, true});
  ASSERT_TRUE(tsa.running());
  WriteFile(dir_ / "server.pem", tsa.tlsCertificatePem());
  const std::string trust = "SSL_CERT_FILE=" + dir_ / "server.pem";
  const std::string port = tsa.url().substr(std::string("https://127.0.0.1:").size(), tsa.url().rfind('/') - 18);
  for (const char* variable : {"https_proxy", "HTTPS_PROXY"}) {
    TestForwardingProxy proxy;
    ASSERT_TRUE(proxy.running());
    ToolRun run = Stamp(tsa.url(), {trust, std::string(variable) + "=" + proxy.url()});
    ASSERT_EQ(run.code, 0) << variable << ": " << run.output;
    EXPECT_EQ(proxy.connections(), 1) << variable;
    EXPECT_EQ(proxy.lastTarget(), "127.0.0.1:" + port);
    ExpectStampedBy(tsa);

    ToolRun bypassed = Stamp(tsa.url(), {trust, std::string(variable) + "=" + proxy.url(), "no_proxy=127.0.0.1"});
    EXPECT_EQ(bypassed.code, 0) << bypassed.output;
    EXPECT_EQ(proxy.connections(), 1) << "no_proxy is honoured";
  }
  // A proxy that turns the tunnel down is not asked again.
  TestForwardingProxy refusing;
  ToolRun turnedDown = Stamp("https://127.0.0.2:" + port + "/tsa", {trust, "https_proxy=" + refusing.url()});
  EXPECT_EQ(turnedDown.code, 10) << turnedDown.output;
  EXPECT_TRUE(Contains(turnedDown.output, "the proxy refused the connection to 127.0.0.2:" + port + " (HTTP 403)"))
      << turnedDown.output;
  EXPECT_EQ(refusing.connections(), 1);
  // A server the trust store does not vouch for is refused at once.
  int before = tsa.connections();
  ToolRun untrusted = Stamp(tsa.url());
  EXPECT_EQ(untrusted.code, 10) << untrusted.output;
  EXPECT_TRUE(Contains(untrusted.output, "the secure connection to 127.0.0.1:" + port + " failed")) << untrusted.output;
  EXPECT_EQ(tsa.connections(), before + 1);
}

TEST(RetryPolicyTest, BackOffDoublesUpToItsCapWithJitterBelowIt) {
  RetryPolicy policy;
  policy.firstDelay = Millis(100);
  policy.maxDelay = Millis(800);
  std::mt19937_64 random(7);
  for (int retry = 1; retry <= 6; ++retry) {
    Millis ceiling = std::min(Millis(100 << (retry - 1)), Millis(800));
    Millis lowest = ceiling, highest = Millis(0);
    for (int i = 0; i < 200; ++i) {
      Millis d = BackoffDelay(policy, retry, random);
      lowest = std::min(lowest, d);
      highest = std::max(highest, d);
    }
    EXPECT_GE(lowest, ceiling / 2) << retry;
    EXPECT_LE(highest, ceiling) << retry;
    EXPECT_LT(lowest, highest) << "jittered, retry " << retry;
  }
}

TEST(RetryPolicyTest, RetriesOnlyTransientFailuresAndOnlyInsideTheBudget) {
  RetryPolicy policy;
  policy.budget = Millis(400);
  policy.firstDelay = Millis(5);
  policy.maxDelay = Millis(10);
  int calls = 0, notices = 0;
  auto count = [&](int, Millis, const std::string&) { ++notices; };
  AttemptResult done = RunWithRetries(policy, [&](Millis) {
    return ++calls < 3 ? AttemptResult{Verdict::Transient, "busy", Millis(0)} : AttemptResult{};
  }, count);
  EXPECT_EQ(done.verdict, Verdict::Done);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(notices, 2);

  calls = 0;
  AttemptResult refused = RunWithRetries(policy, [&](Millis) {
    ++calls;
    return AttemptResult{Verdict::Permanent, "no", Millis(0)};
  }, count);
  EXPECT_EQ(refused.verdict, Verdict::Permanent);
  EXPECT_EQ(calls, 1);

  // "Come back in a minute" does not fit a budget of 400 ms: no pointless wait.
  calls = 0;
  AttemptResult later = RunWithRetries(policy, [&](Millis) {
    ++calls;
    return AttemptResult{Verdict::Transient, "later", Millis(60000)};
  }, count);
  EXPECT_EQ(later.verdict, Verdict::Transient);
  EXPECT_EQ(calls, 1);

  // Each attempt is given at most what is left of the budget.
  Millis largest(0);
  calls = 0;
  RunWithRetries(policy, [&](Millis left) {
    ++calls;
    largest = std::max(largest, left);
    return AttemptResult{Verdict::Transient, "down", Millis(0)};
  }, count);
  EXPECT_GT(calls, 2);
  EXPECT_LE(largest, policy.budget);
}

TEST(RetryPolicyTest, TestTimingsParseOrLeaveThePolicyAlone) {
  RetryPolicy policy;
  EXPECT_TRUE(ApplyTestTiming("budget=1500,delay=40,connect=400", policy));
  EXPECT_EQ(policy.budget, Millis(1500));
  EXPECT_EQ(policy.firstDelay, Millis(40));
  EXPECT_EQ(policy.connectTimeout, Millis(400));
  EXPECT_EQ(policy.attemptTimeout, RetryPolicy().attemptTimeout);
  for (const char* bad : {"budget", "budget=fast", "delay=-1", "pause=10", "budget=10,", "budget=99999999"}) {
    RetryPolicy untouched;
    EXPECT_FALSE(ApplyTestTiming(bad, untouched)) << bad;
    EXPECT_EQ(untouched.budget, RetryPolicy().budget) << bad;
  }
}

}  // namespace
}  // namespace zpk
