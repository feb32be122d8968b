#include "ls/engine_run.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <unordered_map>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/output.h"
#include "driver/run_observer.h"
#include "input/input_stack.h"
#include "ls/piece_map.h"
#include "macros/class_masks.h"
#include "macros/field_scanner.h"
#include "macros/macro_table.h"
#include "macros/masked_scanner.h"

extern char** environ;

namespace kup::ls {

namespace {

/// A descriptor of an anonymous file in memory holding `text`, positioned
/// at its start; -1 on failure.
int memory_file(std::string_view text) {
  const int fd = memfd_create("kup-ls", MFD_CLOEXEC);
  if (fd < 0) return -1;
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written <= 0) {
      ::close(fd);
      return -1;
    }
    done += static_cast<std::size_t>(written);
  }
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

/// Reads everything written to `fd` into `text`, then empties the file.
void take_file(int fd, std::string& text) {
  struct stat info;
  text.clear();
  if (::fstat(fd, &info) == 0 && info.st_size > 0) text.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  ssize_t got;
  while (done < text.size() && (got = ::pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(done))) > 0)
    done += static_cast<std::size_t>(got);
  text.resize(done);
  if (::ftruncate(fd, 0) != 0) text.clear();
  ::lseek(fd, 0, SEEK_SET);
}

/// What a path names on disk, for the runs of the server.
enum class DiskEntry { None, Regular, Folder, Other };

DiskEntry disk_entry(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return DiskEntry::None;
  if (S_ISREG(info.st_mode)) return DiskEntry::Regular;
  return S_ISDIR(info.st_mode) ? DiskEntry::Folder : DiskEntry::Other;
}

/// The faults of the run under way, which the diagnostic sink fills.
std::vector<Fault>* run_faults = nullptr;

void collect_fault(const Diagnostic& diagnostic) {
  if (run_faults == nullptr) return;
  Fault fault;
  fault.error = diagnostic.error;
  fault.message = diagnostic.message;
  for (const DiagnosticLocation& location : diagnostic.where) fault.where.push_back({location.file, location.line});
  run_faults->push_back(std::move(fault));
}

/// The observer of one run: supplies the open documents and records what
/// the run does.
class Recorder final : public RunObserver {
 public:
  Recorder(const RunContext& context, RunResult& result) : context_(context), result_(result) {
    for (const auto& [uri, document] : context.documents)
      if (!document.path.empty()) open_paths_.emplace(document.path, &document);
  }

  /// The absolute paths of the inputs the run opened.
  std::vector<std::string> opened_inputs() const {
    std::vector<std::string> paths;
    for (const auto& [name, path] : resolved_) paths.push_back(path);
    return paths;
  }

  /// The absolute path of an input as the run named it.
  std::string resolve(const std::string& name) const {
    const auto found = resolved_.find(name);
    return found != resolved_.end() ? found->second : absolute_path(name, context_.root);
  }

  void line_handled(const InputLevel& level) override {
    const bool skipped = (modes.skip && modes.pending_skip) || (!evaluation_before_ && !modes.evaluation);
    evaluation_before_ = modes.evaluation;
    ++order_;
    if (line.raw_text.size() >= kMaxPiece && line.raw_text.back() != '\n') note_pieces(level);
    std::vector<LineRecord>* records = records_of(level);
    if (records == nullptr || level.line_count == 0) return;
    const std::size_t index = level.line_count - 1;
    if (records->size() <= index) records->resize(index + 1);
    LineRecord& record = (*records)[index];
    record.skipped = record.read ? record.skipped && skipped : skipped;
    record.read = true;
    record.order = order_;
    record.directive = modes.directive_line;
    if (!skipped) record_uses(record);
  }

  void macro_defined(std::string_view name) override {
    if (name == "$F" || name == "$T") return;
    Definition definition;
    definition.name = std::string(name);
    if (!startup.command_line_phase && kup::inputs.file_level >= 0 && top_level().line_count != 0) {
      definition.file = resolve(top_level().file_name);
      definition.line = top_level().line_count;
    }
    const MacroEntry* entry = find_macro(name);
    definition.value = std::string(macro_value(entry, scratch_));
    definition.order = ++order_;
    if (entry != nullptr) {
      const std::size_t slot = slot_of(entry);
      if (slot >= current_.size()) current_.resize(slot + 1, -1);
      current_[slot] = static_cast<int>(result_.definitions.size());
    }
    result_.definitions.push_back(std::move(definition));
  }

  int open_input(std::string_view path) override {
    const std::string name(path);
    std::vector<std::string> candidates;
    if (!name.empty() && name.front() == '/') {
      candidates.push_back(absolute_path(name, "/"));
    } else {
      candidates.push_back(absolute_path(name, context_.root));
      for (const std::string& folder : context_.settings.path)
        candidates.push_back(absolute_path(name, absolute_path(folder, context_.root)));
    }
    for (const std::string& candidate : candidates) {
      const auto open = open_paths_.find(candidate);
      if (open != open_paths_.end()) {
        resolved_[name] = candidate;
        return memory_file(open->second->text);
      }
      const DiskEntry entry = disk_entry(candidate);
      if (entry == DiskEntry::None) continue;
      resolved_[name] = candidate;
      // A device, a pipe or a socket (/dev/stdin, a FIFO) could block the
      // server or read its own input: the run reads it as empty.
      return entry == DiskEntry::Other ? memory_file({}) : -1;
    }
    return -1;
  }

