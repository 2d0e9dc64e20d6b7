// The host core: refusing what is not a gauge module, the service table, the
// log, hit-testing and several gauges side by side.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "host/fp_state.h"
#include "tests/gauge_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace testing_support;

std::filesystem::path Gauges() { return host::DefaultGaugeDir(); }

std::filesystem::path TempFile(const std::string& name, const std::string& content) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path) << content;
  return path;
}

TEST(ModuleLoading, RefusesWhatIsNotAGaugeModuleWithAReason) {
  host::Host host;
  struct Case {
    std::filesystem::path path;
    const char* reason;
  };
  const Case cases[] = {
      {Gauges() / "no_such_gauge.so", "no such file"},
      {Gauges(), "a folder, not a gauge module"},
      {TempFile("not_a_library.so", "just text\n"), "not a loadable shared library"},
      {host::DefaultSoundLibrary(), "exports no Linkage"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(host.LoadModule(c.path, &error), nullptr) << c.path;
    EXPECT_THAT(error, HasSubstr(c.reason)) << c.path;
    EXPECT_THAT(error, HasSubstr(c.path.string()));
  }
}

TEST(ModuleLoading, RefusesAWrongModuleIdAndAnEmptyHeaderList) {
  host::Host host;
  host::Module* module = LoadGauge(host, "orlahyd");
  ASSERT_NE(module, nullptr);
  std::string error;
  // A second load of the same file shares its records: spoil them and see the
  // checks refuse it, then put them back.
  ModuleLinkage& linkage = module->linkage();
  const ModuleLinkage saved = linkage;
  linkage.module_id = 0x12;
  host::Host other;
  EXPECT_EQ(other.LoadModule(module->path(), &error), nullptr);
  EXPECT_THAT(error, HasSubstr("module_id is 0x12, expected 0x13"));
  linkage.module_id = saved.module_id;
  linkage.gauge_headers[0] = nullptr;
  EXPECT_EQ(other.LoadModule(module->path(), &error), nullptr);
  EXPECT_THAT(error, HasSubstr("gauge header list is empty"));
  linkage = saved;
}

TEST(ModuleLoading, WritesTheServiceTableBeforeAnyCall) {
  host::Host host;
  host::Module* module = LoadGauge(host, "orlaaudio");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->import_table()[0].service_id, 0x0Fu);
  EXPECT_EQ(Copy(module->import_table()[0].service_table), host::Host::ServiceTable());
  EXPECT_EQ(module->import_table()[1].service_id, 0u);
  EXPECT_EQ(Copy(module->import_table()[1].service_table), nullptr);
}

TEST(ModuleLoading, AFreshLoadStartsFromFreshModuleState) {
  for (int load = 0; load < 2; ++load) {
    host::Host host;
    host::Module* module = LoadGauge(host, "orlaaudio");
    ASSERT_NE(module, nullptr);
    host::Gauge* gauge = host.CreateGauge(*module);
    // The DME 1 latch starts at 0 on every load: the press switches it on.
    gauge->Click(60, 155);
    EXPECT_THAT(LogLines(host), ElementsAre("key 0x1012F value 0")) << "load " << load;
  }
}

// A service table of our own, to see which table the module calls through.
int32_t GAUGE_CALL CountingTrigger(uint32_t, uint32_t);
int countedTriggers = 0;
int32_t GAUGE_CALL CountingTrigger(uint32_t, uint32_t) {
  ++countedTriggers;
  return 0;
}

TEST(ServiceTable, IsReadFromTheImportTableAtEveryCall) {
  host::Host host;
  host::Module* module = LoadGauge(host, "orlaaudio");
  ASSERT_NE(module, nullptr);
  host::Gauge* gauge = host.CreateGauge(*module);
  HostServices replacement = *host::Host::ServiceTable();
  replacement.trigger_key_event = CountingTrigger;
  module->import_table()[0].service_table = &replacement;
  gauge->Click(60, 75);  // COMM 1
  module->import_table()[0].service_table = host::Host::ServiceTable();
  gauge->Click(60, 75);
  EXPECT_EQ(countedTriggers, 1);
  EXPECT_THAT(LogLines(host), ElementsAre("key 0x1039F value 0"));
}

TEST(ServiceTable, EveryOtherSlotIsATrapThatSaysWhichSlot) {
  host::Host host;
  host::Module* module = LoadGauge(host, "orlaaudio");
  ASSERT_NE(module, nullptr);
  host::Gauge* gauge = host.CreateGauge(*module);
  HostServices* table = host::Host::ServiceTable();
  // Call the other slots as a module would, inside a call into it.
  host.OnKeyEvent([&](uint32_t, uint32_t) {
    for (HostServiceSlot slot : table->slots_0_to_35) slot();
    for (HostServiceSlot slot : table->slots_37_and_38) slot();
  });
  gauge->Click(60, 75);
  std::vector<std::string> trapped;
  for (const host::LogEntry& entry : host.log()) {
    if (entry.kind == host::LogKind::kTrappedSlot) {
      EXPECT_EQ(entry.gauge, "orlaaudio");
      trapped.push_back(entry.Describe());
    }
  }
  ASSERT_EQ(trapped.size(), 38u);
  EXPECT_EQ(trapped.front(), "unexpected service slot 0");
  EXPECT_EQ(trapped[35], "unexpected service slot 35");
  EXPECT_EQ(trapped[36], "unexpected service slot 37");
  EXPECT_EQ(trapped[37], "unexpected service slot 38");
  // Outside any call into a module there is nobody to blame: nothing logged.
  host.ClearLog();
  table->slots_0_to_35[0]();
  EXPECT_TRUE(host.log().empty());
}

