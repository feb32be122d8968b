// Drives whole in-process runs with arbitrary bytes: first as the input
// file, expanded with the class masks built in every way of classifying
// the machine has (KUP_SIMD) and once a character at a time, which must
// all write the same; then as standard input with -s. State is reset by
// every run.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/driver.h"
#include "driver/output.h"
#include "input/input_stack.h"
#include "macros/class_masks.h"
#include "macros/expansion.h"

namespace {

int null_fd = -1;
std::string work_dir;
/// Memory files that take standard output and standard error of a run.
int out_file = -1;
int err_file = -1;

/// A descriptor holding `data`, positioned at its start.
int memory_file(const uint8_t* data, size_t size) {
  int fd = memfd_create("kup-fuzz-stdin", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

/// What a memory file holds; it is emptied for the next run.
std::string take(int fd) {
  std::string text;
  char block[65536];
  lseek(fd, 0, SEEK_SET);
  for (;;) {
    ssize_t n = read(fd, block, sizeof block);
    if (n < 0) std::abort();
    if (n == 0) break;
    text.append(block, static_cast<size_t>(n));
  }
  if (ftruncate(fd, 0) != 0) std::abort();
  lseek(fd, 0, SEEK_SET);
  return text;
}

void run(std::initializer_list<const char*> arguments) {
  std::string storage[8];
  char* argv[8];
  int argc = 0;
  for (const char* a : arguments) {
    storage[argc] = a;
    argv[argc] = storage[argc].data();
    ++argc;
  }
  argv[argc] = nullptr;
  kup::run_kup(argc, argv);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  char pattern[] = "/tmp/kup-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) std::abort();
  work_dir = pattern;
  kup::set_output_fds(null_fd, null_fd);
  out_file = memfd_create("kup-fuzz-out", MFD_CLOEXEC);
  err_file = memfd_create("kup-fuzz-err", MFD_CLOEXEC);
  if (out_file < 0 || err_file < 0) std::abort();
  // The same date in every run, so that two runs can be compared.
  setenv("SOURCE_DATE_EPOCH", "0", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input as a file named on the command line, standard input empty.
  int file = open("in.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (file < 0) std::abort();
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(file, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  close(file);
  kup::set_stdin_fd(null_fd);
  kup::set_output_fds(out_file, err_file);
  run({"kup", "-l", "in.txt"});
  const std::string masked_out = take(out_file);
  const std::string masked_err = take(err_file);
  for (kup::SimdWay way : kup::kSimdWays) {
    if (!kup::simd_way_available(way)) continue;
    setenv("KUP_SIMD", std::string(kup::simd_way_name(way)).c_str(), 1);
    run({"kup", "-l", "in.txt"});
    if (take(out_file) != masked_out || take(err_file) != masked_err) std::abort();
  }
  unsetenv("KUP_SIMD");
  kup::use_class_masks(false);
  run({"kup", "-l", "in.txt"});
  kup::use_class_masks(true);
  if (take(out_file) != masked_out || take(err_file) != masked_err) std::abort();
  kup::set_output_fds(null_fd, null_fd);

  // The same bytes as standard input, with an echo file.
  int input = memory_file(data, size);
  kup::set_stdin_fd(input);
  unlink("echo.txt");
  run({"kup", "-s", "-e", "echo.txt"});
  close(input);
  kup::set_stdin_fd(0);
  return 0;
}
