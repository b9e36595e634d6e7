// Time stamps through failing authorities, the kit's fallback authorities and a proxy, on 127.0.0.1.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>


#include "retry_policy.h"
#include "test_servers.h"

namespace zpk {
namespace {

using namespace zpk::testing;
using Mode = TestTimeStampAuthority::Mode;

class TimeStampRetryTest : public ToolTest {
 protected:
  void SetUp() override { MakeMovieFolder(movie(), MakeDescriptor()); }
  std::string output() const { return dir_ / "out.zaro"; }
  // Packages with the time stamp of `tsa` and fast retries; `program` is a copy of the tool.
  ToolRun Stamp(const std::string& tsa, std::vector<std::string> environment = {},
                const std::string& program = ZPK_TOOL_PATH) const {
    environment.push_back(kFastRetries);
    return RunProgram(program, Package(output(), {"Movie.qmv"}, tsa), environment);
  }
  // A copy of the tool in a kit of its own, with `fallbacks` as its lib/tsa-fallback.txt.
  std::string KitWithFallbacks(const std::string& fallbacks) const {
    std::string tool = dir_ / "kit/lib/ZPK.jar";
    WriteFile(dir_ / "kit/lib/tsa-fallback.txt", fallbacks);
    std::filesystem::copy_file(ZPK_TOOL_PATH, tool);  // with its modes
    return tool;
  }
  void ExpectStampedBy(const TestTimeStampAuthority& tsa) const {
    WriteFile(dir_ / "tsa.pem", tsa.certificatePem());
    EXPECT_TRUE(Ran(RunTool({"-verify", "-tsacafile", dir_ / "tsa.pem", output()}), 0,
                    "token verified and its authority trusted"));
  }
};

TEST_F(TimeStampRetryTest, TransientFailuresFollowedByATokenGiveAStampedPackage) {
  for (auto [mode, n] : {std::pair{Mode::Refuse, 2}, {Mode::Unavailable, 2}, {Mode::Stall, 1}, {Mode::Garbage, 1}}) {
    SCOPED_TRACE(static_cast<int>(mode));
    TestTimeStampAuthority tsa({mode, n});
    ASSERT_TRUE(tsa.running());
    ASSERT_TRUE(Ran(Stamp(tsa.url()), 0, {"time stamp: retrying " + tsa.url(), "time stamp: granted by " + tsa.url()}));
    EXPECT_EQ(tsa.connections(), n + 1);
    ExpectStampedBy(tsa);
  }
}

// Refusals end at once, transient failures once the budget is spent; the earlier package stays intact.
TEST_F(TimeStampRetryTest, FailuresEndWithExit10AndLeaveTheEarlierPackageIntact) {
  ASSERT_TRUE(Ran(RunTool(Package(output())), 0));
  const std::string before = TreeListing(dir_.path());  // the earlier package's content too
  struct Case { Mode mode; std::string message; int fewest, most; };  // fewest/most: requests the authority saw
  const std::string answered = "could not be used: the time-stamp authority answered HTTP/1.1 ";
  for (const Case& c : {Case{Mode::Reject, "could not be used: the request was refused", 1, 1},
                        Case{Mode::OtherData, "the time-stamp token does not verify", 1, 1},
                        Case{Mode::HttpError, answered + "500", 1, 99},
                        Case{Mode::Unavailable, answered + "503", 3, 99},
                        Case{Mode::Stall, "could not be used: no answer from 127.0.0.1:", 2, 99}}) {
    SCOPED_TRACE(c.message);
    TestTimeStampAuthority tsa(c.mode);
    ToolRun run = Stamp(tsa.url());
    EXPECT_TRUE(Ran(run, 10, c.message));
    EXPECT_TRUE(tsa.requests() >= c.fewest && tsa.requests() <= c.most) << tsa.requests();
    EXPECT_EQ(Contains(run.output, "retrying"), c.most > 1) << run.output;
    EXPECT_EQ(TreeListing(dir_.path()), before);
  }
  const std::string closed = std::to_string(ClosedPort());
  unlink(output().c_str());
  EXPECT_TRUE(Ran(Stamp("https://127.0.0.1:" + closed + "/tsa"), 10,
                  "could not be used: cannot connect to 127.0.0.1:" + closed));
  EXPECT_FALSE(Exists(output()));
}

TEST_F(TimeStampRetryTest, FallbackAuthoritiesAreTriedInTheFileOrderAndEachFailureIsNamed) {
  TestTimeStampAuthority rejecting(Mode::Reject), granting, unused;
  std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/tsa";
  ToolRun run = Stamp(closed, {}, KitWithFallbacks("# further authorities\n\nnot a url\n" + rejecting.url() + "\n  " +
                                                   granting.url() + " \r\n" + unused.url() + "\n"));
  ASSERT_TRUE(Ran(run, 0, {"time stamp: granted by the fallback authority " + granting.url(),
                           "line 3: not an http or https URL, skipped"}));
  EXPECT_EQ((std::vector{rejecting.requests(), granting.requests(), unused.requests()}), (std::vector{1, 1, 0}));
  size_t first = run.output.find("time stamp: trying the fallback authority " + rejecting.url());
  ASSERT_NE(first, std::string::npos) << run.output;
  EXPECT_LT(first, run.output.find("time stamp: trying the fallback authority " + granting.url())) << run.output;
  ExpectStampedBy(granting);

  std::filesystem::remove_all(dir_ / "kit");  // every authority fails: each is named with its last failure
  unlink(output().c_str());
  EXPECT_TRUE(Ran(Stamp(closed, {}, KitWithFallbacks(rejecting.url() + "\n")), 10,
                  {"the time-stamp authority " + closed + " could not be used: cannot connect",
                   "the time-stamp authority " + rejecting.url() + " could not be used: the request was refused"}));
  EXPECT_FALSE(Exists(output()));
}

TEST_F(TimeStampRetryTest, HttpsGoesThroughTheProxyOfTheEnvironment) {
  TestTimeStampAuthority tsa({Mode::Grant, -1, true});
  ASSERT_TRUE(tsa.running());
  WriteFile(dir_ / "server.pem", tsa.tlsCertificatePem());
  const std::string trust = "SSL_CERT_FILE=" + dir_ / "server.pem";
  const std::string port = tsa.url().substr(18, tsa.url().rfind('/') - 18);  // after "https://127.0.0.1:"
  for (const std::string variable : {"https_proxy=", "HTTPS_PROXY="}) {
    SCOPED_TRACE(variable);
    TestForwardingProxy proxy;
    ASSERT_TRUE(proxy.running());
    ASSERT_TRUE(Ran(Stamp(tsa.url(), {trust, variable + proxy.url()}), 0));
    EXPECT_EQ(proxy.connections(), 1);
    EXPECT_EQ(proxy.lastTarget(), "127.0.0.1:" + port);
    ExpectStampedBy(tsa);
    EXPECT_TRUE(Ran(Stamp(tsa.url(), {trust, variable + proxy.url(), "no_proxy=127.0.0.1"}), 0));
    EXPECT_EQ(proxy.connections(), 1) << "no_proxy is honoured";
  }
  TestForwardingProxy refusing;  // it turns the tunnel down, and is not asked again
  EXPECT_TRUE(Ran(Stamp("https://127.0.0.2:" + port + "/tsa", {trust, "https_proxy=" + refusing.url()}), 10,
                  "the proxy refused the connection to 127.0.0.2:" + port + " (HTTP 403)"));
  EXPECT_EQ(refusing.connections(), 1);
  int before = tsa.connections();  // a server the trust store does not vouch for is refused at once
  EXPECT_TRUE(Ran(Stamp(tsa.url()), 10, "the secure connection to 127.0.0.1:" + port + " failed"));
  EXPECT_EQ(tsa.connections(), before + 1);
}

TEST(RetryPolicyTest, BackOffDoublesUpToItsCapWithJitterBelowIt) {
  RetryPolicy policy{.firstDelay = Millis(100), .maxDelay = Millis(800)};
  std::mt19937_64 random(7);
  for (int retry = 1; retry <= 6; ++retry) {
    Millis ceiling = std::min(Millis(100 << (retry - 1)), Millis(800)), lowest = ceiling, highest(0);
    for (int i = 0; i < 200; ++i) {
      Millis d = BackoffDelay(policy, retry, random);
      lowest = std::min(lowest, d);
      highest = std::max(highest, d);
    }
    EXPECT_TRUE(lowest >= ceiling / 2 && highest <= ceiling) << "between half the ceiling and it, retry " << retry;
    EXPECT_LT(lowest, highest) << "jittered, retry " << retry;
  }
}

TEST(RetryPolicyTest, RetriesOnlyTransientFailuresAndOnlyInsideTheBudget) {
  const RetryPolicy policy{.budget = Millis(400), .firstDelay = Millis(5), .maxDelay = Millis(10)};
  // `failures` attempts answer `failure` before one is done.
  struct Case { AttemptResult failure; int failures; Verdict verdict; int fewestCalls, mostCalls; };
  for (const Case& c : {Case{{Verdict::Transient, "busy", Millis(0)}, 2, Verdict::Done, 3, 3},
                        Case{{Verdict::Permanent, "no", Millis(0)}, INT_MAX, Verdict::Permanent, 1, 1},
                        // "Come back in a minute" does not fit the budget: no pointless wait.
                        Case{{Verdict::Transient, "later", Millis(60000)}, INT_MAX, Verdict::Transient, 1, 1},
                        Case{{Verdict::Transient, "down", Millis(0)}, INT_MAX, Verdict::Transient, 3, INT_MAX}}) {
    SCOPED_TRACE(c.failure.error);
    int calls = 0, notices = 0;
    Millis largest(0);
    AttemptResult result = RunWithRetries(policy, [&](Millis left) {
      largest = std::max(largest, left);
      return ++calls <= c.failures ? c.failure : AttemptResult{};
    }, [&](int, Millis, const std::string&) { ++notices; });
    EXPECT_EQ(result.verdict, c.verdict);
    EXPECT_TRUE(calls >= c.fewestCalls && calls <= c.mostCalls) << calls;
    EXPECT_EQ(notices, calls - 1);
    EXPECT_LE(largest, policy.budget) << "each attempt is given at most what is left of the budget";
  }
}

TEST(RetryPolicyTest, TestTimingsParseOrLeaveThePolicyAlone) {
  RetryPolicy policy, expected;
  EXPECT_TRUE(ApplyTestTiming("budget=1500,delay=40,connect=400", policy));
  EXPECT_EQ((std::vector{policy.budget, policy.firstDelay, policy.connectTimeout, policy.attemptTimeout}),
            (std::vector{Millis(1500), Millis(40), Millis(400), expected.attemptTimeout}));
  for (const char* bad : {"budget", "budget=fast", "delay=-1", "pause=10", "budget=10,", "budget=99999999"}) {
    RetryPolicy untouched;
    EXPECT_FALSE(ApplyTestTiming(bad, untouched)) << bad;
    EXPECT_EQ(untouched.budget, RetryPolicy().budget) << bad;
  }
}

}  // namespace
}  // namespace zpk
