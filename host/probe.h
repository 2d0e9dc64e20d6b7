// A trial run of a gauge module in a child process. The checks before
// loading (host/elf_check.h) catch a file cut short or a damaged header, but
// a module that passes them is still native code: its relocations, its
// initialisers and its gauge callbacks can crash or hang the process that
// loads it. A program that loads module files it did not build (the bench
// with --gauges DIR, a checking tool) first tries each one here: a child
// loads it through the host core, creates a gauge, updates and draws it,
// kills it and unloads the module. A crash or a hang then becomes a report
// instead of a dead program.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace host {

struct ProbeOptions {
  // The gauge the module must hold (empty: whichever it holds).
  std::string gauge;
  // A child that has not finished by then is killed and reported as hung.
  // Generous: a loaded machine or a sanitizer build is slow.
  std::chrono::milliseconds deadline{30000};
};

struct ProbeReport {
  bool ok = false;
  // The last step the child began: "loading the module", "creating a
  // gauge", "updating", "drawing", "killing the gauge", "unloading".
  std::string stage;
  // On failure, one line: the host core's refusal, the signal that ended the
  // child (with the stage), or the deadline it missed.
  std::string message;
  int signal = 0;          // the signal that ended the child, or 0
  bool timed_out = false;  // killed at the deadline
};

// Tries the module at `path` in a child process; true if every step
// finished. Elsewhere than on POSIX systems there is no child to use: false,
// with the message saying so.
bool ProbeModule(const std::filesystem::path& path, ProbeReport* report,
                 const ProbeOptions& options = {});

}  // namespace host
