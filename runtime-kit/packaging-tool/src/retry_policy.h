#pragma once
// How a request to a time-stamp authority is tried again: exponential back-off with jitter
// inside a time budget per authority. Only failures that may go away are retried.
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <string_view>

namespace zpk {

using Millis = std::chrono::milliseconds;

struct RetryPolicy {
  Millis budget{20000};         // per authority, from the start of its first attempt
  Millis firstDelay{1000};      // the pause before the first retry; doubled for each further one
  Millis maxDelay{8000};        // no pause is longer
  Millis connectTimeout{8000};  // name lookup and connection, as one deadline
  Millis attemptTimeout{20000}; // one whole exchange, never past the budget
};

// The environment variable that shortens the timings, for the tool's own tests only:
// "budget=MS,delay=MS,maxdelay=MS,connect=MS,attempt=MS", any subset. Authors never need it.
inline constexpr const char* kTestTimingVariable = "ZPK_TEST_TSA_TIMING";

// The timings in force: the defaults, with those of kTestTimingVariable when it parses.
RetryPolicy RetryPolicyInEffect();
// Applies a kTestTimingVariable text to `policy`; false (and `policy` untouched) when any
// part is not "name=milliseconds" with a known name.
bool ApplyTestTiming(std::string_view text, RetryPolicy& policy);

// The pause before retry number `retry` (1 for the first): firstDelay doubled per retry,
// capped at maxDelay, then drawn at random between half of it and all of it, so that many
// clients turned away at once do not come back at once.
Millis BackoffDelay(const RetryPolicy& policy, int retry, std::mt19937_64& random);

enum class Verdict {
  Done,       // the attempt succeeded
  Transient,  // worth another try: no connection, a time-out, 429 or 5xx, an unreadable reply
  Permanent,  // the same request would be refused again
};

struct AttemptResult {
  Verdict verdict = Verdict::Done;
  std::string error;   // why it failed
  Millis retryAfter{0};  // the authority's own "come back later", when it gave one
};

// One attempt, given the time it may take at most.
using Attempt = std::function<AttemptResult(Millis timeLeft)>;
// Told before each pause: the retry's number, the pause and the failure that caused it.
using RetryNotice = std::function<void(int retry, Millis delay, const std::string& error)>;

// Runs `attempt` until it is done or fails for good, or the budget leaves no room for
// another attempt after the next pause. Returns the last attempt's result.
AttemptResult RunWithRetries(const RetryPolicy& policy, const Attempt& attempt, const RetryNotice& notice);

}  // namespace zpk
