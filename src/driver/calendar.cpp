// The calendar text of $D: the time of the run, or the fixed time that
// SOURCE_DATE_EPOCH gives for reproducible output.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "driver/calendar.h"
#include "driver/diagnostics.h"
#include "driver/text_format.h"
#include "platform/platform.h"

namespace kup {

namespace {

/// The largest SOURCE_DATE_EPOCH taken: 9999-12-31 23:59:59 UTC, the last
/// second whose date text still has a four-digit year.
constexpr long long kLatestEpoch = 253402300799;

/// The seconds of a SOURCE_DATE_EPOCH value, or -1 when it is not a whole
/// number of seconds from 0 to kLatestEpoch.
long long parse_epoch(std::string_view text) {
  if (text.empty()) return -1;
  long long seconds = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    seconds = seconds * 10 + (c - '0');
    if (seconds > kLatestEpoch) return -1;
  }
  return seconds;
}

}  // namespace

CalendarTime local_time(long long seconds) {
  std::tm parts{};
  if (!local_time_parts(seconds, parts)) return universal_time(seconds);
  return {parts.tm_year + 1900, parts.tm_mon, parts.tm_mday, parts.tm_wday,
          parts.tm_hour,        parts.tm_min, parts.tm_sec};
}

CalendarTime universal_time(long long seconds) {
  using namespace std::chrono;
  const sys_seconds when{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(when);
  const year_month_day date{day};
  const hh_mm_ss clock{when - day};
  return {static_cast<int>(date.year()),
          static_cast<int>(static_cast<unsigned>(date.month())) - 1,
          static_cast<int>(static_cast<unsigned>(date.day())),
          static_cast<int>(weekday{day}.c_encoding()),
          static_cast<int>(clock.hours().count()),
          static_cast<int>(clock.minutes().count()),
          static_cast<int>(clock.seconds().count())};
}

std::string date_text(const CalendarTime& when) {
  static constexpr char kDays[] = "SunMonTueWedThuFriSat";
  static constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  char text[64];
  std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays + 3 * when.weekday,
                kMonths + 3 * when.month, when.day, when.hour, when.minute, when.second, when.year);
  return text;
}

std::string start_date_text() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch == nullptr) return date_text(local_time(static_cast<long long>(std::time(nullptr))));
  const long long seconds = parse_epoch(epoch);
  if (seconds < 0)
    fatal_command_line(format("KUP error - SOURCE_DATE_EPOCH is not a number of seconds: '%s'\n", epoch));
  return date_text(universal_time(seconds));
}

}  // namespace kup
