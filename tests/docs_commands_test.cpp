// The command lines the README and docs/ give a reader to copy: every line
// of a fenced code block that runs one of our programs from the build tree
// (build/native/bin/...) is run from the source folder, with this build's
// programs, and must exit as the text says: 0, unless its comment says
// "exits N". `serve` runs until its address is printed, then gets Ctrl-C
// (on a free port: the documented one may be taken on a test machine).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/run_program.h"

namespace {

namespace fs = std::filesystem;

struct DocCommand {
  std::string where;    // file:line
  std::string command;  // as written, without its comment
  int exits = 0;
};

std::vector<DocCommand> CommandsIn(const fs::path& file) {
  std::vector<DocCommand> found;
  std::ifstream in(file);
  std::string line;
  bool fenced = false;
  int number = 0;
  const std::string prefix = "build/native/bin/";
  while (std::getline(in, line)) {
    ++number;
    if (line.rfind("```", 0) == 0) {
      fenced = !fenced;
      continue;
    }
    if (!fenced || line.rfind(prefix, 0) != 0) continue;
    DocCommand command{fs::relative(file, SOURCE_DIR).string() + ":" + std::to_string(number), line};
    if (const size_t hash = line.find(" #"); hash != std::string::npos) {
      command.command = line.substr(0, hash);
      const std::string comment = line.substr(hash);
      if (const size_t said = comment.find("exits "); said != std::string::npos) {
        command.exits = std::atoi(comment.c_str() + said + 6);
      }
    }
    while (!command.command.empty() && command.command.back() == ' ') command.command.pop_back();
    found.push_back(command);
  }
  return found;
}

TEST(DocsCommands, EachCommandLineExitsAsTheTextSays) {
  std::vector<fs::path> files = {fs::path(SOURCE_DIR) / "README.md"};
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(SOURCE_DIR) / "docs")) {
    if (entry.path().extension() == ".md") files.push_back(entry.path());
  }
  std::vector<DocCommand> commands;
  for (const fs::path& file : files) {
    for (DocCommand& command : CommandsIn(file)) commands.push_back(command);
  }
  ASSERT_GE(commands.size(), 5u) << "the docs' command lines were not found";

  const fs::path scratch =
      fs::temp_directory_path() / ("docs_commands_test_" + std::to_string(getpid()));
  fs::create_directories(scratch);
  for (const DocCommand& doc : commands) {
    // This build's programs in place of build/native's.
    std::string command = std::string(BIN_DIR) + "/" + doc.command.substr(17);
    std::string shell = "cd '" SOURCE_DIR "' && ";
    if (command.find(" serve") != std::string::npos) {
      if (command.find("--port") == std::string::npos) command += " --port 0";
      // A file of its own for each: the wait must not find an earlier run's address.
      const std::string out = (scratch / ("serve" + std::to_string(&doc - commands.data()) + ".txt")).string();
      // Up to 60 s for the address (a deadline, not a wait), then Ctrl-C.
      shell += command + " >'" + out + "' 2>&1 & pid=$!; i=0; "
               "until grep -q 'is live at' '" + out + "' || [ $i -ge 600 ]; do sleep 0.1; i=$((i+1)); done; "
               "kill -INT $pid; wait $pid; code=$?; cat '" + out + "'; exit $code";
    } else {
      shell += command + " 2>&1";
    }
    const testing_support::Outcome outcome = testing_support::RunShell(shell);
    EXPECT_EQ(outcome.code, doc.exits)
        << doc.where << ": " << doc.command << "\nexpected exit " << doc.exits << ", got "
        << outcome.code << "; it printed:\n"
        << outcome.output.substr(0, 2000);
  }
  fs::remove_all(scratch);
}

}  // namespace
