#include "host/child_process.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#  include <io.h>
#else
#  include <poll.h>
#  include <signal.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace host {

bool ChildRun::Finished() const {
  return started && !timed_out && !said_too_much && signal == 0 && exit_status == 0;
}

std::string ChildRun::Ending(const std::string& activity) const {
  if (said_too_much) {
    return "said more than " + std::to_string(kMaxChildSaid >> 20) +
           " MB through its pipe; it was stopped";
  }
  if (timed_out) {
    return "did not finish" + activity + " within " + std::to_string(deadline.count()) +
           " ms; it was stopped";
  }
  if (signal != 0) return "crashed with " + SignalName(signal);
  return "ended" + activity + " with exit status " + std::to_string(exit_status);
}

#if defined(_WIN32)

// No close-on-exec here: this build starts no other program (RunInChild).
constexpr const char* kNullDevice = "NUL";
constexpr int kCloseOnExec = 0;

ChildRun RunInChild(const ChildWork&, std::chrono::milliseconds deadline) {
  ChildRun run;
  run.deadline = deadline;
  run.failure = "no child processes on this system";
  return run;
}

std::string SignalName(int signal) { return "signal " + std::to_string(signal); }

#else

constexpr const char* kNullDevice = "/dev/null";
constexpr int kCloseOnExec = O_CLOEXEC;

namespace {

void WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

[[noreturn]] void RunChild(int fd, const ChildWork& work) {
  for (int deadly : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP}) signal(deadly, SIG_DFL);
  const int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    for (int standard = 0; standard <= 2; ++standard) dup2(null, standard);
    if (null > 2) close(null);
  }
  const int status = work([fd](const std::string& text) { WriteAll(fd, text); });
  close(fd);
  std::fflush(nullptr);
  // Not exit(): the parent's atexit handlers and static destructors are not
  // the child's to run.
  _exit(status);
}

}  // namespace

ChildRun RunInChild(const ChildWork& work, std::chrono::milliseconds deadline_after) {
  ChildRun run;
  run.deadline = deadline_after;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    run.failure = std::string("no pipe (") + std::strerror(errno) + ")";
    return run;
  }
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    run.failure = std::string("no child process (") + std::strerror(errno) + ")";
    close(fds[0]);
    close(fds[1]);
    return run;
  }
  if (child == 0) {
    close(fds[0]);
    RunChild(fds[1], work);
  }
  close(fds[1]);
  run.started = true;

  // Read until the child closes its end, the deadline passes or it says
  // too much.
  const auto deadline = std::chrono::steady_clock::now() + deadline_after;
  auto remaining_ms = [&] {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(left.count(), 1000)));
  };
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd reading{fds[0], POLLIN, 0};
    const int ready = poll(&reading, 1, remaining_ms());
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (run.said.size() + static_cast<size_t>(n) > kMaxChildSaid) {
      run.said_too_much = true;
      break;
    }
    run.said.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);

  // Collect it: one that closed its pipe has until the deadline to end;
  // one still running then, or that said too much, is killed.
  int status = 0;
  pid_t done = 0;
  while (!run.said_too_much && (done = waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    usleep(10000);
  }
  if (done == 0) {
    kill(child, SIGKILL);
    run.timed_out = !run.said_too_much;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  } else if (WIFSIGNALED(status)) {
    run.signal = WTERMSIG(status);
  } else if (WIFEXITED(status)) {
    run.exit_status = WEXITSTATUS(status);
  }
  return run;
}

std::string SignalName(int signal) {
  const char* abbreviation = sigabbrev_np(signal);
  const char* description = strsignal(signal);
  return (abbreviation != nullptr ? "SIG" + std::string(abbreviation)
                                  : "signal " + std::to_string(signal)) +
         (description != nullptr ? std::string(" (") + description + ")" : "");
}

#endif

void RunWithoutOutput(const std::function<void()>& work) {
  std::fflush(nullptr);
  const int saved[2] = {dup(1), dup(2)};
  const int null = open(kNullDevice, O_WRONLY | kCloseOnExec);
  if (null >= 0) {
    dup2(null, 1);
    dup2(null, 2);
    close(null);
  }
  work();
  std::fflush(nullptr);
  for (int standard = 1; standard <= 2; ++standard) {
    if (saved[standard - 1] >= 0) {
      dup2(saved[standard - 1], standard);
      close(saved[standard - 1]);
    }
  }
}

}  // namespace host
