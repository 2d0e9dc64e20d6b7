// Trial runs in a child process. The checks before loading
// (formats/elf_check.h) catch a file cut short or a damaged header, but a
// library that passes them is still native code: its relocations, its
// initialisers and, for a gauge module, its gauge callbacks can crash or
// hang the process that loads it. A program that loads a module or a sound
// library it did not build (the bench with --gauges DIR or --sound-library
// FILE, a checking tool) first tries it here: a child does with it what the
// program will do, step by step, and ends (host/child_process.h runs it). A
// crash or a hang then becomes a report instead of a dead program.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "host/child_process.h"

namespace host {

// False where there is no child process to try a file in (Windows); the
// trials below then refuse every file, saying so.
inline constexpr bool kTrialsInChild = kChildProcesses;

// A trial's deadline is kTrialDeadline (host/child_process.h), the runner's
// for this kind of work: past it the child is killed and reported as hung.

struct TrialOptions {
  // The gauge the module must hold (empty: whichever it holds).
  std::string gauge;
  std::chrono::milliseconds deadline = kTrialDeadline;
};

struct TrialReport {
  bool ok = false;
  // The last step the child began: "loading the module", "creating a
  // gauge", "updating", "drawing", "killing the gauge", "unloading" (a
  // module); "loading the library", "setting its sound folder", "unloading"
  // (a sound library).
  std::string stage;
  // On failure, one line: the host core's refusal, the signal that ended the
  // child (with the stage), or the deadline it missed.
  std::string message;
  int signal = 0;          // the signal that ended the child, or 0
  bool timed_out = false;  // killed at the deadline
};

// Tries the gauge module at `path` in a child process: the child loads it
// through the host core, creates a gauge, updates and draws it, kills it and
// unloads the module. True if every step finished.
bool TrialModule(const std::filesystem::path& path, TrialReport* report,
                 const TrialOptions& options = {});

// Tries the sound library at `path` in a child process: the child loads it
// through the host core (Host::LoadSoundLibrary: its checks, the system's
// loader and its initialisers, its entry points), gives it `sound_root` as
// Host::SetSoundRoot does, and unloads it. True if every step finished.
bool TrialSoundLibrary(const std::filesystem::path& path, const std::filesystem::path& sound_root,
                       TrialReport* report,
                       std::chrono::milliseconds deadline = kTrialDeadline);

}  // namespace host
