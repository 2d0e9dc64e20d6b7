#include "gauge_check/running_checks.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <set>

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

#if !defined(_WIN32)
#  include "formats/elf_check.h"
#endif
#include "host/child_process.h"
#include "host/host.h"
#include "gauge_check/check_file.h"
#include "gauge_check/contract_watch.h"

namespace gauge_check {
namespace {

using Step = std::function<void(const std::string&)>;

const double kValues[] = {0.0, 1.0, 10.0, 10.000001, 11.0, 1500.0, 3000.0, -1.0, -1e9,
                          std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), 0.999, 1e300, 2.5, 28.0};
const uint32_t kIntegers[] = {0x12297, 0, 0x7700, 0x11895, 0xFFFFFFFF, 0x99999, 0x1200, 0xABCDEF};
const int32_t kNamedValues[] = {0, 1, 2, -1, std::numeric_limits<int32_t>::max(),
                                std::numeric_limits<int32_t>::min(), 5};
const PanelServiceEvent kOtherEvents[] = {0, 1, 2, 3, 5, 7, 8, 9, 11, 13, -1,
                                          std::numeric_limits<int32_t>::max()};

// Whether a library is still loaded in this process.
bool StillLoaded(const std::string& path) {
#if defined(_WIN32)
  return GetModuleHandleA(path.c_str()) != nullptr;
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
#endif
}

const char* kSoundLibraryName =
#if defined(_WIN32)
    "GaugeSound";
#else
    "libGaugeSound.so";
#endif

class Drive {
 public:
  Drive(const std::string& path, const RecordFacts& facts, uint64_t linkage_at, int updates,
        Report& report, Step step)
      : path_(path), facts_(facts), linkage_at_(linkage_at), updates_(updates), report_(report),
        step_(std::move(step)) {}

  void Run() {
    static const struct {
      CheckId id;
      const char* summary;
    } kChecks[] = {
        {CheckId::kRunLoad, "loads through the host core, twice"},
        {CheckId::kRunTrappedSlot, "calls no service slot but 36, 39 and 40"},
        {CheckId::kRunText, "every string's text ends in NUL inside the host's buffer"},
        {CheckId::kRunFlags, "only bits 0x4 and 0x40000000 of image_flags change"},
        {CheckId::kRunRecords, "no other byte of the records changes"},
        {CheckId::kRunFpState, "the x87 control word and MXCSR stay as they were"},
        {CheckId::kRunUnload, "unloading leaves neither the module nor the sound library behind"}};
    for (const auto& check : kChecks) report_.Ran(check.id, check.summary);
    if (Phase(false)) Phase(true);
  }

 private:

  void Check(host::Host& host, const host::Gauge* gauge, const std::string& when) {
    for (const host::LogEntry& entry : host.log()) {
      if (entry.kind == host::LogKind::kLookup) lookups_.insert(entry.id);
      if (entry.kind == host::LogKind::kNamedBind) names_.insert(entry.name);
    }
    watch_->Check(host, gauge, when, report_);
  }

  void Vary(host::Host& host, int round) {
    int k = 0;
    for (uint32_t id : lookups_) {
      const int pick = round * 7 + k++ * 3;
      if (pick % 4 == 3) {
        host.vars().SetInteger(id, kIntegers[pick % std::size(kIntegers)]);
      } else {
        host.vars().Set(id, kValues[pick % std::size(kValues)]);
      }
    }
    for (const std::string& name : names_) {
      if (int32_t* value = host.vars().Named(name)) {
        *value = kNamedValues[(round + k++) % std::size(kNamedValues)];
      }
    }
  }

  // Every mouse area, with each mouse event it takes.
  void ClickAll(host::Host& host, host::Gauge& gauge, int round) {
    const std::vector<const MouseRect*> areas = gauge.MouseAreas();
    for (size_t i = 0; i < areas.size(); ++i) {
      const MouseRect& a = *areas[i];
      for (uint32_t event : {kMousePress, kMousePress | kMouseRepeat}) {
        if ((a.event_mask & event) != event) continue;
        const host::Point centre = host::AreaCentre(a);
        gauge.Click(centre.x, centre.y, event);
        Check(host, &gauge, Format("a click (event 0x%X) on mouse child %zu, round %d", event, i,
                                   round));
        gauge.Draw();
        Check(host, &gauge, Format("the draw after a click on mouse child %zu", i));
      }
    }
    gauge.Click(-1, -1);
    Check(host, &gauge, "a click outside the face");
  }

