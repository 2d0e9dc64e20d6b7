#include "host/trial.h"

#include <functional>
#include <sstream>

#include "host/child_process.h"
#include "host/host.h"

namespace host {
namespace {

// A trial's work, done in the child: it names each step as it begins it
// (`stage`), and returns "" when all finished or the host core's refusal.
using Stage = std::function<void(const char* stage)>;
using TrialSteps = std::function<std::string(const Stage& stage)>;

// Runs `trial` in a child and reports how it ended: finished, refused by
// the host core, ended by a signal, or killed at the deadline. `what`
// ("gauge module") and `path` name the file in the messages. The child says
// one line per step ("stage ..."), then "ok" or "error ..." (a refusal by
// the host core).
bool TryInChild(const char* what, const std::filesystem::path& path,
                std::chrono::milliseconds deadline, const TrialSteps& trial, TrialReport* report) {
  *report = TrialReport{};
  if (!kChildProcesses) {
    report->message = std::string("cannot try ") + what + " " + path.string() +
                      " in a child process here: that needs a POSIX system";
    return false;
  }
  const std::string where = std::string(what) + " " + path.string();
  const ChildRun run = RunInChild(
      [&](const ChildSay& say) {
        const std::string error =
            trial([&](const char* stage) { say(std::string("stage ") + stage + "\n"); });
        if (!error.empty()) {
          say("error " + error + "\n");
          return 1;
        }
        say("ok\n");
        return 0;
      },
      deadline);
  if (!run.started) {
    report->message = "cannot try " + where + ": " + run.failure;
    return false;
  }

  std::string error;
  bool finished = false;
  std::istringstream lines(run.said);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("stage ", 0) == 0) report->stage = line.substr(6);
    if (line.rfind("error ", 0) == 0) error = line.substr(6);
    if (line == "ok") finished = true;
  }
  const std::string during = report->stage.empty() ? "" : " while " + report->stage;
  report->timed_out = run.timed_out;
  report->signal = run.signal;
  if (run.timed_out || run.said_too_much) {
    report->message = where + " " + run.Ending(" a trial run" + during);
  } else if (run.signal != 0) {
    report->message = where + " " + run.Ending() + during +
                      " in a trial run in a child process: the file is damaged or not a "
                      "working " + what;
  } else if (!error.empty()) {
    report->message = error;
  } else if (!finished || !run.Finished()) {
    report->message = where + " " + run.Ending(" a trial run") + during;
  } else {
    report->ok = true;
  }
  return report->ok;
}

}  // namespace

bool TrialModule(const std::filesystem::path& path, TrialReport* report,
                 const TrialOptions& options) {
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

bool TrialSoundLibrary(const std::filesystem::path& path, const std::filesystem::path& sound_root,
                       TrialReport* report, std::chrono::milliseconds deadline) {
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
