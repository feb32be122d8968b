#include "ls/documents.h"

#include <algorithm>

namespace kup::ls {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// The bytes of a UTF-8 sequence that starts with `lead`; a stray
/// continuation byte counts as one.
std::size_t sequence_size(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

std::string path_from_uri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (uri.substr(0, kScheme.size()) != kScheme) return {};
  uri.remove_prefix(kScheme.size());
  // An authority (a host name) before the path is ignored.
  const std::size_t slash = uri.find('/');
  if (slash == std::string_view::npos) return {};
  uri.remove_prefix(slash);
  std::string path;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && hex_value(uri[i + 1]) >= 0 && hex_value(uri[i + 2]) >= 0) {
      path += static_cast<char>(hex_value(uri[i + 1]) * 16 + hex_value(uri[i + 2]));
      i += 2;
    } else {
      path += uri[i];
    }
  }
  if (path.find('\0') != std::string::npos) return {};
  return path;
}

std::string uri_from_path(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || std::string_view("/-._~").find(c) != std::string_view::npos;
    if (plain) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 15];
    }
  }
  return uri;
}

std::string absolute_path(std::string_view path, std::string_view base) {
  std::string joined = !path.empty() && path.front() == '/' ? std::string(path) : std::string(base) + "/" + std::string(path);
  std::vector<std::string_view> parts;
  std::string_view rest = joined;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string normal;
  for (const std::string_view part : parts) {
    normal += '/';
    normal += part;
  }
  return normal.empty() ? "/" : normal;
}

std::size_t byte_column(std::string_view line, long column, PositionEncoding encoding) {
  if (column <= 0) return 0;
  if (encoding == PositionEncoding::Utf8) return std::min(line.size(), static_cast<std::size_t>(column));
  std::size_t at = 0;
  long units = 0;
  while (at < line.size() && units < column) {
    const std::size_t size = sequence_size(static_cast<unsigned char>(line[at]));
    units += size == 4 ? 2 : 1;
    at = std::min(line.size(), at + size);
  }
  return at;
}

long encoded_column(std::string_view line, std::size_t offset, PositionEncoding encoding) {
  offset = std::min(offset, line.size());
  if (encoding == PositionEncoding::Utf8) return static_cast<long>(offset);
  long units = 0;
  for (std::size_t at = 0; at < offset;) {
    const std::size_t size = sequence_size(static_cast<unsigned char>(line[at]));
    units += size == 4 ? 2 : 1;
    at += size;
  }
  return units;
}

void Document::index_lines() {
  line_starts.assign(1, 0);
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
    line_starts.push_back(at + 1);
}

std::string_view Document::line(std::size_t n) const {
  if (n >= line_starts.size()) return {};
  const std::size_t begin = line_starts[n];
  std::size_t end = n + 1 < line_starts.size() ? line_starts[n + 1] - 1 : text.size();
  if (end > begin && text[end - 1] == '\r') --end;
  return std::string_view(text).substr(begin, end - begin);
}

std::size_t Document::offset(long line_number, long character, PositionEncoding encoding) const {
  if (line_number < 0) return 0;
  const auto n = static_cast<std::size_t>(line_number);
  if (n >= line_starts.size()) return text.size();
  return line_starts[n] + byte_column(line(n), character, encoding);
}

void Document::replace(std::size_t from, std::size_t to, std::string_view replacement) {
  from = std::min(from, text.size());
  to = std::clamp(to, from, text.size());
  text.replace(from, to - from, replacement);
  index_lines();
  stale = true;
}

}  // namespace kup::ls
