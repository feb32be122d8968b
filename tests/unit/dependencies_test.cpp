// Names in the dependency file as make reads them: blanks, tabs, '#' and
// '$' escaped, and the backslashes before an escape or at the end doubled
// so that they stay backslashes.
#include <gtest/gtest.h>

#include "input/dependencies.h"

namespace kup {
namespace {

TEST(Dependencies, MakeEscapedNames) {
  struct Case {
    const char* name;
    const char* escaped;
  };
  const Case cases[] = {
      {"plain/file.txt", "plain/file.txt"},
      {"a b\tc", "a\\ b\\\tc"},
      {"#1$x$", "\\#1$$x$$"},
      {"dir\\file", "dir\\file"},      // a backslash before a letter stays
      {"a\\ b", "a\\\\\\ b"},          // one before a blank is doubled
      {"a\\\\#", "a\\\\\\\\\\#"},      // so is a run before '#'
      {"end\\", "end\\\\"},            // and a run at the end
  };
  for (const Case& c : cases) EXPECT_EQ(make_escaped(c.name), c.escaped) << c.name;
}

}  // namespace
}  // namespace kup
