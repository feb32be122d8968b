// The calendar: moments broken down into their fields and written as the
// text of $D.
#pragma once

#include <string>

namespace kup {

/// A moment broken down into its calendar fields.
struct CalendarTime {
  int year;     ///< e.g. 2026
  int month;    ///< 0 (January) to 11
  int day;      ///< 1 to 31
  int weekday;  ///< 0 (Sunday) to 6
  int hour, minute, second;
};

/// `seconds` since the epoch in the local time zone; the one place that
/// asks the platform for the time zone.
CalendarTime local_time(long long seconds);
/// `seconds` since the epoch in UTC, worked out without the platform.
CalendarTime universal_time(long long seconds);

/// The 24-character calendar text "Tue Dec  8 13:15:13 2026": day and
/// month abbreviations, the day of the month right-aligned in two columns,
/// the time and the year.
std::string date_text(const CalendarTime& when);

/// The value of $D: the local time now, or the UTC time of
/// SOURCE_DATE_EPOCH when that is set; a value that is not a whole number
/// of seconds ends the run.
std::string start_date_text();

}  // namespace kup
