#include "process/subprocess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "common/text.hpp"
#include "common/utf8.hpp"

extern char** environ;

// Children are plain POSIX processes; a console window of their own has no meaning here.

namespace kelvo {
namespace {

using Fd = UniqueFd;

struct Pipe {
  Fd read;
  Fd write;
};

// A pipe end that landed on 0, 1 or 2 (our own standard streams were closed) would be
// overwritten by the child's dup2 of another end, so keep every end above them.
int lift_above_stdio(int fd) {
  if (fd > STDERR_FILENO) return fd;
  const int lifted = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  ::close(fd);
  return lifted;
}

std::optional<Pipe> make_pipe() {
  std::array<int, 2> ends{};
  if (::pipe2(ends.data(), O_CLOEXEC) != 0) return std::nullopt;
  Pipe pipe{Fd(lift_above_stdio(ends[0])), Fd(lift_above_stdio(ends[1]))};
  if (!pipe.read.open() || !pipe.write.open()) return std::nullopt;
  return pipe;
}

class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  posix_spawn_file_actions_t* get() { return &actions_; }

  // To our end of a pipe, else to `file` (created or truncated), else to the null device.
  void connect(int child_fd, const std::optional<Pipe>& pipe, bool child_reads) {
    if (pipe) {
      posix_spawn_file_actions_adddup2(&actions_, (child_reads ? pipe->read : pipe->write).get(),
                                       child_fd);
    } else {
      posix_spawn_file_actions_addopen(&actions_, child_fd, "/dev/null",
                                       child_reads ? O_RDONLY : O_WRONLY, 0);
    }
  }

 private:
  posix_spawn_file_actions_t actions_;
};

// Undoes ignore_sigpipe() in the child: ignored signals survive exec. With `own_group`, the
// child leads a new process group.
class SpawnAttributes {
 public:
  explicit SpawnAttributes(bool own_group) {
    posix_spawnattr_init(&attr_);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
    short flags = POSIX_SPAWN_SETSIGDEF;
    if (own_group) {
      flags |= POSIX_SPAWN_SETPGROUP;
      posix_spawnattr_setpgroup(&attr_, 0);
    }
    posix_spawnattr_setflags(&attr_, flags);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attr_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  const posix_spawnattr_t* get() const { return &attr_; }

 private:
  posix_spawnattr_t attr_;
};

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

struct Streams {
  std::optional<Pipe> in, out, err;
};

std::variant<pid_t, SpawnFailed> spawn(const ProcessRequest& request, const Streams& streams) {
  FileActions actions;
  actions.connect(STDIN_FILENO, streams.in, true);
  actions.connect(STDOUT_FILENO, streams.out, false);
  actions.connect(STDERR_FILENO, streams.err, false);
  const SpawnAttributes attr(request.own_process_group);

  std::vector<std::string> argv = request.argv;
  std::vector<char*> argv_pointers = pointers_to(argv);
  std::vector<std::string> env;
  std::vector<char*> env_pointers;
  char** envp = environ;
  if (!request.env_overrides.empty()) {
    env = environment_with(request.env_overrides);
    env_pointers = pointers_to(env);
    envp = env_pointers.data();
  }
  pid_t pid = 0;
  const int error =
      posix_spawnp(&pid, argv[0].c_str(), actions.get(), attr.get(), argv_pointers.data(), envp);
  if (error != 0) return SpawnFailed{error};
  return pid;
}

// A descriptor that becomes readable when the child ends, so one poll can wait for its output
// and its end together; none where the kernel has no pidfd_open.
Fd exit_watch(pid_t pid) { return Fd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))); }

// Tells the watcher once when the child outlives its grace.
class SlowChildAlarm {
 public:
  SlowChildAlarm(const std::optional<SlowChildWatch>& watch, pid_t pid)
      : watch_(watch), pid_(pid), deadline_(std::chrono::steady_clock::now()) {
    if (watch_) {
      deadline_ += watch_->after;
      exited_ = exit_watch(pid);
    }
  }

  bool pending() const { return watch_.has_value(); }
  // The poll timeout in ms: until the alarm, or for ever once it rang (or there is none).
  int timeout() const {
    if (!pending()) return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::int64_t>(0, left.count()));
  }
  void ring_when_due() {
    if (pending() && std::chrono::steady_clock::now() >= deadline_) {
      watch_->notice(pid_);
      disarm();
    }
  }
  void disarm() {
    watch_.reset();
    exited_.reset();
  }
  Fd& exited() { return exited_; }

 private:
  std::optional<SlowChildWatch> watch_;
  pid_t pid_;
  std::chrono::steady_clock::time_point deadline_;
  Fd exited_;
};

