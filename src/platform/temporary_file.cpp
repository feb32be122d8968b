// rand_s, Windows' source of random numbers, is declared only with this.
#define _CRT_RAND_S

#include "platform/temporary_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <random>

#ifdef _WIN32
#include <io.h>
#include <stdlib.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include "platform/platform.h"

namespace kup {

namespace {

/// How many names are drawn before giving up: a name is taken only when a
/// file of that name appeared after the draw, so more than one or two
/// failures mean something else is wrong.
constexpr int kNameDraws = 100;

constexpr char kNameLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

/// 64 random bits from the system's source of random numbers; should it
/// fail, from the clock, the process identifier and a counter, mixed.
std::uint64_t random_bits() {
  static std::uint64_t draws = 0;
  std::uint64_t bits = 0;
#ifdef _WIN32
  unsigned int low = 0, high = 0;
  if (::rand_s(&low) == 0 && ::rand_s(&high) == 0) return (std::uint64_t{high} << 32) | low;
#else
  try {
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
  } catch (...) {
  }
#endif
  bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  bits ^= static_cast<std::uint64_t>(process_id()) << 40 ^ ++draws * 0x9E3779B97F4A7C15u;
  bits ^= bits >> 31;
  bits *= 0xBF58476D1CE4E5B9u;
  return bits ^ (bits >> 29);
}

/// `path`, a dot, twelve random letters and digits, ".tmp".
std::string random_name(const std::string& path) {
  std::string name = path;
  name += '.';
  std::uint64_t bits = random_bits();
  for (int i = 0; i < 12; ++i) {
    if (i == 6) bits = random_bits();  // six letters use 36 of the 64 bits
    name += kNameLetters[bits % (sizeof kNameLetters - 1)];
    bits /= sizeof kNameLetters - 1;
  }
  name += ".tmp";
  return name;
}

/// Creates `name`, which must not exist as anything, not even a link.
int create_exclusively(const std::string& name) {
#ifdef _WIN32
  return ::_open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
  return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
}

std::FILE* stream_of(int fd) {
#ifdef _WIN32
  return ::_fdopen(fd, "wb");
#else
  return ::fdopen(fd, "w");
#endif
}

/// A temporary file the signal handler removes: its name while it exists
/// (null otherwise) and its descriptor. Atomic, lock-free, so that the
/// handler sees either the whole value or none of it.
struct GuardedFile {
  std::atomic<const char*> name{nullptr};
  std::atomic<int> fd{-1};
};

GuardedFile guarded[2];

#ifdef _WIN32
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGBREAK};
using SavedHandler = void (*)(int);
#else
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
using SavedHandler = struct sigaction;
#endif
constexpr int kSignalCount = sizeof kCleanupSignals / sizeof kCleanupSignals[0];

/// The handlers found when ours were installed, and which ones were
/// replaced (an ignored signal is left alone).
struct SignalState {
  bool installed = false;
  bool replaced[kSignalCount] = {};
  SavedHandler previous[kSignalCount] = {};
};

SignalState signals;

/// Removes every guarded file and dies of `signal`: only calls that are
/// safe in a signal handler, on names prepared beforehand.
void remove_and_die(int signal) {
  for (GuardedFile& file : guarded) {
    const char* name = file.name.load();
    if (name == nullptr) continue;
#ifdef _WIN32
    const int fd = file.fd.exchange(-1);
    if (fd >= 0) ::_close(fd);  // an open file cannot be removed there
    ::_unlink(name);
#else
    ::unlink(name);
#endif
  }
#ifdef _WIN32
  std::signal(signal, SIG_DFL);
#endif
  // The handler was reset to the default on entry (SA_RESETHAND) and the
  // signal is blocked until the handler returns: it is delivered then.
  std::raise(signal);
}

void install_handlers() {
  for (int i = 0; i < kSignalCount; ++i) {
#ifdef _WIN32
    const SavedHandler previous = std::signal(kCleanupSignals[i], remove_and_die);
    signals.replaced[i] = previous != SIG_ERR && previous != SIG_IGN;
    if (previous == SIG_IGN) std::signal(kCleanupSignals[i], SIG_IGN);
    signals.previous[i] = previous;
#else
    struct sigaction action = {};
    action.sa_handler = remove_and_die;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
    signals.replaced[i] = false;
    if (::sigaction(kCleanupSignals[i], nullptr, &signals.previous[i]) != 0) continue;
    if (signals.previous[i].sa_handler == SIG_IGN) continue;
    signals.replaced[i] = ::sigaction(kCleanupSignals[i], &action, nullptr) == 0;
#endif
  }
  signals.installed = true;
}

void restore_handlers() {
  for (int i = 0; i < kSignalCount; ++i) {
    if (!signals.replaced[i]) continue;
#ifdef _WIN32
    std::signal(kCleanupSignals[i], signals.previous[i]);
#else
    ::sigaction(kCleanupSignals[i], &signals.previous[i], nullptr);
#endif
  }
  signals = SignalState{};
}

}  // namespace

std::FILE* create_temporary_file(const std::string& path, std::string& name) {
  name.clear();
  if (path.find('\0') != std::string::npos) return nullptr;
  for (int draw = 0; draw < kNameDraws; ++draw) {
    std::string candidate = random_name(path);
    const int fd = create_exclusively(candidate);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    std::FILE* file = stream_of(fd);
    if (file == nullptr) {
      close_descriptor(fd);
      std::remove(candidate.c_str());
      return nullptr;
    }
    name = std::move(candidate);
    return file;
  }
  return nullptr;
}

void guard_temporary_file(TemporarySlot slot, const char* name, int fd) {
  GuardedFile& file = guarded[static_cast<int>(slot)];
  file.fd.store(fd);
  file.name.store(name);
  if (!signals.installed) install_handlers();
}

bool finish_temporary_file(TemporarySlot slot, std::FILE* file, const std::string& name, const std::string& path,
                           bool keep) {
  GuardedFile& guard = guarded[static_cast<int>(slot)];
  guard.fd.store(-1);  // from now on the descriptor may belong to another file
  const bool written = std::fclose(file) == 0 && keep;
  const bool kept = written && replace_file(name.c_str(), path.c_str());
  if (!kept) std::remove(name.c_str());
  guard.name.store(nullptr);
  bool last = true;
  for (const GuardedFile& other : guarded) last = last && other.name.load() == nullptr;
  if (last && signals.installed) restore_handlers();
  return kept || !keep;
}

}  // namespace kup
