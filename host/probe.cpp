#include "host/probe.h"

#include <functional>

#include "host/host.h"

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <poll.h>
#  include <signal.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <cerrno>
#  include <cstring>
#  include <sstream>
#endif

namespace host {
namespace {

// A trial's work, done in the child: it names each step as it begins it
// (`stage`), and returns "" when all finished or the host core's refusal.
using Stage = std::function<void(const char* stage)>;
using Trial = std::function<std::string(const Stage& stage)>;

#if defined(_WIN32)

bool TryInChild(const char* what, const std::filesystem::path& path, std::chrono::milliseconds,
                const Trial&, ProbeReport* report) {
  *report = ProbeReport{};
  report->message = std::string("cannot try ") + what + " " + path.string() +
                    " in a child process here: that needs a POSIX system";
  return false;
}

#else

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

[[noreturn]] void RunChild(int fd, const Trial& trial) {
  // A crash ends the child by its signal, for the parent to name, whatever
  // handlers the parent had installed.
  for (int deadly : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP}) signal(deadly, SIG_DFL);
  const std::string error =
      trial([fd](const char* stage) { Say(fd, std::string("stage ") + stage); });
  if (!error.empty()) {
    Say(fd, "error " + error);
    _exit(1);
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

// Runs `trial` in a forked child and reports how it ended: finished, refused
// by the host core, ended by a signal, or killed at the deadline. `what`
// ("gauge module") and `path` name the file in the messages.
bool TryInChild(const char* what, const std::filesystem::path& path,
                std::chrono::milliseconds deadline_after, const Trial& trial,
                ProbeReport* report) {
  *report = ProbeReport{};
  const std::string where = std::string(what) + " " + path.string();
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
    RunChild(fds[1], trial);
  }
  close(fds[1]);

  // Read the child's lines until it closes its end or the deadline passes,
  // then collect it (killed if still running at the deadline).
  const auto deadline = std::chrono::steady_clock::now() + deadline_after;
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
                      std::to_string(deadline_after.count()) + " ms; it was stopped";
  } else if (WIFSIGNALED(status)) {
    report->signal = WTERMSIG(status);
    report->message = where + " crashed with " + SignalName(report->signal) + during +
                      " in a trial run in a child process: the file is damaged or not a "
                      "working " + what;
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

#endif

}  // namespace

bool ProbeModule(const std::filesystem::path& path, ProbeReport* report,
                 const ProbeOptions& options) {
  return TryInChild("gauge module", path, options.deadline, [&](const Stage& stage) {
    Host host;
    std::string error;
    stage("loading the module");
    Module* module = host.LoadModule(path, options.gauge, &error);
    if (module == nullptr) return error;
    stage("creating a gauge");
    Gauge* created = host.CreateGauge(*module);
    stage("updating");
    created->Update();
    stage("drawing");
    created->Draw();
    stage("killing the gauge");
    host.DestroyGauge(created);
    stage("unloading");
    host.UnloadModule(module);
    return std::string();
  }, report);
}

bool ProbeSoundLibrary(const std::filesystem::path& path, const std::filesystem::path& sound_root,
                       ProbeReport* report, std::chrono::milliseconds deadline) {
  return TryInChild("sound library", path, deadline, [&](const Stage& stage) {
    std::string error;
    {
      Host host;
      stage("loading the library");
      if (!host.LoadSoundLibrary(path, &error)) return error;
      stage("setting its sound folder");
      host.SetSoundRoot(sound_root);
      stage("unloading");  // the host's end gives the library back
    }
    return std::string();
  }, report);
}

}  // namespace host
