// gauge-check on the files we ship, and on copies of them broken in one way
// each: every check passes on ours and fails, with its own id, on its break.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/gauge_names.h"
#include "formats/file_read.h"
#include "formats/pe_image.h"
#include "frame/elements.h"
#include "frame/record_layout.h"
#include "gauge_check/check_file.h"
#include "gauge_check/checks.h"
#include "gauge_check/pe_layout.h"
#include "gauge_check/pictures.h"
#include "gauge_check/static_checks.h"
#include "tests/run_program.h"

namespace {

using gauge_check::CheckId;
using gauge_check::Report;
using gauge_check::Status;
// A .gau file holds the 32-bit records: every offset below is a field's `narrow` one.
namespace layout = record_layout;

std::string GauPath(const std::string& gauge) {
  return std::string(WIN32_GAUGES_DIR) + "/" + gauge + ".gau";
}

std::string Failures(const Report& report) {
  std::string text;
  for (const gauge_check::Line& line : report.Lines()) {
    if (line.status != Status::kPass) {
      text += "\n  " + std::string(StatusName(line.status)) + " " + line.id + ": expected " +
              line.expected + ", found " + line.found + " (" + line.where + ")";
    }
  }
  for (const std::string& note : report.notes()) text += "\n  note: " + note;
  return text;
}

// A .gau file in memory, with the addresses of its records.
struct GauFile {
  std::vector<uint8_t> bytes;
  gauge_check::PeLayout layout;
  gauge_check::RecordFacts facts;

  explicit GauFile(const std::string& gauge) {
    formats::FileReadError error;
    EXPECT_TRUE(formats::ReadRegularFile(GauPath(gauge), formats::kMaxPeFileBytes, "gauge file",
                                         &bytes, &error))
        << error.message << " (build the Windows tree first: tools/build-win32.sh)";
    std::string why;
    EXPECT_TRUE(gauge_check::ReadPeLayout(bytes, &layout, &why)) << why;
    Report report;
    gauge_check::CheckGauBytes(bytes, gauge + ".gau", report, &facts);
  }