// A gauge clicked for ever keeps the most recent entries only, each still
// known by its sequence number, and says how many it dropped.
TEST(ServiceTable, TheLogKeepsTheMostRecentEntriesAndCountsTheRest) {
  host::Host host;
  host::Module* module = LoadGauge(host, "orlaaudio");
  ASSERT_NE(module, nullptr);
  host::Gauge* gauge = host.CreateGauge(*module);
  host.ClearLog();  // what loading sent is cleared, not dropped
  const uint64_t start = host.log().next();
  ASSERT_TRUE(gauge->Click(60, 75));
  const uint64_t per_click = host.log().next() - start;
  ASSERT_GT(per_click, 0u);
  auto sent_from = [&](uint64_t seq) {
    std::vector<std::string> sent;
    for (auto entry = host.log().From(seq); entry != host.log().end(); ++entry) {
      sent.push_back(entry->Describe());
    }
    return sent;
  };
  const std::vector<std::string> first_click = sent_from(start);
  uint64_t last_click = start;
  while (host.log().next() - start < 3 * host::Log::kCapacity) {
    last_click = host.log().next();
    ASSERT_TRUE(gauge->Click(60, 75));
  }
  const host::Log& log = host.log();
  const uint64_t logged = log.next() - start;
  EXPECT_EQ(logged % per_click, 0u) << "each click sends the same";
  EXPECT_EQ(log.size(), host::Log::kCapacity);
  EXPECT_EQ(log.dropped(), logged - host::Log::kCapacity);
  EXPECT_EQ(log.first(), log.next() - host::Log::kCapacity);
  // Asked from before what was dropped: what is left; from the last click
  // on: what it sent, as the first click sent it.
  EXPECT_EQ(log.From(start), log.begin());
  EXPECT_EQ(sent_from(last_click), first_click);
  EXPECT_EQ(log.From(log.next()), log.end());
  host.ClearLog();
  EXPECT_TRUE(host.log().empty());
  EXPECT_EQ(host.log().dropped(), logged - host::Log::kCapacity) << "clearing is not dropping";
  EXPECT_EQ(host.log().first(), host.log().next()) << "sequence numbers go on";
}

TEST(Variables, ReadBackAsTheModulesSeeThem) {
  host::Variables vars;
  vars.Set(0x2f1, 28.5);
  vars.SetInteger(0x17, 0x2297);
  ModuleVar bus = SimVar(0x2f1);
  ModuleVar com = SimVar(0x17);
  ModuleVar unknown = SimVar(0x999);
  unknown.value = 5.0;
  EXPECT_TRUE(vars.Lookup(bus));
  EXPECT_TRUE(vars.Lookup(com));
  EXPECT_FALSE(vars.Lookup(unknown));
  EXPECT_EQ(bus.value, 28.5);
  EXPECT_EQ(VarInteger(com), 0x2297u);
  EXPECT_EQ(unknown.value, 0.0);
  uint32_t high;
  std::memcpy(&high, reinterpret_cast<const char*>(&com.value) + 4, sizeof high);
  EXPECT_EQ(high, 0u) << "an integer variable leaves the upper four bytes zero";
}

TEST(Variables, NamedStorageOutlivesItsRegistration) {
  host::Variables vars;
  EXPECT_EQ(vars.Named("dhset"), nullptr);
  int32_t* storage = vars.Register("dhset", 7);
  EXPECT_EQ(*storage, 7);
  EXPECT_EQ(vars.Named("dhset"), storage);
  vars.Unregister("dhset");
  EXPECT_EQ(vars.Named("dhset"), nullptr);
  *storage = 3;  // a module still holding the pointer writes harmlessly
  EXPECT_EQ(vars.Register("dhset", 0), storage) << "registered again: same storage";
}

class HitTest : public testing_support::GaugeTest {
 public:
  HitTest() : GaugeTest("orlapfdset") {}
};

TEST_F(HitTest, ARectangleCoversItsFirstAndLastPixelAndNoMore) {
  // TEMP button: x 15, y 86, 31 x 10.
  const MouseRect* temp = gauge().HitTest(15, 86);
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(gauge().HitTest(45, 95), temp);
  EXPECT_EQ(gauge().HitTest(46, 90), nullptr);
  EXPECT_EQ(gauge().HitTest(30, 96), nullptr);
  EXPECT_EQ(gauge().HitTest(14, 90), nullptr);
  EXPECT_EQ(gauge().HitTest(30, 85), nullptr);
}

