#include "reproducible.h"

#include <cerrno>
#include <cstdlib>

namespace zpk {

bool ReproducibleTime(std::time_t& when) {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long seconds = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  when = static_cast<std::time_t>(seconds);
  return true;
}

std::time_t EntryTime(std::time_t fileTime) {
  std::time_t fixed = 0;
  if (ReproducibleTime(fixed)) return fixed;
  return fileTime;
}

void DosDateTime(std::time_t when, std::uint16_t& dosTime, std::uint16_t& dosDate) {
  std::time_t fixed = 0;
  const bool utc = ReproducibleTime(fixed);
  std::tm parts{};
  if ((utc ? gmtime_r(&when, &parts) : localtime_r(&when, &parts)) == nullptr || parts.tm_year < 80) {
    dosTime = 0;
    dosDate = (1 << 5) | 1;  // 1980-01-01 00:00, the earliest time the format holds
    return;
  }
  if (parts.tm_year > 207) {
    dosTime = (23 << 11) | (59 << 5) | 29;
    dosDate = static_cast<std::uint16_t>((127 << 9) | (12 << 5) | 31);
    return;
  }
  dosTime = static_cast<std::uint16_t>((parts.tm_hour << 11) | (parts.tm_min << 5) | (parts.tm_sec / 2));
  dosDate = static_cast<std::uint16_t>(((parts.tm_year - 80) << 9) | ((parts.tm_mon + 1) << 5) | parts.tm_mday);
}

}  // namespace zpk