  /// Moves what the run recorded of each file it read a line of in
  /// pieces to the lines of the file's text: that of its open document,
  /// else that on disk.
  void map_pieced_files() const {
    for (const std::string& name : pieced_) {
      const std::string path = resolve(name);
      const auto open = open_paths_.find(path);
      if (open != open_paths_.end()) {
        map_pieces(result_, path, open->second->text);
        continue;
      }
      std::ifstream file(path, std::ios::binary);
      map_pieces(result_, path, std::string(std::istreambuf_iterator<char>(file), {}));
    }
  }

 private:
  /// Notes that a line of `level`'s file was read in pieces.
  void note_pieces(const InputLevel& level) {
    if (level.is_stdin || std::find(pieced_.begin(), pieced_.end(), level.file_name) != pieced_.end()) return;
    pieced_.push_back(level.file_name);
  }

  /// The records of the lines of `level`'s file when it is an open
  /// document or the document run; null for any other file.
  std::vector<LineRecord>* records_of(const InputLevel& level) {
    if (level.is_stdin) return nullptr;
    if (level.file_name != last_name_) {
      last_name_ = level.file_name;
      const std::string path = resolve(level.file_name);
      last_records_ = nullptr;
      if (path == result_.document || open_paths_.count(path) != 0) last_records_ = &result_.lines[path];
    }
    return last_records_;
  }

  /// Notes the fields of the current line that name macros; a directive
  /// line's "#" and word are none.
  void record_uses(LineRecord& record) {
    record.first_use = static_cast<std::uint32_t>(result_.uses.size());
    const std::string_view text = line.line_text;
    const char* p = text.data();
    const char* const end = p + text.size();
    if (modes.directive_line) {
      p = scan_bounds(p, end).after;                    // "#"
      p = scan_bounds(p, end, ctype::kLetter).after;    // the directive word
    }
    const auto from = static_cast<std::size_t>(p - text.data());
    if (!modes.prefix && text.size() - from <= kMaskedTextMax) record_masked_uses(text, from);
    else record_scanned_uses(text, from);
    record.use_count = static_cast<std::uint32_t>(result_.uses.size() - record.first_use);
  }

  /// The uses in `text` from `from` on, found with its class masks: only
  /// the words that begin with a character some defined name begins with
  /// are looked up.
  void record_masked_uses(std::string_view text, std::size_t from) {
    masks_.build(text.data() + from, text.size() - from, macros.expansion.visited);
    for (MaskedField f = first_masked_field(masks_); f.kind != MaskedKind::None; f = next_masked_field(masks_, f.next)) {
      if (f.kind != MaskedKind::Word) continue;
      const std::string_view name = text.substr(from + f.start, f.stop - f.start);
      if (const MacroEntry* entry = find_macro(name)) add_use(entry, name, from + f.start);
    }
  }

  /// The uses in `text` from `from` on, found one field after another (a
  /// long line, or Prefix Mode, where a name must begin with a prefix).
  void record_scanned_uses(std::string_view text, std::size_t from) {
    const char* p = text.data() + from;
    const char* const end = text.data() + text.size();
    while (p != end) {
      const FieldBounds field = scan_bounds(p, end);
      p = field.after;
      if (field.start == field.stop) break;
      const std::string_view name(field.start, static_cast<std::size_t>(field.stop - field.start));
      if (modes.prefix && !has_prefix(name)) continue;
      if (const MacroEntry* entry = find_macro(name))
        add_use(entry, name, static_cast<std::size_t>(field.start - text.data()));
    }
  }

  /// Notes a use of `entry`, named `name`, at byte `begin` of the line.
  void add_use(const MacroEntry* entry, std::string_view name, std::size_t begin) {
    NameUse& use = result_.uses.emplace_back();
    use.begin = static_cast<std::uint32_t>(begin);
    use.end = static_cast<std::uint32_t>(begin + name.size());
    use.definition = current_definition(entry, name);
    // The value of a plain macro is its definition's; a list's is
    // composed from its elements at the time of the use.
    if (use.definition < 0 || is_list(entry)) {
      use.seen = static_cast<std::int32_t>(result_.seen.size());
      result_.seen.push_back({std::string(name), std::string(macro_value(entry, scratch_))});
    }
  }

  /// The place of `entry` in the macro table's pool, which never moves
  /// during a run.
  static std::size_t slot_of(const MacroEntry* entry) {
    return static_cast<std::size_t>(entry - macros.table.pool.data());
  }

