#include "text/edits.h"

#include <algorithm>

namespace kup {

std::string int_to_text(long long value) {
  std::string text;
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    text.push_back(static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) text.push_back('-');
  std::reverse(text.begin(), text.end());
  return text;
}

void drop_char(std::string_view text, std::string& out, char c) {
  out.clear();
  for (char t : text)
    if (t != c) out.push_back(t);
}

void drop_char_in_place(std::string& text, char c) {
  text.erase(std::remove(text.begin(), text.end(), c), text.end());
}

bool strip_lead(std::string_view text, std::string& out, char c) {
  if (text.empty() || text.front() != c) {
    out.clear();
    return false;
  }
  out.assign(text.substr(1));
  return true;
}

}  // namespace kup
