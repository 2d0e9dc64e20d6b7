#include "tests/run_program.h"

#include <sys/wait.h>

#include <cstdio>

namespace testing_support {
namespace {

std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

Outcome RunShell(const std::string& command) {
  Outcome outcome;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.output.append(buffer, got);
  const int status = pclose(pipe);
  outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const ProgramRun& how) {
  std::string command = how.before;
  // An assignment word must start unquoted to be one: the name as it is, the value quoted.
  for (const std::string& variable : how.env) {
    const size_t equals = variable.find('=');
    command += variable.substr(0, equals + 1) + ShellQuoted(variable.substr(equals + 1)) + " ";
  }
  command += ShellQuoted(program);
  for (const std::string& arg : args) command += " " + ShellQuoted(arg);
  // Standard error joins the pipe before standard output may go elsewhere.
  command += " </dev/null 2>&1";
  if (how.stdout_to != nullptr) command += std::string(" >") + how.stdout_to;
  return RunShell(command);
}

std::vector<std::string> CommandLines(const std::string& command) {
  const std::string output = RunShell(command).output;
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace testing_support
