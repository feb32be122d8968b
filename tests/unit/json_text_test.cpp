// The server's own JSON writer against nlohmann::json's dump with the
// replacement of bytes that are no UTF-8: the same text, byte for byte.
#include "ls/json_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ls/publish.h"

namespace kup::ls {
namespace {

using nlohmann::json;
using namespace std::string_view_literals;

std::string dumped(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string written(std::string_view text) {
  std::string out;
  append_json_string(out, text);
  return out;
}

TEST(JsonText, StringsAsNlohmannDumpsThem) {
  const std::string_view cases[] = {
      "",
      "plain text",
      "quote \" backslash \\ slash /",
      "\b\f\n\r\t \x01 \x1f \x7f \0 end"sv,  // the NUL and what follows it counted
      "two \xC3\xA9, three \xE2\x82\xAC, four \xF0\x9F\x98\x80",
      "stray \x80 continuation, lead at the end \xC3",
      "cut short \xE2\x82 then text, \xF0\x9F\x98\"",
      "overlong \xC0\x80 and \xE0\x80\x80, surrogate \xED\xA0\x80",
      "past U+10FFFF \xF4\x90\x80\x80, never a lead \xF5\xFF",
      "last of each range \xDF\xBF \xEF\xBF\xBF \xF4\x8F\xBF\xBF",
  };
  for (const std::string_view text : cases) {
    const std::string expected = dumped(json(std::string(text)));
    EXPECT_EQ(written(text), expected) << expected;
    EXPECT_TRUE(json::accept(written(text)));
  }
}

TEST(JsonText, NumbersAndTheDiagnosticsNotification) {
  std::string out;
  append_json_number(out, -9223372036854775807LL - 1);
  EXPECT_EQ(out, "-9223372036854775808");
  const std::string diagnostics = R"([{"message":"a \"b\"","severity":4}])";
  const long version = 12;
  const json expected = {{"jsonrpc", "2.0"},
                         {"method", "textDocument/publishDiagnostics"},
                         {"params", {{"uri", "file:///t%20\xFF"}, {"diagnostics", json::parse(diagnostics)},
                                     {"version", version}}}};
  EXPECT_EQ(diagnostics_notification("file:///t%20\xFF", diagnostics, &version), dumped(expected));
  json unversioned = expected;
  unversioned["params"].erase("version");
  EXPECT_EQ(diagnostics_notification("file:///t%20\xFF", diagnostics, nullptr), dumped(unversioned));
}

}  // namespace
}  // namespace kup::ls
