// Drives whole in-process runs with arbitrary bytes: first as the input
// file, then as standard input with -s. State is reset by every run.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/driver.h"
#include "driver/output.h"
#include "input/input_stack.h"

namespace {

int null_fd = -1;
std::string work_dir;

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
  run({"kup", "-l", "in.txt"});

  // The same bytes as standard input, with an echo file.
  int input = memory_file(data, size);
  kup::set_stdin_fd(input);
  unlink("echo.txt");
  run({"kup", "-s", "-e", "echo.txt"});
  close(input);
  kup::set_stdin_fd(0);
  return 0;
}
