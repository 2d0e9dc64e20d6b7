// panel-bench's command line, run as a program: each row an argument list,
// the exit code it must give and a part of what it must print.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
  int code = -1;
  std::string output;  // stdout and stderr together
};

std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Outcome RunBench(const std::vector<std::string>& args) {
  std::string command = ShellQuoted(PANEL_BENCH);
  for (const std::string& arg : args) command += " " + ShellQuoted(arg);
  command += " </dev/null 2>&1";
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

struct Row {
  std::vector<std::string> args;
  int code;
  std::string says;            // part of the output
  const char* never = nullptr; // and what it must not say
};

TEST(CommandLine, EachLineGivesItsExitCodeAndSaysWhy) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("command_line_test_" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "folder" / "d.scn");
  std::ofstream(dir / "empty.scn").close();
  std::ofstream(dir / "bom.scn") << "\xEF\xBB\xBFload orlahyd\nupdate\nexpect needle orlahyd 0\n";
  std::ofstream(dir / "nul.scn") << std::string("load orlahyd\nfly\0away\n", 23);
  const std::string gauges = std::string(SOURCE_DIR) + "/build/native/gauges/";
  const std::string d = dir.string();

  const Row rows[] = {
      // help and usage
      {{"--help"}, 0, "usage: panel-bench [options] <command>"},
      {{"--version"}, 0, "panel-bench " GAUGES_VERSION "\n"},
      {{"help", "run"}, 0, "usage: panel-bench run <file.scn | folder>..."},
      {{"run", "--help"}, 0, "usage: panel-bench run <file.scn | folder>..."},
      {{"click", "-h"}, 0, "usage: panel-bench click <gauge> <x> <y>"},
      {{}, 2, "usage: panel-bench [options] <command>"},
      {{"fly"}, 2, "panel-bench: unknown command 'fly'"},
      {{"help", "fly"}, 2, "unknown command 'fly'"},
      {{"show", "extra"}, 2, "show takes no words, not 'extra' (see panel-bench help show)"},
      {{"render", "--junit", "x"}, 2, "--junit"},
      {{"run", "--junit"}, 2, "--junit"},
      {{"render", "--bogus"}, 2, "--bogus"},
      // numbers: out of range is an error, never wrapped
      {{"click", "orlaaudio", "4294967356", "155"}, 2, "'4294967356' is not a whole number from -2147483648"},
      {{"click", "orlaaudio", "99999999999999999999", "155"}, 2, "is not a whole number"},
      {{"click", "orlaaudio", "area", "0"}, 2, "orlaaudio has 8 mouse areas; there is no area 0"},
      {{"click", "orlaaudio", "1"}, 2, "click needs a gauge and a point"},
      {{"click", "orlaaudio", "1", "2", "--hold", "10001"}, 2, "--hold"},
      {{"render", "--scale", "9"}, 2, "--scale"},
      {{"render", "--scale", "1e1"}, 2, "--scale"},
      {{"render", "--updates", "-1"}, 2, "--updates"},
      {{"render", "--state", "noon"}, 2, "--state"},
      {{"render", "--ambient", "noon"}, 2, "--ambient"},
      {{"run", "--seed", "-4", d + "/bom.scn"}, 2, "--seed"},
      {{"run", "--seed", "99999999999999999999", d + "/bom.scn"}, 2, "--seed"},
      {{"serve", "--port", "65536"}, 2, "--port"},
      // what is not a script is an error, never a pass
      {{"run"}, 2, "run needs scenario files or folders"},
      {{"run", "/dev/zero"}, 3, "/dev/zero: a character device, not a regular file"},
      {{"run", d + "/folder"}, 3, "d.scn: a folder, not a script", "PASS"},
      {{"run", d + "/empty.scn"}, 3, "empty.scn: the script has no commands", "PASS"},
      {{"run", d + "/missing.scn"}, 3, "missing.scn: no such file"},
      // invisible bytes in scripts
      {{"run", "--seed", "007", d + "/bom.scn"}, 0, "PASS   " + d + "/bom.scn"},
      {{"run", d + "/nul.scn"}, 3, "nul.scn:2: unknown command 'fly\\x00away'"},
      // output that cannot be made, and libraries that are not ours
      {{"render", "orlahyd", "--out", "/proc"}, 3, "cannot write /proc/orlahyd-day.png: ",
       "cannot write /proc/orlahyd-day.png: cannot write"},
      {{"show", "--sound-library", gauges + "orlahyd.so"}, 1, "is not the bench's sound library"},
  };
  for (const Row& row : rows) {
    std::string line = "panel-bench";
    for (const std::string& arg : row.args) line += " " + arg;
    const Outcome outcome = RunBench(row.args);
    EXPECT_EQ(outcome.code, row.code) << line << "\nprinted:\n" << outcome.output;
    EXPECT_NE(outcome.output.find(row.says), std::string::npos)
        << line << "\nexpected it to say: " << row.says << "\nprinted:\n" << outcome.output;
    if (row.never != nullptr) {
      EXPECT_EQ(outcome.output.find(row.never), std::string::npos)
          << line << "\nexpected it never to say: " << row.never << "\nprinted:\n" << outcome.output;
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
