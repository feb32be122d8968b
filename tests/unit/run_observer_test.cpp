// The observer of in-process runs: every line reported with its level and
// modes, each definition where it is made, and inputs supplied from memory.
#include "driver/run_observer.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/output.h"
#include "input/input_stack.h"

namespace kup {
namespace {

/// Supplies the texts of `files` from memory and notes what it is told.
class Recorder : public RunObserver {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> lines;        ///< "file:line" and "skipped" or "read"
  std::vector<std::string> definitions;  ///< "name@file:line"

  /// Evaluation Mode as the previous line left it.
  bool evaluation_before = true;

  /// A line is left unprocessed when Skip Mode holds before and after it,
  /// or Evaluation Mode is off before and after it: the lines that open
  /// and close a block are processed.
  void line_handled(const InputLevel& level) override {
    const bool skipped = (modes.skip && modes.pending_skip) || (!evaluation_before && !modes.evaluation);
    evaluation_before = modes.evaluation;
    lines.push_back(level.file_name + ":" + std::to_string(level.line_count) +
                    (skipped ? " skipped" : " read"));
  }
  void macro_defined(std::string_view name) override {
    if (inputs.file_level < 0 || startup.command_line_phase) return;
    definitions.push_back(std::string(name) + "@" + top_level().file_name + ":" +
                          std::to_string(top_level().line_count));
  }
  int open_input(std::string_view path) override {
    const auto found = files.find(std::string(path));
    if (found == files.end()) return -1;
    const int fd = memfd_create("input", MFD_CLOEXEC);
    if (fd < 0 || write(fd, found->second.data(), found->second.size()) !=
                      static_cast<ssize_t>(found->second.size()))
      return -1;
    lseek(fd, 0, SEEK_SET);
    return fd;
  }
};

/// Runs kup on `args` with `observer` set; returns standard output.
std::string run_observed(Recorder& observer, std::vector<std::string> args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  set_output_fds(fileno(out), fileno(err));
  set_run_observer(&observer);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  run_kup(static_cast<int>(args.size()), argv.data());
  set_run_observer(nullptr);
  set_output_fds(1, 2);
  std::string text;
  std::rewind(out);
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  std::fclose(out);
  std::fclose(err);
  return text;
}

TEST(RunObserver, ToldOfEveryLineAndDefinitionOfSuppliedInputs) {
  Recorder observer;
  // Names no file on disk: both texts come from memory.
  observer.files["no-such-dir/doc.kup"] =
      "#define A 1\nA a\nA b\n#if 0\nskipped\n#define C 3\n#endif\n#include 'no-such-dir/inc.kup'\nB\n#skip\nhidden\n#skip\n";
  observer.files["no-such-dir/inc.kup"] = "#define B 2\n";
  const std::string out = run_observed(observer, {"kup", "-d", "D", "4", "no-such-dir/doc.kup"});
  EXPECT_EQ(out, "1 a\n1 b\n2\n");
  const std::vector<std::string> lines = {
      "no-such-dir/doc.kup:1 read",    "no-such-dir/doc.kup:2 read",    "no-such-dir/doc.kup:3 read",
      "no-such-dir/doc.kup:4 read",    "no-such-dir/doc.kup:5 skipped", "no-such-dir/doc.kup:6 skipped",
      "no-such-dir/doc.kup:7 read",    "no-such-dir/doc.kup:8 read",    "no-such-dir/inc.kup:1 read",
      "no-such-dir/doc.kup:9 read",    "no-such-dir/doc.kup:10 read",   "no-such-dir/doc.kup:11 skipped",
      "no-such-dir/doc.kup:12 read"};
  EXPECT_EQ(observer.lines, lines);
  // $F and $T follow the top level at line 0; D, and $F and $T of the
  // first input, were defined on the command line.
  const std::vector<std::string> definitions = {"A@no-such-dir/doc.kup:1",  "$F@no-such-dir/inc.kup:0",
                                                "$T@no-such-dir/inc.kup:0", "B@no-such-dir/inc.kup:1",
                                                "$F@no-such-dir/doc.kup:8", "$T@no-such-dir/doc.kup:8"};
  EXPECT_EQ(observer.definitions, definitions);
}

TEST(RunObserver, InputsNotSuppliedOpenFromDisk) {
  Recorder observer;
  char path[] = "/tmp/kup-observer-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "X\n", 2), 2);
  close(fd);
  observer.files["main.kup"] = std::string("#define X disk\n#include '") + path + "'\n";
  EXPECT_EQ(run_observed(observer, {"kup", "main.kup"}), "disk\n");
  unlink(path);
}

}  // namespace
}  // namespace kup
