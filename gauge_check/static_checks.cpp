#include "gauge_check/static_checks.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "formats/pe_image.h"
#include "gauge_check/pe_layout.h"
#include "gauge_check/pictures.h"

namespace gauge_check {
namespace {

// The image as the loader maps it at its preferred base.
class PeMemory : public ModuleMemory {
 public:
  PeMemory(const std::vector<uint8_t>& file, const PeLayout& layout)
      : file_(file), layout_(layout) {
    for (const PeSection& s : layout.sections) {
      regions_.push_back(Region{s.name, uint64_t{layout.image_base} + s.rva, s.span(), s.executable()});
    }
  }
  bool wide() const override { return false; }
  bool Read(uint64_t address, void* out, size_t size) const override {
    const uint64_t rva = address - layout_.image_base;
    if (address < layout_.image_base || rva > UINT32_MAX || size > UINT32_MAX) return false;
    return layout_.Read(file_, static_cast<uint32_t>(rva), out, static_cast<uint32_t>(size));
  }
  std::vector<bool> Relocated(const std::vector<uint64_t>& addresses) const override {
    std::vector<uint32_t> rvas;
    rvas.reserve(addresses.size());
    for (uint64_t address : addresses) rvas.push_back(static_cast<uint32_t>(address - layout_.image_base));
    const std::vector<uint32_t> entries = layout_.RelocationEntries(file_, rvas);
    std::vector<bool> relocated(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) relocated[i] = entries[i] != 0;
    return relocated;
  }
  bool relocatable_format() const override { return true; }

