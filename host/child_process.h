// Work that may crash or hang, run in a child process: the one runner of
// the host's trial runs (host/trial.h) and gauge-check's running checks. The
// child does the work with its standard input, output and error on
// /dev/null and says what it has to say through a pipe; the parent reads
// that until the child ends or its deadline passes, and kills and reaps the
// child on every path, so a module that crashes or hangs becomes a report,
// never a dead or stuck program, and leaves no process behind.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace host {

// Whether this system has child processes to run work in. Windows has no
// fork: there the callers decide what to do instead (the trials refuse
// every file; gauge-check runs its checks in its own process through
// RunWithoutOutput).
#if defined(_WIN32)
inline constexpr bool kChildProcesses = false;
#else
inline constexpr bool kChildProcesses = true;
#endif

// The deadlines, one for each kind of work: a caller names the work it
// runs, it does not pick a number. A child past its deadline is hung, not
// slow: each is generous for a loaded machine or a sanitizer build.
//
// A trial run: a module or sound library loaded, one gauge created,
// updated, drawn and killed, the file unloaded.
inline constexpr std::chrono::milliseconds kTrialDeadline{30000};
// gauge-check's running checks: a module loaded twice, driven through
// hundreds of updates and draws and every mouse area.
inline constexpr std::chrono::milliseconds kCheckDeadline{300000};

// More than this through the pipe and the child is stopped: no work of
// ours says a fraction of it, so a child that does is not going to end.
inline constexpr size_t kMaxChildSaid = size_t{64} << 20;

// In the child: writes `text` to the parent, whole.
using ChildSay = std::function<void(const std::string& text)>;
// Runs in the child; returns its exit status.
using ChildWork = std::function<int(const ChildSay& say)>;

// How a child ran. Exactly one of: not started; killed at the deadline
// (`timed_out`); killed for saying too much (`said_too_much`); ended by a
// signal (`signal`); exited (`exit_status`).
struct ChildRun {
  bool started = false;
  std::string failure;  // when not started: "no pipe (...)", "no child process (...)"
  std::string said;     // everything the child said, whole or not
  bool timed_out = false;
  bool said_too_much = false;
  int signal = 0;         // the signal that ended it (not one the runner sent)
  int exit_status = -1;   // when it exited by itself
  std::chrono::milliseconds deadline{0};

  // Exited by itself with status 0.
  bool Finished() const;
  // How a child that did not finish ended, in the words every program uses:
  // "crashed with SIGSEGV (Segmentation fault)", "did not finish within
  // 30000 ms; it was stopped", "ended with exit status 1". `activity`, as
  // " a trial run", goes after "did not finish" and "ended".
  std::string Ending(const std::string& activity = "") const;
};

// Runs `work` in a forked child with the deadly signals at their default
// (a crash ends the child by its signal, whatever handlers this process
// installed) and collects it. Where kChildProcesses is false, returns not
// started. What this process buffered for its standard streams is written
// before the fork, so the child cannot write it again.
ChildRun RunInChild(const ChildWork& work, std::chrono::milliseconds deadline);

// Runs `work` in this process with its standard output and error on the
// null device, put back after: what a module prints never mixes with what
// we print. For where there are no child processes.
void RunWithoutOutput(const std::function<void()>& work);

// "SIGSEGV (Segmentation fault)", or "signal N" where the system has no name.
std::string SignalName(int signal);

}  // namespace host
