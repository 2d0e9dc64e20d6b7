// Runs a program of ours, or a tool, as a child through the shell and keeps
// what it printed: the tests that judge a program by its exit code and its
// words (panel-bench's command line, gauge-check's) and those that read a
// tool's output.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct Outcome {
  int code = -1;       // the exit code, or 128 + the signal that ended it
  std::string output;  // what reached the pipe
};

// `command` run by /bin/sh, its standard output read to the end.
Outcome RunShell(const std::string& command);

struct ProgramRun {
  std::vector<std::string> env = {};  // "NAME=value" added to the program's environment
  std::string before = {};            // shell words run first (limits, traps)
  const char* stdout_to = nullptr;    // where standard output goes instead of the pipe
};

// `program` with `args`, reading nothing; its standard error, and its
// standard output unless `how.stdout_to` sends that elsewhere, in `output`.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const ProgramRun& how = {});

// The output of a shell command, one entry per line.
std::vector<std::string> CommandLines(const std::string& command);

}  // namespace testing_support
