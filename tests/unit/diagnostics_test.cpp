// Diagnostics as data: what a sink receives from whole runs, and the forms
// of a text without a prefix ("Stack error!"), which no input can provoke.
#include "driver/diagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/output.h"
#include "err_capture.h"
#include "expr/evaluator_state.h"
#include "expr/interpreter.h"

namespace kup {
namespace {

std::vector<Diagnostic> received;

void keep(const Diagnostic& d) { received.push_back(d); }

/// One diagnostic as a line: "error|message|file:line<file:line...".
std::string summary(const Diagnostic& d) {
  std::string text = (d.error ? "error|" : "warning|") + d.message + "|";
  for (std::size_t i = 0; i < d.where.size(); ++i)
    text += (i ? "<" : "") + d.where[i].file + ":" + std::to_string(d.where[i].line);
  return text;
}

/// Runs in a fresh folder holding the given files, with a sink that keeps
/// every diagnostic, standard error caught; removes the folder after.
class SinkRun : public ::testing::Test {
 protected:
  void SetUp() override {
    received.clear();
    old_dir_ = std::filesystem::current_path();
    char name[] = "/tmp/kup-diagnostics-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    std::filesystem::current_path(dir_);
    set_diagnostic_sink(keep);
  }
  void TearDown() override {
    set_diagnostic_sink(nullptr);
    unsetenv("KUP_FATAL_WARNINGS");
    unsetenv("KUP_DIAGNOSTICS");
    std::filesystem::current_path(old_dir_);
    std::filesystem::remove_all(dir_);
    reset_run_state();
  }
  static void file(const std::string& name, const std::string& text) { std::ofstream(name) << text; }

  /// Runs kup on `args`; returns the status and leaves standard error in `err`.
  int run(std::vector<std::string> args) {
    test_support::ErrCapture capture;
    std::vector<char*> argv;
    args.insert(args.begin(), "kup");
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::FILE* out = std::tmpfile();
    set_output_fds(fileno(out), output.err_fd);  // the capture's
    const int status = run_kup(static_cast<int>(args.size()), argv.data());
    err = capture.text();
    std::fclose(out);
    return status;
  }
  std::string err;

 private:
  std::filesystem::path old_dir_, dir_;
};

TEST_F(SinkRun, ReceivesEveryDiagnosticWithItsPlacesInsteadOfStandardError) {
  file("a.kup", "#define X 1\n#include 'b.kup'\n");
  file("b.kup", "\n#define X 2\n#tag Inner\n#fix12 Y 1\n#abort bad 'end'\n");
  // The sink takes the place of every form.
  setenv("KUP_DIAGNOSTICS", "gnu", 1);
  EXPECT_EQ(run({"a.kup"}), 1);
  EXPECT_EQ(err, "");
  const std::vector<std::string> expected = {
      "warning|macro <X> was already defined|b.kup:2<a.kup:2",
      "warning|precision of fix number = 12 reduced to 9'|Inner:4<a.kup:2",
      "error|bad end|Inner:5<a.kup:2"};
  std::vector<std::string> got;
  for (const Diagnostic& d : received) got.push_back(summary(d));
  EXPECT_EQ(got, expected);
}

TEST_F(SinkRun, SuppressedWarningsNeitherReachItNorCount) {
  file("a.kup", "#define X 1\n#define X 2\n#undef Z\n");
  setenv("KUP_FATAL_WARNINGS", "1", 1);
  EXPECT_EQ(run({"-q", "a.kup"}), 0);
  EXPECT_TRUE(received.empty());
  // Delivered to the sink, a warning counts as printed.
  EXPECT_EQ(run({"a.kup"}), 1);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(summary(received[1]), "warning|attempt to remove an undefined macro <Z>|a.kup:3");
}

TEST_F(SinkRun, CommandLineFaultsHaveNoPlaceAndTheSinkOutlastsRuns) {
  file("a.kup", "x\n");
  EXPECT_EQ(run({"-e", "echo.txt", "a.kup"}), 0);
  EXPECT_EQ(run({"a.kup", "-zz"}), 1);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(summary(received[0]), "warning|disabling echo mode as standard input is not processed|");
  EXPECT_EQ(summary(received[1]), "error|unrecognized option: -zz|");
  EXPECT_EQ(err, "");
}

/// What running code that does not fit the stack writes in `form`.
std::string stack_error_in(DiagnosticForm form) {
  reset_run_state();
  set_diagnostic_form(form);
  const std::string text = test_support::fault_text([] {
    evaluator.code_list.append(1);
    evaluator.code_list.append(2);
    evaluator.constant_pool.append(1);
    run_code();
  });
  reset_run_state();
  return text;
}

TEST(DiagnosticForms, TextWithoutPrefixIsAnErrorAsItStands) {
  EXPECT_EQ(stack_error_in(DiagnosticForm::Classic), "\n[Command Line]\nStack error!");
  EXPECT_EQ(stack_error_in(DiagnosticForm::Gnu), "kup: error: Stack error!\n");
  EXPECT_EQ(stack_error_in(DiagnosticForm::Json),
            "{\"severity\":\"error\",\"message\":\"Stack error!\",\"file\":null,\"line\":null,"
            "\"included_from\":[]}\n");
}

}  // namespace
}  // namespace kup
