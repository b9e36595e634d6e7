#include "retry_policy.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <thread>

namespace zpk {

namespace {

using Clock = std::chrono::steady_clock;

bool ParseMillis(std::string_view text, Millis& value) {
  long long number = 0;
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, number);
  if (error != std::errc() || at != end || number < 0 || number > 3600000) return false;
  value = Millis(number);
  return true;
}

Millis* TimingField(std::string_view name, RetryPolicy& policy) {
  if (name == "budget") return &policy.budget;
  if (name == "delay") return &policy.firstDelay;
  if (name == "maxdelay") return &policy.maxDelay;
  if (name == "connect") return &policy.connectTimeout;
  if (name == "attempt") return &policy.attemptTimeout;
  return nullptr;
}

// An attempt squeezed into less than this share of the budget could not succeed anyway.
Millis SmallestAttempt(const RetryPolicy& policy) { return std::max(Millis(1), policy.budget / 10); }

}  // namespace

bool ApplyTestTiming(std::string_view text, RetryPolicy& policy) {
  RetryPolicy changed = policy;
  for (bool more = !text.empty(); more;) {
    size_t comma = text.find(',');
    std::string_view part = text.substr(0, comma);
    more = comma != std::string_view::npos;
    text = more ? text.substr(comma + 1) : std::string_view();
    size_t equals = part.find('=');
    if (equals == std::string_view::npos) return false;
    Millis* field = TimingField(part.substr(0, equals), changed);
    if (field == nullptr || !ParseMillis(part.substr(equals + 1), *field)) return false;
  }
  policy = changed;
  return true;
}

RetryPolicy RetryPolicyInEffect() {
  RetryPolicy policy;
  if (const char* text = std::getenv(kTestTimingVariable)) ApplyTestTiming(text, policy);
  return policy;
}

Millis BackoffDelay(const RetryPolicy& policy, int retry, std::mt19937_64& random) {
  Millis delay = policy.firstDelay;
  for (int i = 1; i < retry && delay < policy.maxDelay; ++i) delay *= 2;
  delay = std::min(delay, policy.maxDelay);
  std::uniform_int_distribution<long long> draw(delay.count() / 2, delay.count());
  return Millis(draw(random));
}

AttemptResult RunWithRetries(const RetryPolicy& policy, const Attempt& attempt, const RetryNotice& notice) {
  std::mt19937_64 random(std::random_device{}());
  const Clock::time_point start = Clock::now();
  auto left = [&] { return policy.budget - std::chrono::duration_cast<Millis>(Clock::now() - start); };
  for (int retry = 1;; ++retry) {
    AttemptResult result = attempt(std::max(Millis(1), left()));
    if (result.verdict != Verdict::Transient) return result;
    Millis delay = std::max(BackoffDelay(policy, retry, random), result.retryAfter);
    if (left() - delay < SmallestAttempt(policy)) return result;
    if (notice) notice(retry, delay, result.error);
    std::this_thread::sleep_for(delay);
  }
}

}  // namespace zpk
