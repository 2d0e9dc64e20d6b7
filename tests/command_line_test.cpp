// panel-bench's command line, run as a program: each row an argument list,
// the exit code it must give and a part of what it must print.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/run_program.h"

namespace {

using testing_support::Outcome;
using testing_support::RunProgram;

struct Row {
  std::vector<std::string> args;
  int code;
  std::string says;            // part of the output
  const char* never = nullptr; // and what it must not say
  const char* misbehave = "";  // GAUGE_MISBEHAVE for tests/misbehaving_gauge.cpp
  const char* output = nullptr;  // where standard output goes, if not to the test
};

// A run of the half-megabyte name that the long_dependency library needs.
const std::string kLongName(1000, 'd');

TEST(CommandLine, EachLineGivesItsExitCodeAndSaysWhy) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("command_line_test_" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "folder" / "d.scn");
  std::ofstream(dir / "empty.scn").close();
  std::ofstream(dir / "bom.scn") << "\xEF\xBB\xBFload orlahyd\nupdate\nexpect needle orlahyd 0\n";
  std::ofstream(dir / "nul.scn") << std::string("load orlahyd\nfly\0away\n", 23);
  {
    std::ofstream many(dir / "many.scn");
    for (int i = 0; i < 150; ++i) many << "clik\n";
  }
  const std::string gauges = std::string(SOURCE_DIR) + "/build/native/gauges/";
  const std::string d = dir.string();
  // Native code from outside: a partial copy of the sound library, a pipe and
  // a folder in its place, and a module that dies while it is loaded.
  {
    std::ifstream library(std::filesystem::path(PANEL_BENCH).parent_path().parent_path() / "lib" /
                          "libGaugeSound.so", std::ios::binary);
    std::string start(4096, '\0');
    library.read(start.data(), static_cast<std::streamsize>(start.size()));
    std::ofstream(dir / "partial.so", std::ios::binary) << start;
  }
  mkfifo((dir / "pipe.so").c_str(), 0600);
  std::filesystem::create_directories(dir / "library.so");
  std::filesystem::create_directories(dir / "crashing");
  std::filesystem::copy_file(MISBEHAVING, dir / "crashing" / "VORN_Kestrel_FMC.so");
  std::filesystem::create_directories(dir / "cut");
  std::filesystem::copy_file(std::string(WIN32_GAUGES_DIR) + "/orlahyd.gau", dir / "cut" / "orlahyd.gau");
  std::filesystem::resize_file(dir / "cut" / "orlahyd.gau", 4096);
  std::filesystem::create_directories(dir / "pictures");
  mkfifo((dir / "pictures" / "orlahyd.gau").c_str(), 0600);

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
      {{"render", "--bogus"}, 2, "unknown option or word '--bogus' (see panel-bench help render)"},
      // numbers: out of range is an error, never wrapped
      {{"click", "orlaaudio", "4294967356", "155"}, 2, "'4294967356' is not a whole number from -2147483648"},
      {{"click", "orlaaudio", "99999999999999999999", "155"}, 2, "is not a whole number"},
      {{"click", "orlaaudio", "area", "0"}, 2, "orlaaudio has 8 mouse areas; there is no area 0"},
      {{"click", "orlaaudio", "1"}, 2, "click needs a gauge and a point"},
      {{"click", "orlaaudio", "1", "2", "--hold", "10001"}, 2, "--hold"},
      {{"render", "--scale", "9"}, 2, "--scale"},
      {{"render", "--scale", "1e1"}, 2, "--scale"},
      {{"render", "--updates", "-1"}, 2, "--updates"},
      {{"render", "--state", "noon"}, 2, "--state: 'noon' is not one of dark, day, dusk, night"},
      {{"render", "--ambient", "noon"}, 2, "--ambient: 'noon' is not one of day, dusk, night"},
      {{"run", "--junit"}, 2, "--junit needs a value (see panel-bench help run)"},
      // the default folder is the working folder's build/pictures, said in full
      {{"render", "orlahyd"}, 0,
       std::filesystem::current_path().string() + "/build/pictures/orlahyd-day.png"},
      {{"click", "orlaaudio", "99999", "10"}, 2,
       "(99999, 10) is off orlaaudio, which is 140 x 247 pixels: give x from 0 to 139"},
      {{"click", "orlaaudio", "-1", "10"}, 2, "is off orlaaudio"},
      {{"run", "--seed", "-4", d + "/bom.scn"}, 2, "--seed"},
      {{"run", "--seed", "99999999999999999999", d + "/bom.scn"}, 2, "--seed"},
      {{"serve", "--port", "65536"}, 2, "--port"},
      // each number's own range, not that of the type it is read into
      {{"render", "--scale", "-1"}, 2, "--scale: '-1' is not a whole number from 1 to 8",
       "18446744073709551615"},
      {{"render", "--updates", "-1"}, 2, "'-1' is not a whole number from 0 to 1000000",
       "18446744073709551615"},
      {{"serve", "--port", "-1"}, 2, "--port: '-1' is not a whole number from 0 to 65535",
       "18446744073709551615"},
      // an empty name is no folder or file
      {{"render", "--out", ""}, 2, "--out: an empty name"},
      {{"run", "--out", "", d + "/bom.scn"}, 2, "--out: an empty name", "PASS"},
      {{"run", "--json", "", d + "/bom.scn"}, 2, "--json: an empty name", "PASS"},
      // what is not a script is an error, never a pass
      {{"run"}, 2, "run needs scenario files or folders"},
      {{"run", "/dev/zero"}, 3, "/dev/zero: a character device, not a regular file"},
      {{"run", d + "/folder"}, 3, "d.scn: a folder, not a script", "PASS"},
      {{"run", d + "/empty.scn"}, 3, "empty.scn: the script has no commands", "PASS"},
      {{"run", d + "/missing.scn"}, 3, "missing.scn: no such file"},
      // invisible bytes in scripts
      {{"run", "--seed", "007", d + "/bom.scn"}, 0, "PASS   " + d + "/bom.scn"},
      {{"run", d + "/nul.scn"}, 3, "nul.scn:2: unknown command 'fly\\x00away'"},
      // a hundred errors are listed, the rest counted
      {{"run", d + "/many.scn"}, 3, "many.scn: ... and 50 more script errors (not listed)\nERROR"},
      {{"run", d + "/many.scn"}, 3, "150 script errors (first: line 1)", "many.scn:101:"},
      // output that cannot be made, and libraries that are not ours
      {{"render", "orlahyd", "--out", "/proc"}, 3, "cannot write /proc/orlahyd-day.png: ",
       "cannot write /proc/orlahyd-day.png: cannot write"},
      {{"show", "--sound-library", gauges + "orlahyd.so"}, 3, "is not the bench's sound library"},
      // the loader's words about a library from outside are quoted, clipped
      {{"show", "--sound-library", LONG_DEPENDENCY}, 3, "bytes left out) ... ddd", kLongName.c_str()},
      {{"show", "--sound-library", MISBEHAVING}, 3,
       "sound library " MISBEHAVING " crashed with SIGSEGV (Segmentation fault) while loading the "
       "library in a trial run",
       nullptr, "load-crash"},
      {{"run", d + "/bom.scn", "--sound-library", MISBEHAVING}, 3, "crashed with SIGSEGV", "PASS",
       "load-crash"},
      {{"render", "orlahyd", "--sound-library", d + "/partial.so"}, 3,
       "lies past the end of the file at 4096 bytes: the file is cut short"},
      {{"areas", "orlahyd", "--sound-library", d + "/pipe.so"}, 3,
       "pipe.so: a pipe (FIFO), not a regular file"},
      {{"click", "orlaaudio", "area", "1", "--sound-library", d + "/library.so"}, 3,
       "library.so: a folder, not a sound library"},
      {{"show", "--gauges", d + "/crashing"}, 3,
       "crashing/VORN_Kestrel_FMC.so crashed with SIGSEGV (Segmentation fault) while loading the "
       "module in a trial run",
       nullptr, "load-crash"},
      {{"render", "orlahyd", "--pictures", d + "/cut", "--out", d + "/out"}, 3,
       "the file is cut short: section .text's data runs to byte"},
      {{"render", "orlahyd", "--pictures", d + "/pictures", "--out", d + "/out"}, 3,
       "pictures/orlahyd.gau: a pipe (FIFO), not a regular file"},
      {{"render", "orlahyd", "--sound-root", d + "/bom.scn", "--out", d + "/out"}, 3,
       "bom.scn is not a folder"},
      {{"show", "--gauges", d + "/folder"}, 3, "no such file"},
      // output that cannot be written fails, whatever the command did
      {{"show"}, 3, "panel-bench: cannot write the output: No space left on device", nullptr, "",
       "/dev/full"},
      {{"run", "--fast", d + "/bom.scn"}, 3, "cannot write the output: No space left on device",
       nullptr, "", "/dev/full"},
      {{"--help"}, 3, "cannot write the output", nullptr, "", "/dev/full"},
  };
  for (const Row& row : rows) {
    std::string line = "panel-bench";
    for (const std::string& arg : row.args) line += " " + arg;
    if (row.output != nullptr) line += std::string(" >") + row.output;
    if (*row.misbehave != '\0') setenv("GAUGE_MISBEHAVE", row.misbehave, 1);
    const Outcome outcome = RunProgram(PANEL_BENCH, row.args, {.stdout_to = row.output});
    unsetenv("GAUGE_MISBEHAVE");
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

// The bench as the tools ship: what lies beside the program (Gauges/, the
// sound library) is what it loads, in place of its build tree's files.
TEST(CommandLine, TakesTheFilesBesideTheProgram) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("beside_test_" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  const std::filesystem::path shipped = dir / "shipped";
  std::filesystem::create_directories(shipped / "Gauges");
  std::filesystem::create_directories(shipped / "libGaugeSound.so");  // a folder in its place
  std::filesystem::copy_file(PANEL_BENCH, shipped / "panel-bench");
  const std::string library =
      (std::filesystem::path(PANEL_BENCH).parent_path().parent_path() / "lib" / "libGaugeSound.so")
          .string();
  const std::string s = shipped.string();
  const Row rows[] = {
      {{"show"}, 3, s + "/libGaugeSound.so: a folder, not a sound library"},
      {{"show", "--sound-library", library}, 3, s + "/Gauges/VORN_Kestrel_FMC.so"},
      {{"areas", "orlahyd", "--sound-library", library}, 3, s + "/Gauges/orlahyd.so"},
  };
  for (const Row& row : rows) {
    std::string line = s + "/panel-bench";
    for (const std::string& arg : row.args) line += " " + arg;
    const Outcome outcome = RunProgram((shipped / "panel-bench").string(), row.args);
    EXPECT_EQ(outcome.code, row.code) << line << "\nprinted:\n" << outcome.output;
    EXPECT_NE(outcome.output.find(row.says), std::string::npos)
        << line << "\nexpected it to say: " << row.says << "\nprinted:\n" << outcome.output;
  }
  std::filesystem::remove_all(dir);
}

std::string Contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::filesystem::path& file) {
  struct stat st {};
  return stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A report is written whole or not at all, and never over a script: each row
// names the file that must come out as it went in, and what else must hold
// of the files afterwards.
TEST(CommandLine, ReportsNeverLoseAFile) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("report_test_" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "scripts");
  const std::string d = dir.string();
  const std::string script = "load orlahyd\nupdate\nexpect needle orlahyd 0\n";
  std::ofstream(dir / "scripts" / "ok.scn") << script;
  std::filesystem::create_symlink("scripts/ok.scn", dir / "link.scn");
  {
    std::ofstream many(dir / "many.scn");
    for (int i = 0; i < 150; ++i) many << "clik\n";
  }
  const struct {
    std::string before;  // shell words before the command
    std::vector<std::string> args;
    int code;
    std::string says;
    std::string kept;  // the file that must keep what it held
    std::function<void(const std::string& line)> after = nullptr;
  } rows[] = {
      // the write fails part-way (the file size limit stands in for a full disk)
      {"trap '' XFSZ; ulimit -f 2; ", {"run", "--json", d + "/old.json", d + "/many.scn"}, 3,
       "--json: cannot write " + d + "/old.json: File too large (" + d + "/old.json is left as it was)",
       d + "/old.json"},
      {"trap '' XFSZ; ulimit -f 2; ", {"run", "--junit", d + "/old.json", d + "/many.scn"}, 3,
       "File too large", d + "/old.json"},
      // a report naming a script, as given or by another way to it
      {"", {"run", "--json", d + "/scripts/ok.scn", d + "/scripts/ok.scn"}, 2,
       "--json " + d + "/scripts/ok.scn names the script", d + "/scripts/ok.scn"},
      {"", {"run", "--junit", d + "/scripts/../link.scn", d + "/scripts"}, 2, "names the script",
       d + "/scripts/ok.scn"},
      {"", {"run", "--fast", "--json", d + "/old.json", "--junit", d + "/./old.json", d + "/scripts"}, 2,
       "--junit and --json name the same file", d + "/old.json"},
      {"", {"run", "--fast", "--json", d + "/scripts", d + "/scripts"}, 3,
       "--json: cannot write " + d + "/scripts: it is a folder", d + "/scripts/ok.scn"},
      // a signal that ends the program mid-write (the size limit's, as Ctrl-C would)
      {"ulimit -c 0; ulimit -f 2; ", {"run", "--json", d + "/old.json", d + "/many.scn"}, 128 + SIGXFSZ, "",
       d + "/old.json"},
      // what the user set: a private report stays private; a link is followed
      {"chmod 600 " + d + "/old.json; ", {"run", "--json", d + "/old.json", d + "/scripts"}, 0,
       "results written to", "", [&](const std::string& line) {
         EXPECT_EQ(ModeOf(dir / "old.json"), 0600u) << line;
         EXPECT_NE(Contents(dir / "old.json"), "the old report") << line;
       }},
      {"mkdir -p " + d + "/shared; echo old >" + d + "/shared/r.json; ln -sfn shared/r.json " + d +
           "/link.json; ",
       {"run", "--json", d + "/link.json", d + "/scripts"}, 0, "results written to", "",
       [&](const std::string& line) {
         EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.json")) << line << ": the link went";
         EXPECT_NE(Contents(dir / "shared" / "r.json").find("\"scenarios\""), std::string::npos)
             << line << ": the file the link leads to was not updated";
       }},
      // the longest name a folder takes
      {"", {"run", "--json", d + "/" + std::string(250, 'r'), d + "/scripts"}, 0,
       "results written to", "", [&](const std::string& line) {
         EXPECT_TRUE(std::filesystem::exists(dir / std::string(250, 'r'))) << line;
       }},
  };
  for (const auto& row : rows) {
    std::ofstream(dir / "old.json") << "the old report";
    const std::string before = Contents(row.kept);
    std::string line = row.before + "panel-bench";
    for (const std::string& arg : row.args) line += " " + arg;
    const Outcome outcome = RunProgram(PANEL_BENCH, row.args, {.before = row.before});
    EXPECT_EQ(outcome.code, row.code) << line << "\nprinted:\n" << outcome.output;
    EXPECT_NE(outcome.output.find(row.says), std::string::npos)
        << line << "\nexpected it to say: " << row.says << "\nprinted:\n" << outcome.output;
    EXPECT_EQ(Contents(row.kept), before) << line << "\nchanged " << row.kept;
    if (row.after) row.after(line);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      EXPECT_NE(entry.path().extension(), ".tmp") << line << "\nleft " << entry.path();
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