bool readable_now(int fd) {
  if (fd < 0) return false;
  pollfd watched{fd, POLLIN, 0};
  return ::poll(&watched, 1, 0) > 0;
}

// Moves bytes until the input is written (or refused) and both outputs reach end of file; with an
// alarm, also waits for the child's end, to tell when it outlives its grace. A readable
// `cancel` ends the wait at once through `on_cancel`, which kills the child.
void pump(Fd in, std::string_view input, Fd out, Fd err, ProcessResult& result,
          SlowChildAlarm& alarm, int cancel, const std::function<void()>& on_cancel) {
  if (in.open()) {
    ::fcntl(in.get(), F_SETFL, ::fcntl(in.get(), F_GETFL) | O_NONBLOCK);
    if (input.empty()) in.reset();
  }
  std::array<char, 65536> buffer{};
  const auto drain = [&](Fd& fd, std::string& text) {
    const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    if (n > 0) {
      text.append(buffer.data(), static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      fd.reset();
    }
  };
  const auto feed = [&] {
    const ssize_t n = ::write(in.get(), input.data(), input.size());
    if (n >= 0) {
      input.remove_prefix(static_cast<std::size_t>(n));
      if (input.empty()) in.reset();
    } else if (errno != EINTR && errno != EAGAIN) {
      in.reset();  // the child stopped reading; what it didn't take is dropped
    }
  };
  while (in.open() || out.open() || err.open() || alarm.exited().open()) {
    std::array<pollfd, 5> fds{};
    fds[0] = {in.get(), POLLOUT, 0};
    fds[1] = {out.get(), POLLIN, 0};
    fds[2] = {err.get(), POLLIN, 0};  // poll skips negative descriptors
    fds[3] = {alarm.exited().get(), POLLIN, 0};
    fds[4] = {cancel, POLLIN, 0};
    const int ready = ::poll(fds.data(), fds.size(), alarm.timeout());
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;  // the descriptors close on return, so the child can't block on us
    }
    if (fds[4].revents != 0) {
      on_cancel();
      result.cancelled = true;
      return;
    }
    alarm.ring_when_due();
    if (fds[0].revents != 0) feed();
    if (fds[1].revents != 0) drain(out, result.out);
    if (fds[2].revents != 0) drain(err, result.err);
    if (fds[3].revents != 0) alarm.disarm();  // the child has ended in time
  }
}

}  // namespace

std::vector<std::string> environment_with(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::vector<std::string> entries;
  const auto overridden = [&](std::string_view entry) {
    for (const auto& [name, value] : overrides) {
      if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
        return true;
      }
    }
    return false;
  };
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!overridden(*entry)) entries.emplace_back(*entry);
  }
  for (const auto& [name, value] : overrides) entries.push_back(name + "=" + value);
  return entries;
}

void UniqueFd::reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<ProcessStatus> wait_for_child(pid_t pid, bool block) {
  int status = 0;
  pid_t waited = 0;
  while ((waited = ::waitpid(pid, &status, block ? 0 : WNOHANG)) < 0) {
    if (errno != EINTR) return WaitFailed{errno};
  }
  if (waited == 0) return std::nullopt;  // still running
  if (WIFEXITED(status)) return Exited{WEXITSTATUS(status)};
  return Signaled{WTERMSIG(status)};
}

std::variant<PipedChild, SpawnFailed> start_piped_process(const ProcessRequest& request) {
  if (request.argv.empty()) return SpawnFailed{EINVAL};
  Streams streams;
  streams.in = make_pipe();
  if (!streams.in) return SpawnFailed{errno};
  streams.err = make_pipe();
  if (!streams.err) return SpawnFailed{errno};
  const auto spawned = spawn(request, streams);
  if (const auto* failed = std::get_if<SpawnFailed>(&spawned)) return *failed;
  PipedChild child{std::get<pid_t>(spawned), std::move(streams.in->write),
                   std::move(streams.err->read)};
  for (const int fd : {child.input.get(), child.error.get()}) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  return child;  // the child's ends close with `streams`
}

void signal_child_group(pid_t pid, int signal) {
  if (::kill(-pid, signal) != 0) ::kill(pid, signal);
}

