#include "driver/text_format.h"

#include <charconv>

namespace kup {

static void append_integer(std::string& out, long long value, int width) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  int length = static_cast<int>(result.ptr - digits);
  if (width > length) out.append(static_cast<std::size_t>(width - length), ' ');
  out.append(digits, result.ptr);
}

void format_append(std::string& out, std::string_view fmt,
                   const FormatArg* args, std::size_t count) {
  std::size_t next = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c != '%' || i + 1 == fmt.size()) {
      out.push_back(c);
      continue;
    }
    ++i;
    if (fmt[i] == '%') {
      out.push_back('%');
      continue;
    }
    int width = 0;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') width = width * 10 + (fmt[i++] - '0');
    if (i == fmt.size()) break;
    const FormatArg& arg = args[next < count ? next : count];
    if (next < count) ++next;
    switch (fmt[i]) {
      case 's':
        if (arg.kind == FormatArg::Kind::Text) out.append(arg.text);
        break;
      case 'c':
        out.push_back(static_cast<char>(arg.integer));
        break;
      default:  // 'd'
        append_integer(out, arg.integer, width);
        break;
    }
  }
}

}  // namespace kup
