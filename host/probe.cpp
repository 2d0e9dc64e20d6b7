#include "host/probe.h"

#if defined(_WIN32)

namespace host {

bool ProbeModule(const std::filesystem::path& path, ProbeReport* report, const ProbeOptions&) {
  *report = ProbeReport{};
  report->message = "cannot try " + path.string() +
                    " in a child process here: that needs a POSIX system";
  return false;
}

}  // namespace host

#else

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "host/host.h"

namespace host {
namespace {

// The child's side: one line per step ("stage ..."), then "ok" or
// "error ..." (a refusal by the host core).
void Say(int fd, const std::string& line) {
  const std::string text = line + "\n";
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

[[noreturn]] void RunChild(int fd, const std::filesystem::path& path, const std::string& gauge) {
  // A crash ends the child by its signal, for the parent to name, whatever
  // handlers the parent had installed.
  for (int deadly : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP}) signal(deadly, SIG_DFL);
  {
    Host host;
    std::string error;
    Say(fd, "stage loading the module");
    Module* module = host.LoadModule(path, gauge, &error);
    if (module == nullptr) {
      Say(fd, "error " + error);
      _exit(1);
    }
    Say(fd, "stage creating a gauge");
    Gauge* created = host.CreateGauge(*module);
    Say(fd, "stage updating");
    created->Update();
    Say(fd, "stage drawing");
    created->Draw();
    Say(fd, "stage killing the gauge");
    host.DestroyGauge(created);
    Say(fd, "stage unloading");
    host.UnloadModule(module);
  }
  Say(fd, "ok");
  _exit(0);
}

std::string SignalName(int signal) {
  const char* abbreviation = sigabbrev_np(signal);
  const char* description = strsignal(signal);
  return (abbreviation != nullptr ? "SIG" + std::string(abbreviation)
                                  : "signal " + std::to_string(signal)) +
         (description != nullptr ? std::string(" (") + description + ")" : "");
}

}  // namespace

bool ProbeModule(const std::filesystem::path& path, ProbeReport* report,
                 const ProbeOptions& options) {
  *report = ProbeReport{};
  const std::string where = "gauge module " + path.string();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    report->message = "cannot try " + where + ": no pipe (" + std::strerror(errno) + ")";
    return false;
  }
  const pid_t child = fork();
  if (child < 0) {
    report->message = "cannot try " + where + ": no child process (" + std::strerror(errno) + ")";
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    close(fds[0]);
    RunChild(fds[1], path, options.gauge);
  }
  close(fds[1]);

  // Read the child's lines until it closes its end or the deadline passes,
  // then collect it (killed if still running at the deadline).
  const auto deadline = std::chrono::steady_clock::now() + options.deadline;
  auto remaining_ms = [&] {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(left.count(), 1000)));
  };
  std::string said;
  bool open = true;
  while (open && std::chrono::steady_clock::now() < deadline) {
    pollfd reading{fds[0], POLLIN, 0};
    const int ready = poll(&reading, 1, remaining_ms());
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      open = false;
    } else if (said.size() < 65536) {
      said.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fds[0]);
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    usleep(10000);
  }
  if (done == 0) {
    kill(child, SIGKILL);
    report->timed_out = true;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }

  std::string error;
  bool finished = false;
  std::istringstream lines(said);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("stage ", 0) == 0) report->stage = line.substr(6);
    if (line.rfind("error ", 0) == 0) error = line.substr(6);
    if (line == "ok") finished = true;
  }
  const std::string during = report->stage.empty() ? "" : " while " + report->stage;
  if (report->timed_out) {
    report->message = where + " did not finish a trial run" + during + " within " +
                      std::to_string(options.deadline.count()) + " ms; it was stopped";
  } else if (WIFSIGNALED(status)) {
    report->signal = WTERMSIG(status);
    report->message = where + " crashed with " + SignalName(report->signal) + during +
                      " in a trial run in a child process: the file is damaged or not a "
                      "working gauge module";
  } else if (!error.empty()) {
    report->message = error;
  } else if (!finished || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    report->message = where + " ended a trial run with exit status " +
                      std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + during;
  } else {
    report->ok = true;
  }
  return report->ok;
}

}  // namespace host

#endif
