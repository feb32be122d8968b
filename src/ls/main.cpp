// kup-ls: a language server on standard input and output that runs kup's
// engine on the text being edited.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "ls/framing.h"
#include "ls/server.h"

namespace {

/// The capacity asked for the pipe to the editor.
constexpr int kOutputPipeSize = 1 << 20;

/// True when bytes are waiting on `fd` (or it is closed).
bool input_waiting(int fd) {
  pollfd waiting{fd, POLLIN, 0};
  return ::poll(&waiting, 1, 0) > 0;
}

void print_usage() {
  const std::string text =
      "usage: kup-ls\n"
      "A language server for kup templates, speaking the Language Server Protocol\n"
      "on standard input and output; an editor starts it. See kup-ls(1).\n";
  kup::ls::write_all(1, text);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      print_usage();
      return 0;
    }
    if (argument == "--version") {
      kup::ls::write_all(1, "kup-ls 3.4.0\n");
      return 0;
    }
    // Editors pass --stdio for the transport this server always uses.
    if (argument != "--stdio") {
      kup::ls::write_all(2, "kup-ls: unknown argument '" + argument + "'\n");
      return 2;
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
  // A pipe to the editor that holds a whole notification of diagnostics
  // lets the server go back to reading at once (where the system allows).
  ::fcntl(1, F_SETPIPE_SZ, kOutputPipeSize);
  kup::ls::Server server([](std::string_view content) { kup::ls::write_message(1, content); });
  kup::ls::MessageReader reader;
  std::string content;
  char chunk[65536];
  while (!server.exiting()) {
    const kup::ls::FrameStatus status = reader.next(content);
    if (status == kup::ls::FrameStatus::Message) {
      server.handle_content(content);
      continue;
    }
    if (status == kup::ls::FrameStatus::BadHeader) {
      server.handle_bad_header();
      continue;
    }
    // Nothing more to handle for now: bring the runs up to date before
    // waiting for the next bytes.
    if (!input_waiting(0)) server.refresh();
    const ssize_t got = ::read(0, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 1;  // the editor went away without exit
    reader.feed(std::string_view(chunk, static_cast<std::size_t>(got)));
  }
  return server.exit_status();
}
