// The base protocol's framing: messages preceded by a header block whose
// Content-Length says how many bytes of content follow.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kup::ls {

/// What one step of the message reader found.
enum class FrameStatus {
  Message,    ///< a whole message's content is ready
  NeedMore,   ///< the bytes so far end inside a message
  BadHeader,  ///< a header block without a usable Content-Length was skipped
};

/// Cuts a byte stream into messages. Bytes are fed as they arrive; each
/// call of next() takes at most one message out.
class MessageReader {
 public:
  /// Appends bytes read from the stream.
  void feed(std::string_view bytes) { buffer_.append(bytes); }

  /// Takes the next message's content into `content`, or says why not.
  FrameStatus next(std::string& content);

  /// Bytes fed and not yet taken.
  std::size_t pending() const { return buffer_.size() - begin_; }

  /// The longest header block accepted; a longer one is dropped as bad.
  static constexpr std::size_t kMaxHeader = 8192;
  /// The largest content accepted.
  static constexpr std::size_t kMaxContent = std::size_t{256} << 20;

 private:
  void drop_taken();

  std::string buffer_;
  std::size_t begin_ = 0;
};

/// Writes one message, its header and `content`, to `fd` at once; false
/// when the stream is closed.
bool write_message(int fd, std::string_view content);

/// Writes all of `bytes` to `fd`; false when the stream is closed.
bool write_all(int fd, std::string_view bytes);

}  // namespace kup::ls
