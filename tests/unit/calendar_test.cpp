// The calendar text of $D: UTC worked out from the seconds (leap years,
// centuries, the last second taken), and the blank-padded day of the month.
#include <gtest/gtest.h>

#include "driver/calendar.h"

namespace kup {
namespace {

TEST(Calendar, UniversalDateTexts) {
  struct Case {
    long long seconds;
    const char* text;
  };
  const Case cases[] = {
      {0, "Thu Jan  1 00:00:00 1970"},
      {951782400, "Tue Feb 29 00:00:00 2000"},      // a leap day of a century
      {4107542399, "Sun Feb 28 23:59:59 2100"},     // 2100 is no leap year
      {4107542400, "Mon Mar  1 00:00:00 2100"},
      {1796735713, "Tue Dec  8 13:15:13 2026"},
      {253402300799, "Fri Dec 31 23:59:59 9999"},  // the latest taken
  };
  for (const Case& c : cases) EXPECT_EQ(date_text(universal_time(c.seconds)), c.text) << c.seconds;
}

}  // namespace
}  // namespace kup