  uint64_t Offset(uint64_t va) const {
    uint64_t offset = 0;
    EXPECT_TRUE(layout.FileOffset(static_cast<uint32_t>(va - layout.image_base), &offset))
        << std::hex << va;
    return offset;
  }
  uint32_t Get(uint64_t va) const {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + Offset(va), 4);
    return value;
  }
  void Put(uint64_t va, uint32_t value) { std::memcpy(bytes.data() + Offset(va), &value, 4); }
  void PutAt(uint64_t offset, uint32_t value) { std::memcpy(bytes.data() + offset, &value, 4); }
  uint64_t Element(size_t index) const { return facts.elements.at(index).address; }
  // Where element `index` holds its children list.
  uint64_t Children(size_t index) const {
    return Element(index) + layout::ElementHead::children.narrow;
  }
  uint64_t MouseRect(size_t index) const {
    return Get(facts.header + layout::GaugeHeader::mouse_rects.narrow) +
           layout::MouseRect::size.narrow * index;
  }
  uint64_t Coff() const { return Get32At(0x3C) + 4; }
  uint32_t Get32At(uint64_t offset) const {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
  }
  // The file offset of the first string `text`.
  uint64_t Find(const std::string& text) const {
    auto it = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
    EXPECT_NE(it, bytes.end()) << text;
    return static_cast<uint64_t>(it - bytes.begin());
  }
  // The file offset of the bitmap of that size whose black pixels `wanted` likes.
  uint64_t Bitmap(int width, int height, const std::function<bool(const gauge_check::Dib&)>& wanted) {
    const uint32_t header[3] = {40, static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    const auto* pattern = reinterpret_cast<const uint8_t*>(header);
    for (auto it = bytes.begin();
         (it = std::search(it, bytes.end(), pattern, pattern + 12)) != bytes.end(); ++it) {
      const std::vector<uint8_t> dib_bytes(it, bytes.end());
      gauge_check::Dib dib;
      std::string why;
      if (gauge_check::ReadDib(dib_bytes, &dib, &why) && wanted(dib)) {
        return static_cast<uint64_t>(it - bytes.begin());
      }
    }
    ADD_FAILURE() << "no " << width << "x" << height << " bitmap of that kind";
    return 0;
  }
  // The palette index of a bitmap's bottom-left pixel.
  uint8_t FirstIndex(uint64_t dib) const { return bytes[dib + 40 + 1024]; }
};

TEST(GaugeCheck, OurGauFilesPassEveryStaticCheck) {
  for (const char* gauge : bench::kGaugeNames) {
    std::vector<uint8_t> bytes;
    formats::FileReadError error;
    ASSERT_TRUE(formats::ReadRegularFile(GauPath(gauge), formats::kMaxPeFileBytes, "gauge file",
                                         &bytes, &error))
        << error.message;
    Report report(gauge);
    gauge_check::CheckGauBytes(bytes, std::string(gauge) + ".gau", report);
    EXPECT_EQ(report.Count(Status::kFail) + report.Count(Status::kWarn), 0)
        << gauge << Failures(report);
    EXPECT_GE(report.Count(Status::kPass), 30) << gauge << Failures(report);
  }
}

TEST(GaugeCheck, OurNativeModulesPassEveryCheckAndRun) {
  gauge_check::Options options;
  options.updates = 60;
  for (const char* gauge : bench::kGaugeNames) {
    const Report report =
        gauge_check::CheckFile(std::string(GAUGES_DIR) + "/" + gauge + ".so", options);
    EXPECT_EQ(report.Count(Status::kFail) + report.Count(Status::kWarn), 0)
        << gauge << Failures(report);
    for (CheckId id : {CheckId::kElementChain, CheckId::kMouseListForm, CheckId::kRunCrash,
                       CheckId::kRunRecords, CheckId::kRunUnload}) {
      bool ran = false;
      for (const gauge_check::Line& line : report.Lines()) {
        ran = ran || line.id == gauge_check::Id(id);
      }
      EXPECT_TRUE(ran) << gauge << " did not run " << gauge_check::Id(id);
    }
  }
}

struct Break {
  const char* id;
  const char* gauge;
  std::function<void(GauFile&)> patch;
  Status status = Status::kFail;
  const char* says = "";  // a part of that line
};

TEST(GaugeCheck, EachBreakageFailsWithItsOwnId) {
  constexpr uint32_t kExecutable = 0x20000000;
  const std::vector<Break> breaks = {
      {"pe-format", "orlahyd", [](GauFile& f) { f.bytes[f.Coff() + 20] = 0x0B, f.bytes[f.Coff() + 21] = 0x02; }},
      {"pe-format", "orlahyd", [](GauFile& f) {  // .rdata's raw data moved onto .data's
         const uint64_t table = f.Coff() + 20 + (f.bytes[f.Coff() + 16] | f.bytes[f.Coff() + 17] << 8);
         f.PutAt(table + 40 * 2 + 20, f.Get32At(table + 40 * 1 + 20));
       }, Status::kFail, "share the bytes of the file"},
      {"pe-machine", "orlahyd", [](GauFile& f) { f.bytes[f.Coff()] = 0x64, f.bytes[f.Coff() + 1] = 0x86; }},
      {"pe-dll", "orlahyd", [](GauFile& f) { f.bytes[f.Coff() + 19] &= ~0x20; }},
      {"export-name", "orlahyd", [](GauFile& f) { f.bytes[f.Find("orlahyd.gau")] = 'O'; }},
      {"exports", "orlahyd", [](GauFile& f) { f.bytes[f.Find("ImportTable") + 10] = 'f'; }},
      {"exports-data", "orlahyd", [](GauFile& f) {
         const uint32_t rva = static_cast<uint32_t>(f.facts.linkage - f.layout.image_base);
         const uint64_t table = f.Coff() + 20 + (f.bytes[f.Coff() + 16] | f.bytes[f.Coff() + 17] << 8);
         for (size_t i = 0; i < f.layout.sections.size(); ++i) {
           const auto& s = f.layout.sections[i];
           if (rva >= s.rva && rva - s.rva < s.span()) {
             f.PutAt(table + 40 * i + 36, s.characteristics | kExecutable);
           }
         }
       }},
      {"imports", "orlahyd", [](GauFile& f) { f.bytes[f.Find("msvcrt.dll") + 5] = 'x'; },
       Status::kWarn},
      {"reloc-table", "orlahyd", [](GauFile& f) {
         f.bytes[f.Coff() + 18] |= 0x01;
         f.PutAt(f.Coff() + 20 + 96 + 5 * 8, 0);
         f.PutAt(f.Coff() + 20 + 100 + 5 * 8, 0);
       }},
      {"reloc-table", "orlahyd", [](GauFile& f) { f.PutAt(f.Coff() + 20 + 100 + 5 * 8, 0x100000); },
       Status::kFail, "does not lie inside one section's data"},
      {"reloc-missing", "orlahyd", [](GauFile& f) {
         const uint32_t field = static_cast<uint32_t>(
             f.facts.linkage + layout::ModuleLinkage::gauge_headers.narrow - f.layout.image_base);
         uint64_t entry = 0;
         const uint32_t relocation = f.layout.RelocationEntries(f.bytes, {field}).at(0);
         ASSERT_TRUE(relocation != 0 && f.layout.FileOffset(relocation, &entry));
         f.bytes[entry + 1] &= 0x0F;  // type 0: padding
       }},
      {"pointer-target", "orlahyd", [](GauFile& f) {
         f.Put(f.facts.header + layout::GaugeHeader::mouse_rects.narrow, 0x7FFF0000);
       }},
      {"linkage-values", "orlahyd", [](GauFile& f) {
         f.Put(f.facts.linkage + layout::ModuleLinkage::module_id.narrow, 0x14);
       }},
      {"linkage-gauges", "orlahyd", [](GauFile& f) {
         f.Put(f.facts.linkage + layout::ModuleLinkage::gauge_headers.narrow, 0);
       }},
      {"import-table", "orlahyd", [](GauFile& f) {
         f.Put(f.facts.spans.front().address, 0x0E);  // the first span read is ImportTable
       }},
      {"header-values", "orlahyd", [](GauFile& f) {
         f.Put(f.facts.header + layout::GaugeHeader::default_size.narrow, 99);
       }},
      {"header-name", "orlahyd", [](GauFile& f) {
         const uint64_t name = f.Get(f.facts.header + layout::GaugeHeader::gauge_name.narrow);
         f.bytes[f.Offset(name) + 4] = ' ';
       }},
      {"callback-in-code", "orlahyd", [](GauFile& f) {
         f.Put(f.facts.header + layout::GaugeHeader::gauge_callback.narrow,
               static_cast<uint32_t>(f.facts.linkage));
       }},
      {"element-kind", "orlaaudio", [](GauFile& f) {
         f.Put(f.Element(1) + layout::ElementHead::element_kind.narrow, 3);
       }},
      {"element-chain", "orlaaudio", [](GauFile& f) {
         f.Put(f.Children(2), f.Get(f.Children(0)));  // back to element 1
       }, Status::kFail, "a cycle back to element 1"},
      {"element-shared", "orlaaudio", [](GauFile& f) {
         // Element 1's list ends in element 9, and runs on into element 2's list.
         f.Put(f.Get(f.Children(1)) + layout::kPointer.narrow, static_cast<uint32_t>(f.Element(9)));
       }, Status::kFail, "the entries of element 1's list"},
      {"element-shared", "orlaaudio", [](GauFile& f) {  // element 2 listed twice
         f.Put(f.Get(f.Children(1)) + layout::kPointer.narrow, static_cast<uint32_t>(f.Element(2)));
       }, Status::kFail, "listed before"},
      {"element-owner", "orlaaudio", [](GauFile& f) {
         f.Put(f.Element(1) + layout::ElementHead::gauge_header.narrow,
               static_cast<uint32_t>(f.Element(1)));
       }},
      {"element-failure-list", "orlaaudio", [](GauFile& f) {
         constexpr uint32_t kFailures = layout::ElementHead::failure_list.narrow;
         f.Put(f.Element(2) + kFailures, f.Get(f.Element(1) + kFailures));  // another's list
       }},
      {"element-flags", "orlaaudio", [](GauFile& f) {
         f.Put(f.Element(1) + layout::ElementHead::image_flags.narrow, 0x87);
       }},
      {"element-values", "orlaaudio", [](GauFile& f) {  // element 1 is an icon
         f.Put(f.Element(1) + layout::IconElement::icon_mode.narrow, 2);
       }},
      {"string-font", "VORN_Kestrel_FMC", [](GauFile& f) {
         for (const auto& e : f.facts.elements) {
           if (e.kind == 2) {
             const uint64_t font = f.Offset(e.address + layout::StringElement::font_name.narrow);
             for (size_t i = 0; i < sizeof StringElement::font_name; ++i) f.bytes[font + i] = 'A';
             return;
           }
         }
       }},
      {"string-box", "VORN_Kestrel_FMC", [](GauFile& f) {
         for (const auto& e : f.facts.elements) {
           if (e.kind == 2) return f.Put(e.address + layout::StringElement::box_width.narrow, 1000);
         }
       }},
      {"needle-scale", "orlahyd", [](GauFile& f) {
         const uint64_t table = f.Get(f.Element(2) + layout::NeedleElement::scale_table.narrow);
         const uint64_t second = table + layout::NeedleScalePoint::size.narrow;
         // The second value turns negative: the top byte of its double.
         f.bytes[f.Offset(second + layout::NeedleScalePoint::value.narrow + 7)] = 0xC0;
       }},
      {"picture-missing", "orlaaudio", [](GauFile& f) {
         f.Put(f.Element(1) + layout::ElementHead::resource_id.narrow, 0x1A00);
       }},
      {"picture-format", "orlahyd", [](GauFile& f) {
         const uint64_t needle = f.Bitmap(28, 13, [](const auto&) { return true; });
         f.bytes[needle + 14] = 4;  // 4 bits per pixel
       }},
      {"picture-language", "orlahyd", [](GauFile& f) {
         // The first language entry of the resource directory.
         for (const auto& s : f.layout.sections) {
           if (s.name != ".rsrc") continue;
           for (uint64_t at = s.raw_offset; at + 8 <= s.raw_offset + s.raw_size; at += 8) {
             if (f.Get32At(at) == 1033 && (f.Get32At(at + 4) & 0x80000000u) == 0) {
               return f.PutAt(at, 1031);
             }
           }
         }
         ADD_FAILURE() << "no language entry";
       }},
      {"resource-kind", "orlahyd", [](GauFile& f) {
         // The version resource's type in the root of the resource directory,
         // made a manifest (24).
         for (const auto& s : f.layout.sections) {
           if (s.name != ".rsrc") continue;
           const uint64_t root = s.raw_offset;
           const uint32_t entries = (f.Get32At(root + 12) & 0xFFFF) + (f.Get32At(root + 12) >> 16);
           for (uint32_t i = 0; i < entries; ++i) {
             if (f.Get32At(root + 16 + 8 * i) == 16) return f.PutAt(root + 16 + 8 * i, 24);
           }
         }
         ADD_FAILURE() << "no version resource";
       }},
      {"version-resource", "orlahyd", [](GauFile& f) {
         const uint8_t signature[] = {0xBD, 0x04, 0xEF, 0xFE};  // the fixed part's
         const auto at = std::search(f.bytes.begin(), f.bytes.end(), signature, signature + 4);
         ASSERT_NE(at, f.bytes.end());
         *at = 0;
       }},
      {"overlay-size", "orlahyd", [](GauFile& f) {
         const uint64_t overlay = f.Bitmap(287, 112, [](const auto& d) { return d.black == d.pixels; });
         f.PutAt(overlay + 8, 111);
       }},
      {"picture-placement", "orlaaudio", [](GauFile& f) {
         f.Put(f.Element(2) + layout::ElementHead::position_x.narrow, 138);
       }},
      {"face-black", "orlahyd", [](GauFile& f) {
         const uint64_t face = f.Bitmap(287, 112, [](const auto& d) { return d.black == 0; });
         f.PutAt(face + 40 + 4 * f.FirstIndex(face), 0);
       }},
      {"overlay-black", "orlahyd", [](GauFile& f) {
         const uint64_t overlay = f.Bitmap(287, 112, [](const auto& d) { return d.black == d.pixels; });
         f.PutAt(overlay + 40 + 4 * f.FirstIndex(overlay), 0x00FFFFFF);
       }},
      {"picture-on-black", "orlahyd", [](GauFile& f) {
         const uint64_t needle = f.Bitmap(28, 13, [](const auto&) { return true; });
         for (int i = 0; i < 256; ++i) f.PutAt(needle + 40 + 4 * i, 0x00FFFFFF);
       }},
      {"mouse-list-form", "orlahyd", [](GauFile& f) {
         f.Put(f.MouseRect(1) + layout::MouseRect::rect_kind.narrow, 0);
       }},
      // a marker's fields are named one by one: the line names this field alone
      {"mouse-list-form", "orlahyd", [](GauFile& f) {
         f.Put(f.MouseRect(0) + layout::MouseRect::mouse_callback.narrow, 0x1234);
       }, Status::kFail, "+36 mouse_callback, 0x"},
      {"mouse-cursor", "orlaaudio", [](GauFile& f) {
         f.Put(f.MouseRect(1) + layout::MouseRect::cursor.narrow, 3);
       }},
      {"mouse-children-overlap", "orlaaudio", [](GauFile& f) {
         for (const uint32_t field : {layout::MouseRect::x.narrow, layout::MouseRect::y.narrow}) {
           f.Put(f.MouseRect(2) + field, f.Get(f.MouseRect(1) + field));
         }
       }},
      {"mouse-child-outside", "orlaaudio", [](GauFile& f) {
         f.Put(f.MouseRect(1) + layout::MouseRect::x.narrow, 139);
       }},
  };
  for (const Break& b : breaks) {
    CheckId known;
    EXPECT_TRUE(gauge_check::FindCheck(b.id, &known)) << b.id << " is no check of the table";
    GauFile file(b.gauge);
    b.patch(file);
    Report report(b.id);
    gauge_check::CheckGauBytes(file.bytes, std::string(b.gauge) + ".gau", report);
    bool found = false;
    for (const gauge_check::Line& line : report.Lines()) {
      found = found || (line.id == b.id && line.status == b.status &&
                        (line.found + line.where).find(b.says) != std::string::npos);
    }
    EXPECT_TRUE(found) << b.gauge << " broken for " << b.id << " gave no " << StatusName(b.status)
                       << " line of that id saying \"" << b.says << "\":" << Failures(report);
  }
}

// Every cut of a file and a spread of damaged bytes: an answer, never a crash.
TEST(GaugeCheck, DamagedFilesFailWithoutACrash) {
  const GauFile good("orlapfdset");
  for (size_t size = 0; size < good.bytes.size(); size += 211) {
    Report report;
    gauge_check::CheckGauBytes({good.bytes.begin(), good.bytes.begin() + static_cast<std::ptrdiff_t>(size)},
                               "orlapfdset.gau", report);
    EXPECT_GT(report.Count(Status::kFail), 0) << "cut to " << size << " bytes";
  }
  for (size_t at = 0; at < std::min<size_t>(good.bytes.size(), 8192); at += 3) {
    std::vector<uint8_t> damaged = good.bytes;
    damaged[at] ^= 0xA5;
    Report report;
    gauge_check::CheckGauBytes(damaged, "orlapfdset.gau", report);
  }
}

struct Misbehaviour {
  std::optional<CheckId> id;  // none: the module behaves
  const char* what;
  const char* found = "";  // in the fail line, where given
};

// How the crash row's child ends. Under AddressSanitizer its own handler
// reports the fault and ends the child with an exit status instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kCrashWords = "";
#else
constexpr const char* kCrashWords = "crashed with SIGSEGV (Segmentation fault)";
#endif

TEST(GaugeCheck, EachMisbehaviourAtRunTimeFailsWithItsOwnId) {
  const std::string module = std::string(TEST_GAUGES_DIR) + "/misbehaving.so";
  gauge_check::Options options;
  options.updates = 20;
  for (const Misbehaviour& m :
       {Misbehaviour{CheckId::kRunLoad, "none"},
        {CheckId::kRunCrash, "crash", kCrashWords},
        {CheckId::kRunTrappedSlot, "slot"}, {CheckId::kRunText, "text"},
        {CheckId::kRunFlags, "flags"}, {CheckId::kRunRecords, "records"},
        {CheckId::kRunFpState, "fp"}, {CheckId::kRunUnload, "leak"}, {std::nullopt, "none"}}) {
    setenv("GAUGE_MISBEHAVE", m.what, 1);
    // A native library that is no gauge module: the sound library.
    const std::string path = m.id == CheckId::kRunLoad
                                 ? std::string(GAUGES_DIR) + "/../lib/libGaugeSound.so"
                                 : module;
    const Report report = gauge_check::CheckFile(path, options);
    if (!m.id) {
      EXPECT_EQ(report.Count(Status::kFail), 0) << "behaving" << Failures(report);
    } else {
      EXPECT_TRUE(report.Failed(*m.id))
          << m.what << ": no fail line " << gauge_check::Id(*m.id) << Failures(report);
      // Where given, how it failed: a crash in the words the host uses.
      EXPECT_NE(Failures(report).find(m.found), std::string::npos) << m.what << Failures(report);
    }
  }
  unsetenv("GAUGE_MISBEHAVE");
}

// docs/gauge-check.md's tables of checks (those headed "| id |") list the
// table's ids, each once, in its order.
TEST(GaugeCheck, TheDocumentListsEveryCheckOfTheTable) {
  std::string doc;
  formats::FileReadError error;
  ASSERT_TRUE(formats::ReadRegularFile(std::string(SOURCE_DIR) + "/docs/gauge-check.md", 1 << 20,
                                    "document", &doc, &error))
      << error.message;
  std::vector<std::string> listed;
  bool in_table = false;
  size_t start = 0;
  for (size_t end; (end = doc.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = doc.substr(start, end - start);
    if (line.rfind("| id |", 0) == 0) {
      in_table = true;
    } else if (line.empty() || line[0] != '|') {
      in_table = false;
    } else if (in_table && line.rfind("|---", 0) != 0) {
      std::string id = line.substr(1, line.find('|', 1) - 1);
      std::erase_if(id, [](char c) { return c == '`' || c == ' '; });
      listed.push_back(id);
    }
  }
  std::vector<std::string> table, missing, unknown;
  for (const gauge_check::CheckInfo& info : gauge_check::AllChecks()) table.push_back(info.id);
  for (const std::string& id : table) {
    if (std::count(listed.begin(), listed.end(), id) != 1) missing.push_back(id);
  }
  for (const std::string& id : listed) {
    if (std::count(table.begin(), table.end(), id) != 1) unknown.push_back(id);
  }
  const auto words = [](const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) text += " " + id;
    return text.empty() ? " none" : text;
  };
  EXPECT_TRUE(missing.empty() && unknown.empty())
      << "not listed once in the document:" << words(missing)
      << "\nlisted in the document but no check of the table:" << words(unknown);
  EXPECT_EQ(listed, table) << "the document lists the checks in another order than the table";
}

struct CommandRow {
  std::vector<std::string> args;
  int code;
  std::string says;             // part of the output
  const char* never = nullptr;  // and what it must not say
  std::vector<std::string> env = {};
  bool stdout_full = false;
  std::string absent = {};  // a file that must not exist afterwards
};

// A run of the half-megabyte name that the long_dependency library needs.
const std::string kLongName(1000, 'd');

TEST(GaugeCheck, EachCommandLineGivesItsExitCodeAndSaysWhy) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("gauge_check_test_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "folder.gau");
  const std::string d = dir.string();
  ASSERT_EQ(mkfifo((dir / "pipe.gau").c_str(), 0600), 0);
  fs::create_symlink("loop.gau", dir / "loop.gau");
  const std::string forged = d + "/x\nx.gau: 36 passed, 0 failed, 0 warnings\x1B[2K.gau";
  std::ofstream(forged) << "not a library";
  std::ofstream(d + "/caf\xC3\xA9.gau") << "not a library";
  // A gauge file under another gauge's name, and one cut short.
  fs::create_directories(dir / "renamed");
  fs::copy_file(std::string(WIN32_GAUGES_DIR) + "/orlaaudio.gau", dir / "renamed" / "orlahyd.gau");
  fs::copy_file(std::string(WIN32_GAUGES_DIR) + "/orlahyd.gau", dir / "cut.gau");
  fs::resize_file(dir / "cut.gau", 4096);
  const std::string module = std::string(TEST_GAUGES_DIR) + "/misbehaving.so";
  const std::string marker = d + "/marker";
  const std::vector<std::string> loud = {"GAUGE_MISBEHAVE=loud", "GAUGE_MARKER=" + marker};

  const CommandRow rows[] = {
      // Static runs no code of the file: its constructor would write the marker.
      {{"--static-only", module}, 0, "pass elf-form", "run-", loud, false, marker},
      // What the module prints while it loads and runs reaches neither stream.
      {{"--json", module}, 0, "{\"files\": [", "talking", loud},
      {{d + "/pipe.gau"}, 3, "a pipe (FIFO), not a regular file"},
      {{d + "/folder.gau"}, 3, "a folder, not a gauge file"},
      {{d + "/loop.gau"}, 3, "a loop of symbolic links"},
      {{"/dev/zero"}, 3, "a character device, not a regular file"},
      {{forged}, 1, "x\\x0Ax.gau: 36 passed, 0 failed, 0 warnings\\x1B[2K.gau: 0 passed, 1 failed",
       "\nx.gau: 36 passed"},
      {{"--json", d + "/caf\xC3\xA9.gau"}, 1, "\"file\": \"" + d + "/caf\xC3\xA9.gau\"", "\\u00"},
      {{"--\x1B[2K"}, 2, "unknown option --\\x1B[2K"},
      {{"--static-only", d + "/renamed/orlahyd.gau"}, 1,
       "fail export-name: expected 'orlahyd', as the file is named (the simulator finds a gauge by its file's name), found 'orlaaudio'"},
      // a library that is no gauge: one failing line says so, and nothing else is said
      {{std::string(WIN32_GAUGES_DIR) + "/../bin/GaugeSound.dll"}, 1,
       "fail exports: expected Linkage and ImportTable, found neither (it exports GaugePlaySound",
       "exports-data"},
      {{(fs::path(GAUGE_CHECK).parent_path().parent_path() / "lib" / "libGaugeSound.so").string()},
       1, "fail run-load: expected a gauge module the host core loads", "run-crash"},
      {{"--static-only", d + "/cut.gau"}, 1,
       "the file is cut short: section .text's data runs to byte"},
      // the loader's words about the file are quoted, clipped, in text and JSON
      {{LONG_DEPENDENCY}, 1, "bytes left out) ... ddd", kLongName.c_str()},
      {{"--json", LONG_DEPENDENCY}, 1, "bytes left out) ... ddd", kLongName.c_str()},
      {{"--list-checks"}, 0, "\nrun-key-event\ta module sending key events"},
      {{"--list-checks", "--json"}, 0, "{\"id\": \"pe-format\", \"protects\": \"a file the"},
      {{"--list-checks", d + "/folder.gau"}, 2, "--list-checks takes no file"},
      {{std::string(WIN32_GAUGES_DIR) + "/orlahyd.gau"}, 4,
       "the results could not be written to standard output", nullptr, {}, true},
  };
  for (const CommandRow& row : rows) {
    std::string line;
    for (const std::string& arg : row.args) line += " " + arg;
    const testing_support::Outcome outcome = testing_support::RunProgram(
        GAUGE_CHECK, row.args, {.env = row.env, .stdout_to = row.stdout_full ? "/dev/full" : nullptr});
    EXPECT_EQ(outcome.code, row.code) << "gauge-check" << line << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(row.says), std::string::npos)
        << "gauge-check" << line << " did not say: " << row.says << "\n" << outcome.output;
    if (row.never != nullptr) {
      EXPECT_EQ(outcome.output.find(row.never), std::string::npos)
          << "gauge-check" << line << " said: " << row.never << "\n" << outcome.output;
    }
    if (!row.absent.empty()) {
      EXPECT_FALSE(fs::exists(row.absent)) << "gauge-check" << line << " ran code of the file";
    }
  }
  // The marker row above proves something only if running the module writes it.
  EXPECT_TRUE(fs::exists(marker)) << "the misbehaving module wrote no marker when it was run";
  fs::remove_all(dir);
}

}  // namespace