  /// The definition in effect for `entry`, named `name`, or -1: none was
  /// seen (a predefined macro) or its place was taken by another name.
  int current_definition(const MacroEntry* entry, std::string_view name) const {
    const std::size_t slot = slot_of(entry);
    if (slot >= current_.size()) return -1;
    const int index = current_[slot];
    return index >= 0 && result_.definitions[static_cast<std::size_t>(index)].name == name ? index : -1;
  }

  const RunContext& context_;
  RunResult& result_;
  std::unordered_map<std::string, const Document*> open_paths_;
  std::unordered_map<std::string, std::string> resolved_;
  /// The definition in effect for each macro, by the place of its entry
  /// in the table's pool; -1 for none.
  std::vector<int> current_;
  std::string last_name_;
  std::vector<LineRecord>* last_records_ = nullptr;
  /// The files, as the run names them, with a line read in pieces.
  std::vector<std::string> pieced_;
  std::string scratch_;
  ClassMasks masks_;
  std::uint64_t order_ = 0;
  bool evaluation_before_ = true;
};

/// The descriptors the runs use in place of the standard streams, made
/// once: two files in memory, and /dev/null for standard input.
struct RunStreams {
  int out = memfd_create("kup-ls-out", MFD_CLOEXEC);
  int err = memfd_create("kup-ls-err", MFD_CLOEXEC);
  int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
};

RunStreams& run_streams() {
  static RunStreams streams;
  return streams;
}

/// Sets the variables of a run's environment for as long as it lives.
class RunEnvironment {
 public:
  explicit RunEnvironment(const Settings& settings) {
    std::string path;
    for (const std::string& folder : settings.path) path += (path.empty() ? "" : ":") + folder;
    set("KUP_PATH", path);
    set("KUP_EXTRA_WARNINGS", settings.extra_warnings ? "1" : "");
    for (const auto& [name, value] : settings.environment) set(name, value);
  }
  ~RunEnvironment() {
    for (const std::string& name : names_) ::unsetenv(name.c_str());
  }
  RunEnvironment(const RunEnvironment&) = delete;
  RunEnvironment& operator=(const RunEnvironment&) = delete;

 private:
  void set(const std::string& name, const std::string& value) {
    if (value.empty()) return;
    ::setenv(name.c_str(), value.c_str(), 1);
    names_.push_back(name);
  }
  std::vector<std::string> names_;
};

}  // namespace

const std::vector<LineRecord>* RunResult::lines_of(std::string_view path) const {
  const auto found = lines.find(path);
  return found != lines.end() ? &found->second : nullptr;
}

std::string run_path(std::string_view path, std::string_view root) {
  const std::string base = std::string(root) + (root.empty() || root.back() != '/' ? "/" : "");
  if (path.substr(0, base.size()) == base && path.size() > base.size()) return std::string(path.substr(base.size()));
  return std::string(path);
}

void clear_kup_environment() {
  std::vector<std::string> names;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view entry = *variable;
    if (entry.substr(0, 4) == "KUP_") names.emplace_back(entry.substr(0, entry.find('=')));
  }
  for (const std::string& name : names) ::unsetenv(name.c_str());
}

void RunResult::clear() {
  document.clear();
  status = 0;
  for (auto& [path, records] : lines) records.clear();
  definitions.clear();
  uses.clear();
  seen.clear();
  faults.clear();
  output.clear();
  inputs.clear();
}

void run_document(const Document& document, const RunContext& context, RunResult& result) {
  result.clear();
  result.document = document.path;
  if (result.uses.capacity() == 0) result.uses.reserve(document.line_count() * 2);
  Recorder recorder(context, result);
  RunStreams& streams = run_streams();
  std::vector<std::string> args = {"kup"};
  const std::string relative = run_path(document.path, context.root);
  for (const std::string& argument : context.settings.arguments_for(relative)) args.push_back(argument);
  args.push_back(relative);
  std::vector<char*> argv;
  for (std::string& argument : args) argv.push_back(argument.data());
  argv.push_back(nullptr);
  {
    RunEnvironment environment(context.settings);
    set_output_fds(streams.out, streams.err);
    set_stdin_fd(streams.in);
    set_run_observer(&recorder);
    set_diagnostic_sink(collect_fault);
    run_faults = &result.faults;
    try {
      result.status = run_kup(static_cast<int>(args.size()), argv.data());
    } catch (const std::exception& failure) {
      result.status = 1;
      result.faults.push_back({true, std::string("the run failed: ") + failure.what(), {}});
    }
    run_faults = nullptr;
    set_diagnostic_sink(nullptr);
    set_run_observer(nullptr);
  }
  take_file(streams.out, result.output);
  // Messages, the trace and listings: not shown.
  if (::ftruncate(streams.err, 0) == 0) ::lseek(streams.err, 0, SEEK_SET);
  // The files this run did not read are no longer the run's.
  std::erase_if(result.lines, [](const auto& file) { return file.second.empty(); });
  result.inputs = recorder.opened_inputs();
  for (Fault& fault : result.faults)
    for (FaultLocation& location : fault.where) location.file = recorder.resolve(location.file);
  recorder.map_pieced_files();
}

}  // namespace kup::ls
