// KUP_OUTPUT in runs made one after another in one process, as tests and
// fuzzers make them: each replaces the file or leaves it, gives standard
// output back, and leaves the signal handlers as it found them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/driver.h"
#include "driver/output.h"
#include "platform/temporary_file.h"

namespace kup {
namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

bool handled_as(int signal, void (*handler)(int)) {
  struct sigaction action = {};
  return ::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == handler;
}

/// A fresh folder, removed with what it holds at the end of the test.
class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kup-output-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    ::unsetenv("KUP_OUTPUT");
    std::filesystem::remove_all(folder_);
  }
  std::string folder_;
};

int run(const char* a, const char* b, const char* c, const char* d) {
  char* argv[] = {const_cast<char*>("kup"), const_cast<char*>(a), const_cast<char*>(b), const_cast<char*>(c),
                  const_cast<char*>(d), nullptr};
  return run_kup(5, argv);
}

TEST_F(OutputFileTest, RunsOneAfterAnother) {
  const std::string input = folder_ + "/in.txt", out = folder_ + "/out.txt";
  write_file(input, "X\n");
  ASSERT_EQ(::setenv("KUP_OUTPUT", out.c_str(), 1), 0);
  std::FILE* standard = std::tmpfile();
  std::FILE* errors = std::tmpfile();
  set_output_fds(fileno(standard), fileno(errors));
  void (*const hangup)(int) = std::signal(SIGHUP, SIG_IGN);

  for (const char* value : {"one", "two", "three"}) {
    EXPECT_EQ(run("-d", "X", value, input.c_str()), 0);
    EXPECT_EQ(read_file(out), std::string(value) + "\n");
  }
  EXPECT_EQ(run("-d", "X", "four", (folder_ + "/missing.txt").c_str()), 1);
  EXPECT_EQ(read_file(out), "three\n");

  EXPECT_EQ(output.out_fd, fileno(standard));
  EXPECT_EQ(std::ftell(standard), 0) << "standard output received the output";
  EXPECT_TRUE(handled_as(SIGTERM, SIG_DFL));
  EXPECT_TRUE(handled_as(SIGHUP, SIG_IGN));
  std::signal(SIGHUP, hangup);
  set_output_fds(1, 2);
  std::fclose(standard);
  std::fclose(errors);
  // Nothing is left beside the file but the input.
  const auto entries = std::distance(std::filesystem::directory_iterator(folder_), {});
  EXPECT_EQ(entries, 2);
}

TEST_F(OutputFileTest, TemporaryNamesAreFreshAndBesideTheFile) {
  const std::string path = folder_ + "/f";
  std::string first, second;
  std::FILE* a = create_temporary_file(path, first);
  std::FILE* b = create_temporary_file(path, second);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.size(), path.size() + 1 + 12 + 4);
  EXPECT_EQ(first.compare(0, path.size() + 1, path + "."), 0);
  EXPECT_TRUE(finish_temporary_file(TemporarySlot::Output, a, first, path, true));
  EXPECT_TRUE(finish_temporary_file(TemporarySlot::Output, b, second, path, false));
  EXPECT_EQ(::access(first.c_str(), F_OK), -1);
  EXPECT_EQ(::access(second.c_str(), F_OK), -1);
  EXPECT_EQ(::access(path.c_str(), F_OK), 0);
}

}  // namespace
}  // namespace kup