  bool Phase(bool present) {
    const std::string phase =
        present ? "with the sound library and named variables" : "without them";
    std::unique_ptr<host::Host> host(new host::Host);
    host->TraceLookups(true);
    if (present) {
      std::string error;
      if (!host->LoadSoundLibrary(host::DefaultSoundLibrary(), &error)) {
        report_.Note("the sound library could not be loaded (" + error +
                     "): the second round ran without it");
      }
      for (const std::string& name : names_) host->vars().Register(name, 1);
    }
    step_("loading the module " + phase);
    std::string error;
    host::Module* first = host->LoadModule(path_, &error);
    host::Module* second = first != nullptr ? host->LoadModule(path_, &error) : nullptr;
    if (first == nullptr || second == nullptr) {
      report_.Fail(CheckId::kRunLoad, path_, "a module the host core loads", error);
      return false;
    }
    const int64_t delta = static_cast<int64_t>(reinterpret_cast<uintptr_t>(&first->linkage()) -
                                               linkage_at_);
    watch_ = std::make_unique<ContractWatch>(facts_.spans, delta);
    watch_->Check(*host, nullptr, "module_init", report_);

    const int rounds = updates_ / 2;
    host::Gauge* gauge = nullptr;
    for (int round = 0; round < rounds; ++round) {
      if (gauge == nullptr || (present && round == rounds / 2)) {
        if (gauge != nullptr) {
          step_("killing the gauge " + phase);
          host->DestroyGauge(gauge);
          Check(*host, nullptr, "kill (event 12)");
        }
        step_("creating the gauge " + phase);
        gauge = host->CreateGauge(round == 0 ? *first : *second);
        Check(*host, gauge, "create (event 4) " + phase);
      }
      step_(Format("round %d %s", round, phase.c_str()));
      Vary(*host, round);
      gauge->Update();
      Check(*host, gauge, Format("update, round %d %s", round, phase.c_str()));
      gauge->Draw();
      Check(*host, gauge, Format("draw, round %d %s", round, phase.c_str()));
      if (round % 10 == 5) {
        gauge->SendEvent(kOtherEvents[(round / 10) % std::size(kOtherEvents)]);
        Check(*host, gauge, Format("event %d", kOtherEvents[(round / 10) % std::size(kOtherEvents)]));
      }
      if (round % 25 == 3 || round == rounds - 1) ClickAll(*host, *gauge, round);
    }
    step_("killing the gauge and unloading the module " + phase);
    host->DestroyGauge(gauge);
    Check(*host, nullptr, "kill (event 12) " + phase);
    host->UnloadModule(second);
    Check(*host, nullptr, "module_deinit of the second load " + phase);
    host->UnloadModule(first);
    watch_->CheckLog(*host, "module_deinit " + phase, report_);
    if (StillLoaded(path_)) {
      report_.Fail(CheckId::kRunUnload, phase, "the module gone after it was unloaded twice",
                   "it is still loaded");
    }
    host.reset();
    if (StillLoaded(kSoundLibraryName)) {
      report_.Fail(CheckId::kRunUnload, phase,
                   "the sound library released once its host and the module are gone",
                   "it is still loaded: the module kept a reference");
    }
    return true;
  }

