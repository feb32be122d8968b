// The documents the editor has open: their text as edited, their lines,
// and the conversions between the editor's positions and byte offsets.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kup::ls {

/// How the editor counts the characters of a position: UTF-16 code units
/// (the protocol's default) or bytes of UTF-8.
enum class PositionEncoding { Utf16, Utf8 };

/// An absolute path for a file: URI, or an empty text for any other URI.
/// Percent escapes are decoded.
std::string path_from_uri(std::string_view uri);

/// The file: URI of an absolute path, with the bytes that need it escaped.
std::string uri_from_path(std::string_view path);

/// The path made absolute against `base` and lexically normalised ("."
/// and ".." folded, repeated slashes joined).
std::string absolute_path(std::string_view path, std::string_view base);

/// The byte offset in `line` (without its newline) of the character
/// `column` counted in `encoding`; the line's end when it is shorter.
std::size_t byte_column(std::string_view line, long column, PositionEncoding encoding);

/// The column in `encoding` of the byte offset `offset` of `line`.
long encoded_column(std::string_view line, std::size_t offset, PositionEncoding encoding);

/// One open document.
struct Document {
  std::string uri;
  std::string path;  ///< absolute, or empty for a URI that names no file
  std::string text;
  long version = 0;
  /// Where each line begins in `text`; one entry more than its newlines.
  std::vector<std::size_t> line_starts;
  /// The text changed since the last run.
  bool stale = true;

  /// Recomputes line_starts from the text.
  void index_lines();
  std::size_t line_count() const { return line_starts.size(); }
  /// Line `n` (from 0) without its newline; empty past the end.
  std::string_view line(std::size_t n) const;
  /// The byte offset of a position, clamped to the text.
  std::size_t offset(long line, long character, PositionEncoding encoding) const;
  /// Replaces the bytes [from, to) by `text` and reindexes the lines.
  void replace(std::size_t from, std::size_t to, std::string_view text);
};

/// The open documents, by URI.
using DocumentMap = std::map<std::string, Document, std::less<>>;

}  // namespace kup::ls
