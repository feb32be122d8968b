// The stack of open input files and the line reader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kup {

/// At most this many input levels are open at once.
inline constexpr int kMaxInputLevels = 40;

/// What one read of a line reader found.
enum class ReadStatus { Piece, End, Error };

/// Reads a descriptor in large blocks and hands out lines, or pieces of
/// lines, without one system call per line.
class LineReader {
 public:
  /// Starts reading `fd` from its current position.
  void attach(int fd);
  void detach() { fd_ = -1; }
  int fd() const { return fd_; }

  /// Reads at most `max` characters into `out`, stopping after a newline,
  /// which stays in the text.
  ReadStatus read_piece(std::string& out, std::size_t max);

  /// Takes the next line, newline included, as a view of the buffer when
  /// the buffer holds it whole within `max` characters; false, taking
  /// nothing, otherwise. The view is valid until the next read.
  bool take_line(std::string_view& line, std::size_t max);

  /// What the buffer holds that was not taken yet; the storage after it
  /// stays readable for kSlack more bytes. Valid until the next read.
  std::string_view unread() const { return {buffer_.get() + begin_, end_ - begin_}; }
  /// Takes the first `n` characters of unread().
  void consume(std::size_t n) { begin_ += n; }

  /// Bytes readable after the buffered text, for scanners that read a
  /// block of characters at a time.
  static constexpr std::size_t kSlack = 64;

 private:
  bool refill();

  int fd_ = -1;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  bool failed_ = false;
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

/// Reads the next line of the top level into `buffer`, popping exhausted
/// levels above the bottom one. Returns false when no line is left.
bool read_line(std::string& buffer, int depth);

/// Reads one piece of a level without popping it; a read error ends the run.
bool read_level_piece(InputLevel& level, std::string& out);

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
