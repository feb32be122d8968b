// What the directive handlers share among themselves: their working texts
// and the helpers more than one of them uses.
#pragma once

#include <string>
#include <string_view>

namespace kup {

/// The working texts of the directive handlers. A handler uses them for the
/// line it handles only, under names of its own, and sets its trace texts
/// once at its end; they are kept here, a cache of their capacity, so that
/// a warm run allocates nothing. message_text uses `expanded`, and
/// read_switch `expanded` and `evaluated`.
struct HandlerTexts {
  std::string name;
  std::string field;
  std::string value;
  std::string current;
  std::string piece;
  std::string expanded;
  std::string evaluated;
  std::string message;
};

extern HandlerTexts handler_texts;

/// The rest of the line expanded, without single quotes and backquotes.
void message_text(std::string& out);

/// What the argument of #skip or #verbose does to a mode that is now
/// `current`: with none the mode is toggled, otherwise the argument is
/// evaluated and the mode set to its truth. `detail` is the trace text.
struct Switch {
  bool on;
  std::string_view detail;
};
Switch read_switch(bool current);

}  // namespace kup