 private:
  const std::vector<uint8_t>& file_;
  const PeLayout& layout_;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

void CheckGauBytes(const std::vector<uint8_t>& bytes, const std::string& file_name,
                   Report& report, RecordFacts* facts_out) {
  RecordFacts local;
  RecordFacts& facts = facts_out != nullptr ? *facts_out : local;
  facts = RecordFacts{};

  report.Ran(CheckId::kPeFormat, "a PE32 library (the 32-bit optional header)");
  PeLayout layout;
  std::string why;
  if (!ReadPeLayout(bytes, &layout, &why)) {
    report.Fail(CheckId::kPeFormat, "the file's headers", "a 32-bit Windows library (MZ, PE, PE32)", why);
    return;
  }
  formats::PeImage image;
  why.clear();
  if (!formats::ParsePeImage(bytes, &image, &why)) {
    report.Fail(CheckId::kPeFormat, "the export, import or resource directory",
                "directories that lie inside the file", why);
    return;
  }
  report.Ran(CheckId::kPeMachine, "machine i386 (0x14C)");
  if (layout.machine != formats::kMachineI386) {
    report.Fail(CheckId::kPeMachine, "COFF header", "i386 (0x14C)", Hex(layout.machine));
  }
  report.Ran(CheckId::kPeDll, "a DLL");
  if ((layout.characteristics & formats::kCharacteristicDll) == 0) {
    report.Fail(CheckId::kPeDll, "COFF header characteristics", "the DLL bit 0x2000",
                Hex(layout.characteristics));
  }

  // Exports: exactly Linkage and ImportTable, as data. A library with
  // neither is no gauge module at all (a sound library, say): that is the
  // one thing to say of it.
  report.Ran(CheckId::kExports, "exactly the exports Linkage and ImportTable");
  const auto exports_name = [&](const char* name) {
    for (const formats::PeExport& e : image.exports) {
      if (e.name == name) return true;
    }
    return false;
  };
  if (!exports_name("Linkage") && !exports_name("ImportTable")) {
    std::string names;
    for (size_t i = 0; i < image.exports.size() && i < 4; ++i) {
      names += (i == 0 ? "" : ", ") + image.exports[i].name;
    }
    if (image.exports.size() > 4) names += " and " + std::to_string(image.exports.size() - 4) + " more";
    report.Fail(CheckId::kExports, "the export directory", "Linkage and ImportTable",
                "neither (" + (names.empty() ? std::string("no exports") : "it exports " + names) +
                    "): not a gauge module");
    report.Note("the other checks skipped: the file is not a gauge module");
    facts.not_a_gauge = true;
    return;
  }
  report.Ran(CheckId::kExportsData, "both exports outside code (data, not functions)");
  uint32_t linkage = 0, import_table = 0;
  std::vector<std::string> others;
  for (const formats::PeExport& e : image.exports) {
    if (e.name == "Linkage" && linkage == 0) {
      linkage = e.rva;
    } else if (e.name == "ImportTable" && import_table == 0) {
      import_table = e.rva;
    } else {
      others.push_back(e.name);
    }
    if ((e.section_characteristics & formats::kSectionExecutable) != 0) {
      const PeSection* s = layout.SectionOf(e.rva);
      report.Fail(CheckId::kExportsData, "export " + e.name + " at RVA " + Hex(e.rva),
                  "data outside code", "it lies in " + (s ? s->name : std::string("code")));
    }
  }
  for (const std::string& name : others) {
    report.Fail(CheckId::kExports, "the export directory", "only Linkage and ImportTable",
                "also " + name);
  }
  if (linkage == 0 || import_table == 0) {
    report.Fail(CheckId::kExports, "the export directory", "Linkage and ImportTable",
                std::string(linkage == 0 ? "no Linkage" : "") +
                    (linkage == 0 && import_table == 0 ? " and " : "") +
                    (import_table == 0 ? "no ImportTable" : "") + ": not a gauge module");
  }

  // Imports: the system's own libraries only.
  std::string listed;
  for (const std::string& name : image.imports) listed += (listed.empty() ? "" : ", ") + name;
  report.Ran(CheckId::kImports, "imports " + (listed.empty() ? std::string("nothing") : listed));
  for (const std::string& name : image.imports) {
    const std::string lower = Lower(name);
    if (lower != "kernel32.dll" && lower != "msvcrt.dll") {
      report.Warn(CheckId::kImports, "the import directory", "only KERNEL32.dll and msvcrt.dll",
                  name + ", which must be found beside the simulator");
    }
  }

  // Base relocations.
  report.Ran(CheckId::kRelocTable, "a base relocation table of 32-bit entries");
  if ((layout.characteristics & 0x0001) != 0 || !layout.has_relocation_directory) {
    report.Fail(CheckId::kRelocTable, "COFF header and data directory 5",
                "a base relocation table, so the library can be loaded at any address",
                (layout.characteristics & 0x0001) != 0 ? "relocations stripped (flag 0x0001)"
                                                        : "no base relocation directory");
  } else if (!layout.relocation_error.empty()) {
    report.Fail(CheckId::kRelocTable, "data directory 5", "a readable base relocation table",
                layout.relocation_error);
  }

  if (linkage != 0 && import_table != 0) {
    PeMemory memory(bytes, layout);
    CheckRecords(memory, uint64_t{layout.image_base} + linkage,
                 uint64_t{layout.image_base} + import_table, report, &facts);
  }

  // The simulator finds a gauge by its file's name (in any letter case), so
  // the file must hold the gauge it is named after; and the export directory
  // names the library after the gauge its records hold.
  report.Ran(CheckId::kExportName, "the file holds the gauge it is named after");
  const std::string stem = std::filesystem::path(file_name).stem().string();
  const std::string exported = image.export_name.size() > 4 &&
                                       Lower(image.export_name.substr(image.export_name.size() - 4)) == ".gau"
                                   ? image.export_name.substr(0, image.export_name.size() - 4)
                                   : image.export_name;
  const std::string held = !facts.gauge_name.empty() ? facts.gauge_name : exported;
  if (Lower(held) != Lower(stem)) {
    report.Fail(CheckId::kExportName, "the gauge the file holds",
                "'" + stem + "', as the file is named (the simulator finds a gauge by its file's name)",
                held.empty() ? "no name" : "'" + held + "'");
  }
  if (!facts.gauge_name.empty() && image.export_name != facts.gauge_name + ".gau") {
    report.Fail(CheckId::kExportName, "the export directory's name",
                facts.gauge_name + ".gau (the gauge its records hold)",
                image.export_name.empty() ? "no name" : image.export_name);
  }

  CheckResources(image, report);
  if (facts.complete) CheckPictures(image, facts, report);
}

}  // namespace gauge_check