void pump_piped_child(PipedChild& child, std::string& input, std::string& err, std::size_t keep) {
  while (child.input.open() && !input.empty()) {
    const ssize_t n = ::write(child.input.get(), input.data(), input.size());
    if (n >= 0) {
      input.erase(0, static_cast<std::size_t>(n));
    } else if (errno == EAGAIN) {
      break;
    } else if (errno != EINTR) {
      input.clear();  // the child stopped reading: the rest is of no use to it
    }
  }
  if (input.empty()) child.input.reset();  // end of file for the child
  // A child that is writing gets the rest of the budget to write more, so one that floods its
  // error output is read to its end within a few calls; a quiet one costs no wait at all.
  constexpr auto kReadFor = std::chrono::milliseconds(20);
  const auto until = std::chrono::steady_clock::now() + kReadFor;
  std::array<char, 65536> buffer{};
  bool writing = false;
  while (child.error.open() && std::chrono::steady_clock::now() < until) {
    const ssize_t n = ::read(child.error.get(), buffer.data(), buffer.size());
    if (n > 0) {
      writing = true;
      err.append(buffer.data(),
                 std::min(static_cast<std::size_t>(n), keep - std::min(keep, err.size())));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      child.error.reset();
    } else if (errno == EAGAIN) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      pollfd more{child.error.get(), POLLIN, 0};
      if (!writing || left.count() <= 0 || ::poll(&more, 1, static_cast<int>(left.count())) <= 0) {
        break;
      }
    }
  }
}

std::string first_error_line(std::string_view err) {
  const std::string text = decode_utf8_lossy(err);
  for (const std::string_view line : split_lines(text)) {
    if (!trim(line).empty()) return std::string(trim(line));
  }
  return {};
}

bool child_has_ended(pid_t pid) {
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno != EINTR) return true;  // not ours to wait for any more: as good as ended
  }
  return info.si_pid == pid;
}

bool exited_zero(const ProcessStatus& status) { return status == ProcessStatus{Exited{0}}; }

ProcessResult run_process(const ProcessRequest& request) {
  if (request.argv.empty()) return {SpawnFailed{EINVAL}, {}, {}};
  Streams streams;
  const auto open_pipe = [&](std::optional<Pipe>& slot) {
    slot = make_pipe();
    return slot.has_value();
  };
  if ((request.input && !open_pipe(streams.in)) ||
      (request.capture_output && (!open_pipe(streams.out) || !open_pipe(streams.err)))) {
    return {SpawnFailed{errno}, {}, {}};
  }
  if (readable_now(request.cancel_fd)) return {SpawnFailed{ECANCELED}, {}, {}, true};
  const auto spawned = spawn(request, streams);
  if (const auto* failed = std::get_if<SpawnFailed>(&spawned)) return {*failed, {}, {}};

  ProcessResult result{Exited{0}, {}, {}};
  const auto ours = [](std::optional<Pipe>& pipe, bool we_write) {
    if (!pipe) return Fd();
    return std::move(we_write ? pipe->write : pipe->read);
  };
  Fd in = ours(streams.in, true);
  Fd out = ours(streams.out, false);
  Fd err = ours(streams.err, false);
  streams = {};  // the child's ends must close here, or we never see end of file
  const pid_t pid = std::get<pid_t>(spawned);
  SlowChildAlarm alarm(request.slow_watch, pid);
  pump(std::move(in), request.input.value_or(""), std::move(out), std::move(err), result, alarm,
       request.cancel_fd, [&] {
         if (request.own_process_group) {
           signal_child_group(pid, SIGKILL);
         } else {
           ::kill(pid, SIGKILL);
         }
       });
  result.status = *wait_for_child(pid, true);
  return result;
}

void ignore_sigpipe() { ::signal(SIGPIPE, SIG_IGN); }

std::string describe_errno(int error) {
  const char* name = ::strerrorname_np(error);
  std::string text = name != nullptr ? name : "errno " + std::to_string(error);
  return text + " (" + ::strerror(error) + ")";
}

std::string describe_status(const ProcessStatus& status) {
  if (const auto* failed = std::get_if<SpawnFailed>(&status)) {
    return "spawn failed: " + describe_errno(failed->error);
  }
  if (const auto* exited = std::get_if<Exited>(&status)) {
    return "exit status " + std::to_string(exited->code);
  }
  if (const auto* lost = std::get_if<WaitFailed>(&status)) {
    return "wait failed: " + describe_errno(lost->error);
  }
  const int signal = std::get<Signaled>(status).signal;
  const char* abbrev = ::sigabbrev_np(signal);
  std::string text = "killed by signal " + std::to_string(signal);
  if (abbrev != nullptr) text += std::string(" (SIG") + abbrev + ")";
  return text;
}

}  // namespace kelvo
