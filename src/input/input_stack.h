// The stack of open input files and the line reader.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace kup {

/// At most this many input levels are open at once.
inline constexpr int kMaxInputLevels = 40;

/// What one read of a line reader found.
enum class ReadStatus { Piece, End, Error };

/// Bytes readable past the end of every line a LineReader hands out, so
/// that a scanner may read the line in whole blocks of 64 characters.
inline constexpr std::size_t kReadSlack = 64;

/// The longest line a LineReader hands out; a longer one comes in pieces.
inline constexpr std::size_t kMaxReadLine = 1024;

/// Storage of its own for one line of at most kMaxReadLine characters,
/// readable kReadSlack bytes past the line's end as every line a
/// LineReader hands out is. Made on first use and kept, so that a warm run
/// allocates nothing.
class LineStore {
 public:
  /// Makes the store hold `text` alone and views it there.
  std::string_view assign(std::string_view text) {
    size_ = 0;
    append(text.data(), text.size());
    return view();
  }
  /// Appends `n` characters; the line stays within kMaxReadLine.
  void append(const char* text, std::size_t n);
  void clear() { size_ = 0; }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};

/// Reads a descriptor in large blocks and hands out lines, or pieces of
/// lines, without one system call per line. It alone looks for the
/// newlines that end them.
class LineReader {
 public:
  /// Starts reading `fd` from its current position.
  void attach(int fd);
  void detach() { fd_ = -1; }
  int fd() const { return fd_; }

  /// Hands out the next line, newline included, or the next `max`
  /// characters (at most kMaxReadLine) of a longer line, or the rest of
  /// the input when it ends without a newline. A line found whole in the
  /// read buffer is viewed there; one that crosses the buffer's end is
  /// copied into storage of the reader's own. Either way the storage stays
  /// readable kReadSlack bytes past the line's end. The view is valid
  /// until the next read. End and Error hand out nothing; a read error
  /// after some characters of a line hands them out first.
  ReadStatus next_line(std::string_view& line, std::size_t max) {
    // Most lines lie whole in the buffer: found there, they are handed out
    // without a call.
    const char* const from = buffer_.get() + begin_;
    if (const void* newline = std::memchr(from, '\n', std::min(end_ - begin_, max))) {
      const auto length = static_cast<std::size_t>(static_cast<const char*>(newline) - from) + 1;
      line = {from, length};
      begin_ += length;
      return ReadStatus::Piece;
    }
    return next_line_elsewhere(line, max);
  }

  /// next_line into a text of the caller's (emptied for End and Error).
  ReadStatus read_piece(std::string& out, std::size_t max);

  /// What the read buffer holds that was not handed out yet, for a look
  /// ahead. Valid until the next read.
  std::string_view unread() const { return {buffer_.get() + begin_, end_ - begin_}; }

 private:
  bool refill();
  ReadStatus next_line_elsewhere(std::string_view& line, std::size_t max);
  ReadStatus assemble_line(std::string_view& line, std::size_t max);

  int fd_ = -1;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  bool failed_ = false;
  /// A line that crossed the end of the read buffer.
  LineStore assembled_;
};

/// One open input: a file of the command line or of #include/#insert, or
/// standard input.
struct InputLevel {
  LineReader* reader = nullptr;
  bool is_stdin = false;
  bool stream_closed = false;
  std::string file_name;
  std::string tag_name;
  std::uint32_t line_count = 0;
  int cond_depth_at_open = 0;
  /// Pieces read so far that continue a line begun by the piece before:
  /// line_count less these is the line's number in the file. Kept only
  /// while line markers are written.
  std::uint32_t continued_pieces = 0;
  /// The last piece read ended without a newline.
  bool piece_continues = false;
};

/// The input levels, index 0 at the bottom, and their readers.
struct InputStack {
  InputLevel levels[kMaxInputLevels];
  /// Index of the top level; -1 while the stack is empty.
  int file_level = -1;
  /// The reader of standard input, shared by its level and by #ask.
  LineReader stdin_reader;
  /// One reader per level, kept between files so that their buffers are
  /// reused.
  LineReader file_readers[kMaxInputLevels];
  /// The descriptor read as standard input; the program running kup
  /// chooses it, and it outlasts a run.
  int stdin_fd = 0;
};

extern InputStack inputs;

/// The top level; only valid while file_level >= 0.
inline InputLevel& top_level() { return inputs.levels[inputs.file_level]; }

/// Makes standard input the bottom level.
void push_standard_input();

/// Pushes `path`, opened for reading, recording `depth` as the conditional
/// depth it must end with. Ends the run on failure.
void open_input(std::string_view path, int depth, std::string_view mode = "r");

/// Closes the descriptor of a level read from a file, once; standard input
/// stays open.
void close_stream(InputLevel& level);

/// Closes the top level after checking its conditional balance.
void close_input(int depth);

/// Hands out the next line of the top level as LineReader::next_line
/// does, popping exhausted levels above the bottom one. Returns false when
/// no line is left.
bool read_line(std::string_view& line, int depth);

/// Reads one piece of a level without popping it, as a view valid until
/// the level's next read; a read error ends the run.
bool read_level_piece(InputLevel& level, std::string_view& piece);

/// Writes the trace line that says which line of the top level is read next.
void trace_processing();

/// Redefines $F and $T from the top level.
void renew_file_macros();

/// Chooses the descriptor read as standard input (0 unless a test or a
/// fuzzer feeds a run from elsewhere).
void set_stdin_fd(int fd);

/// Closes every descriptor a previous run left open and empties the stack.
void reset_input_stack();

}  // namespace kup