TEST_F(HitTest, AnEventOutsideTheMaskIsNotTaken) {
  // A push button takes the press only; a knob half also the held repeat.
  EXPECT_EQ(gauge().HitTest(20, 90, kMouseRepeat), nullptr);
  EXPECT_NE(gauge().HitTest(35, 40, kMouseRepeat), nullptr);
  EXPECT_FALSE(gauge().Click(20, 90, kMouseRepeat));
  EXPECT_TRUE(gauge().Click(20, 90, kMousePress));
}

TEST(SeveralGauges, RunSideBySideWithoutInterfering) {
  host::Host host;
  std::string error;
  ASSERT_TRUE(host.LoadSoundLibrary(host::DefaultSoundLibrary(), &error)) << error;
  std::vector<host::Gauge*> gauges;
  for (const char* name : {"VORN_Kestrel_FMC", "orlaaudio", "orlapfdset", "orlahyd"}) {
    host::Module* module = LoadGauge(host, name);
    ASSERT_NE(module, nullptr);
    gauges.push_back(host.CreateGauge(*module));
  }
  host.vars().Set(0x2f1, 28.0);
  host.vars().Set(0x301, 1.0);
  host.vars().SetInteger(0x366, 0x2297);
  for (host::Gauge* gauge : gauges) {
    gauge->Update();
    gauge->Draw();
  }
  host.ClearLog();
  gauges[0]->Click(360, 65);  // R1: COM2 swap
  gauges[1]->Click(95, 80);   // COMM 2
  gauges[2]->Click(35, 40);   // BARO right half
  EXPECT_FALSE(gauges[3]->Click(240, 38)) << "the hydraulics panel takes no clicks";
  std::vector<std::string> who;
  for (const host::LogEntry& entry : host.log()) who.push_back(entry.gauge + ": " + entry.Describe());
  EXPECT_THAT(who, ElementsAre("VORN_Kestrel_FMC: key 0x1038C value 0",
                               "VORN_Kestrel_FMC: play \"sound\\vornqexclick.wav\" \"\" 0",
                               "orlaaudio: play \"sound\\orlaclick.wav\" \"\" 0",
                               "orlaaudio: key 0x103A0 value 0",
                               "orlapfdset: key 0x1015B value 0",
                               "orlapfdset: play \"sound\\orlaclick.wav\" \"\" 0"));
  EXPECT_EQ(gauges[0]->Draw().elements[6].text, "122.97");
}

TEST(SeveralGauges, KeyEventsReachTheSimulatorSideInOrder) {
  host::Host host;
  host::Module* module = LoadGauge(host, "VORN_Kestrel_FMC");
  ASSERT_NE(module, nullptr);
  host::Gauge* gauge = host.CreateGauge(*module);
  std::vector<uint32_t> seen;
  host.OnKeyEvent([&](uint32_t id, uint32_t value) {
    EXPECT_EQ(value, 0u);
    seen.push_back(id);
  });
  gauge->Click(5, 70);    // L1
  gauge->Click(360, 65);  // R1
  EXPECT_THAT(seen, ElementsAre(0x10344u, 0x1038Cu));
}

// A module that changes the floating-point control state (here the
// simulator's side of a key event, run inside the module's mouse call,
// stands in for one) is caught in the log.
TEST(ServiceTable, ACallThatChangesTheFloatingPointStateIsLogged) {
  host::Host host;
  host::Module* module = LoadGauge(host, "VORN_Kestrel_FMC");
  ASSERT_NE(module, nullptr);
  host::Gauge* gauge = host.CreateGauge(*module);
  const host::FpState before = host::ReadFpState();
  if (before.x87_control == 0) GTEST_SKIP() << "no x87 unit on this machine";
  host.OnKeyEvent([](uint32_t, uint32_t) { host::SetX87Precision(24); });
  gauge->Click(5, 70);  // L1
  const int bits[] = {24, 0, 53, 64};
  host::SetX87Precision(bits[(before.x87_control >> 8) & 3]);
  host.OnKeyEvent(nullptr);
  gauge->Click(5, 70);
  EXPECT_EQ(host.fp_state_changes(), 1u);
  const auto changed = std::count_if(host.log().begin(), host.log().end(), [](const auto& entry) {
    return entry.kind == host::LogKind::kFpStateChanged;
  });
  EXPECT_EQ(changed, 1) << "log entries noting the change";
  EXPECT_EQ(host::ReadFpState(), before);
}

TEST(HostNotes, AnUnsimulatedVariableIsNotedOnce) {
  host::Host host;
  host::Module* module = LoadGauge(host, "orlahyd");
  ASSERT_NE(module, nullptr);
  host::Gauge* gauge = host.CreateGauge(*module);
  gauge->Update();
  gauge->Update();
  EXPECT_THAT(host.notes(), ElementsAre(HasSubstr("0x2F1"), HasSubstr("0xA"), HasSubstr("0x2DE"),
                                        HasSubstr("0x2DC")));
}

}  // namespace
