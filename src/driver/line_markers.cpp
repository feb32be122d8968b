#include "driver/line_markers.h"

#include "driver/output.h"

namespace kup {

LineMarkerState markers;

namespace {

/// Appends a file name as the content of a C string literal: backslash
/// and double quote escaped, and control characters written in octal so
/// that the marker stays one line.
void append_escaped_name(std::string& out, std::string_view name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      out += '\\';
      out += static_cast<char>('0' + (byte >> 6));
      out += static_cast<char>('0' + ((byte >> 3) & 7));
      out += static_cast<char>('0' + (byte & 7));
    } else {
      out += c;
    }
  }
}

}  // namespace

bool set_line_marker_format(std::string_view format) {
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 == format.size()) return false;
    const char next = format[++i];
    if (next != 'l' && next != 'f' && next != '%') return false;
  }
  markers.format.assign(format);
  markers.on = !format.empty();
  return true;
}

void write_line_marker(const std::string& file, std::uint32_t line) {
  std::string& text = markers.text;
  text.clear();
  const std::string_view format = markers.format;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      text += format[i];
      continue;
    }
    switch (format[++i]) {
      case 'l':
        text += std::to_string(line);
        break;
      case 'f':
        append_escaped_name(text, file);
        break;
      default:
        text += '%';
        break;
    }
  }
  text += '\n';
  out_write(text);
  markers.next_file.assign(file);
  markers.next_line = line + 1;
}

void reset_line_markers() {
  markers.on = false;
  markers.format.clear();
  markers.file = nullptr;
  markers.line = 0;
  markers.next_file.clear();
  markers.next_line = 0;
  markers.mid_line = false;
}

}  // namespace kup