  const std::string& path_;
  const RecordFacts& facts_;
  uint64_t linkage_at_;
  int updates_;
  Report& report_;
  Step step_;
  std::unique_ptr<ContractWatch> watch_;
  std::set<uint32_t> lookups_;
  std::set<std::string> names_;
};

// ---- a child process for whatever may crash ---------------------------------

// The child's report goes through the pipe one line each, fields split by
// tabs: "S step", "R id expected", "F"/"W id where expected found",
// "N note", and "E" at its end.
std::string Clean(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    fields.push_back(line.substr(start, tab - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

// Runs `work` in a child process (host/child_process.h) and merges what it
// reported. A child that dies or hangs gives a run-crash failure naming the
// step it was in. Where there are no child processes, the work runs here.
// Whether the work got as far as calling the module: not when the host
// refused to load it (a file that is no gauge module, say).
bool CalledTheModule(const Report& report) {
  for (const Line& line : report.Lines()) {
    if (line.status == Status::kFail && line.id == Id(CheckId::kRunLoad)) return false;
  }
  return true;
}

constexpr const char* kReturned = "the module returned from every call (no crash, no hang)";

void InChild(const std::function<void(Report&, const Step&)>& work, Report& report) {
  if (!host::kChildProcesses) {
    report.Note("the running checks ran inside this process: a module that crashes ends it");
    // No child here, but the module's output still goes to the null
    // device, not into the report.
    Report mine;
    host::RunWithoutOutput([&] { work(mine, [](const std::string&) {}); });
    report.Merge(mine);
    if (CalledTheModule(mine)) report.Ran(CheckId::kRunCrash, kReturned);
    return;
  }
  const host::ChildRun run = host::RunInChild(
      [&](const host::ChildSay& say) {
        Report mine;
        work(mine, [&](const std::string& step) { say("S\t" + Clean(step) + "\n"); });
        std::string out;
        for (const Line& line : mine.Lines()) {
          if (line.status == Status::kPass) {
            out += "R\t" + Clean(line.id) + "\t" + Clean(line.expected) + "\n";
          } else {
            out += std::string(line.status == Status::kFail ? "F" : "W") + "\t" +
                   Clean(line.id) + "\t" + Clean(line.where) + "\t" + Clean(line.expected) +
                   "\t" + Clean(line.found) + "\n";
          }
        }
        for (const std::string& note : mine.notes()) out += "N\t" + Clean(note) + "\n";
        say(out + "E\n");
        return 0;
      },
      host::kCheckDeadline);
  if (!run.started) {
    report.Ran(CheckId::kRunCrash, kReturned);
    report.Fail(CheckId::kRunCrash, "", "a child process to run the checks in", run.failure);
    return;
  }

  Report theirs;
  std::string step = "starting";
  bool ended = false;
  size_t start = 0;
  for (size_t end; (end = run.said.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::vector<std::string> f = Split(run.said.substr(start, end - start));
    if (f[0] == "S" && f.size() == 2) step = f[1];
    // The child is this program: every id it sends is one of the table's.
    CheckId id{};
    const bool known = f.size() > 1 && FindCheck(f[1], &id);
    if (f[0] == "R" && f.size() == 3 && known) theirs.Ran(id, f[2]);
    if (f[0] == "F" && f.size() == 5 && known) theirs.Fail(id, f[2], f[3], f[4]);
    if (f[0] == "W" && f.size() == 5 && known) theirs.Warn(id, f[2], f[3], f[4]);
    if (f[0] == "N" && f.size() == 2) theirs.Note(f[1]);
    if (f[0] == "E") ended = true;
  }
  report.Merge(theirs);
  const bool returned = ended && run.Finished();
  // Said only of a module that was called, or that ended the child.
  if (!returned || CalledTheModule(theirs)) report.Ran(CheckId::kRunCrash, kReturned);
  if (!returned) {
    report.Fail(CheckId::kRunCrash, "while " + step, "every call into the module to return",
                run.Ending());
  }
}

}  // namespace

bool RunsHere(ModuleFormat format) {
#if defined(_WIN32)
  return format == ModuleFormat::kWindows32 && sizeof(void*) == 4;
#else
  return format == ModuleFormat::kNative;
#endif
}

void RunChecks(const std::string& path, const RecordFacts& facts, uint64_t linkage_at,
               int updates, Report& report) {
  InChild(
      [&](Report& mine, const Step& step) {
        Drive(path, facts, linkage_at, updates, mine, step).Run();
      },
      report);
}

void CheckNativeForm(const std::vector<uint8_t>& bytes, Report& report) {
  report.Ran(CheckId::kElfForm, "a shared object for this machine, its tables inside the file");
  std::string why;
#if defined(_WIN32)
  // The host core of a Windows build has no ELF checks (nor does CheckFile
  // come here there).
  (void)bytes;
  why = "a native (ELF) module, which only the native build of gauge-check checks";
  const bool mappable = false;
#else
  const bool mappable = formats::CheckElfImage(bytes.data(), bytes.size(), &why);
#endif
  if (!mappable) {
    report.Fail(CheckId::kElfForm, "the file's headers and tables",
                "a shared object the system's loader can map", why);
  }
  report.Note("record and running checks skipped: a native module's records are read from it "
              "loaded, and loading runs its code, which --static-only never does");
}

void CheckNativeModule(const std::string& path, const Options& options, Report& report) {
  if (!RunsHere(ModuleFormat::kNative)) {
    report.Ran(CheckId::kRunLoad, "loads through the host core");
    report.Fail(CheckId::kRunLoad, path, "a module this build can load",
                "a native (ELF) module, which only the native build of gauge-check loads");
    return;
  }
  InChild(
      [&](Report& mine, const Step& step) {
        mine.Ran(CheckId::kRunLoad, "loads through the host core, twice");
        step("loading the module");
        RecordFacts facts;
        uint64_t linkage_at = 0;
        {
          host::Host host;
          std::string error;
          host::Module* module = host.LoadModule(path, &error);
          if (module == nullptr) {
            mine.Fail(CheckId::kRunLoad, path, "a gauge module the host core loads", error);
            return;
          }
          LoadedMemory memory;
          if (!memory.Find(&module->linkage(), &error)) {
            mine.Fail(CheckId::kRunLoad, path, "the module's loaded segments", error);
            return;
          }
          step("reading the records");
          linkage_at = reinterpret_cast<uintptr_t>(&module->linkage());
          CheckRecords(memory, linkage_at, reinterpret_cast<uintptr_t>(module->import_table()),
                       mine, &facts);
        }
        if (!options.run) return;
        if (!facts.complete) {
          mine.Note("running checks skipped: the records could not be read whole");
          return;
        }
        Drive(path, facts, linkage_at, options.updates, mine, step).Run();
      },
      report);
}

}  // namespace gauge_check
