#include "gauge_check/checks.h"

#include <iterator>

#include <nlohmann/json.hpp>

namespace gauge_check {
namespace {

using enum CheckId;

constexpr CheckInfo kChecks[] = {
    {kPeFormat, "pe-format",
     "a file the simulator cannot load at all: text, a cut-short file, a 64-bit (PE32+) DLL, "
     "directories outside the file, sections whose data share bytes of the file",
     "a gauge module is a 32-bit library (PE32); each byte of the file belongs to one section "
     "at most"},
    {kPeMachine, "pe-machine", "a library for another processor", "machine i386 (0x14C)"},
    {kPeDll, "pe-dll", "a program instead of a library", "the DLL characteristic"},
    {kExportName, "export-name", "a module the simulator lists under another name",
     "the file holds the gauge it is named after, and the export directory names the library "
     "<gauge name>.gau"},
    {kExports, "exports", "a module the host cannot find its records in, or one exporting more",
     "exactly the exports Linkage and ImportTable"},
    {kExportsData, "exports-data", "records exported as functions (in code)",
     "both exports are data, outside executable sections"},
    {kImports, "imports", "a module that needs a DLL the user does not have (warning, naming it)",
     "imports only KERNEL32.dll and msvcrt.dll"},
    {kRelocTable, "reloc-table",
     "a library linked without base relocations, which breaks wherever Windows places it other "
     "than its preferred base",
     "a readable base relocation table of 32-bit (HIGHLOW) entries, lying inside one section's "
     "data in the file"},
    {kRelocMissing, "reloc-missing",
     "a pointer in the records that the loader does not fix up: garbage as soon as the DLL is "
     "loaded at another address",
     "every non-null pointer field of the records has a base relocation"},

    {kPointerTarget, "pointer-target", "a record the host would read past its section or from "
     "nowhere", "every record lies whole inside one section of the module"},
    {kLinkageValues, "linkage-values", "a module of another kind or version",
     "Linkage: module_id 0x13, module_version 0x800, reserved words 0"},
    {kLinkageGauges, "linkage-gauges", "no gauge, or a second one the host would also create",
     "one gauge header, then the null pointer"},
    {kImportTable, "import-table", "a host that cannot hand over its services",
     "ImportTable: entry 0 service 0x0F with a null table (the host's), entry 1 zero"},
    {kHeaderValues, "header-values", "a header of another version, or host fields already set",
     "GaugeHeader: header_version 0x320, default_size 100, reserved pointers, words and host "
     "run-time fields 0"},
    {kHeaderName, "header-name", "a name that runs on, or cannot be listed on a panel",
     "gauge_name: printable, NUL-terminated within 256 bytes"},
    {kCallbackInCode, "callback-in-code", "a callback the host would jump into data or nowhere",
     "module_init, module_deinit, the gauge callback, every update and mouse callback: not null, "
     "in an executable section"},
    {kElementChain, "element-chain", "a host drawing forever or from nowhere",
     "the chain from the root ends: children lists end with a null pointer, no cycle (an element "
     "listing one it hangs from), at most 4096 elements"},
    {kElementShared, "element-shared",
     "a host drawing one element twice, or two lists that change together",
     "every element is listed once, and every children list is its own: no two lists share "
     "entries"},
    {kElementKind, "element-kind", "an element the host cannot draw",
     "kinds 0, 1, 2, 4; the root (and only the root) a static image of resource 0x100 at 0,0"},
    {kElementOwner, "element-owner", "an element drawn for another gauge",
     "every element's gauge_header points back to its header"},
    {kElementFailureList, "element-failure-list",
     "failure lists the host would read as failures, or share",
     "each element has its own failure list, 12 zero bytes"},
    {kElementFlags, "element-flags", "drawing options other than the host expects",
     "image_flags 0x83 in every element at load"},
    {kElementValues, "element-values",
     "fields the contract fixes or leaves to the host, set otherwise",
     "host words, reserved words and host fields of ModuleVars 0; icons: source var_id 0, "
     "icon_mode 3, picture_count 2 to 4; strings: resource 0xFFFFFFFF, text_buffer null, "
     "background and highlight 0, charset 1, the style word 0x4240; offsets only on a needle"},
    {kStringFont, "string-font", "a font name the host reads past its field",
     "every string's font name is not empty and ends in NUL within its 32 bytes"},
    {kStringBox, "string-box", "text drawn off the gauge",
     "every string's box has a size, starts on the face and is no larger than it (the host clips "
     "what reaches past the edge: the radio page's right column ends 2 pixels past it by "
     "design)"},
    {kNeedleScale, "needle-scale", "a needle that cannot be placed",
     "the scale table has 2 to 1024 points, values strictly ascending (no NaN), angles 0"},
    {kMouseListForm, "mouse-list-form", "a host running off the end of the list",
     "one parent (box 0, cursor none, mask 0, no callback), the children, one parent end, one "
     "end record; children's help_id, key_event and callback_data 0"},
    {kMouseCursor, "mouse-cursor", "an area whose cursor and mouse events disagree",
     "a child's cursor 5 with mask 0x20000000, or 1 or 2 with mask 0x20200000"},
    {kMouseChildrenOverlap, "mouse-children-overlap", "a pixel two areas claim",
     "no two children share a pixel (a rectangle covers x to x + width - 1); one line per "
     "child, naming the first earlier child it overlaps"},
    {kMouseChildOutside, "mouse-child-outside", "an area no one can click, or off the gauge",
     "every child has a size and lies inside the face (needs the face bitmap, so .gau only)"},

    {kPictureMissing, "picture-missing", "a picture the host cannot find",
     "every picture an element can show (the face; an icon's resource_id to resource_id + "
     "picture_count - 1; a needle's bitmap) is a bitmap resource"},
    {kPictureFormat, "picture-format", "a bitmap the simulator does not draw",
     "a 40-byte header, 8 bits per pixel, 1 plane, uncompressed, 256 colours, rows bottom-up, "
     "all its pixels present"},
    {kPictureLanguage, "picture-language", "a bitmap the simulator's resource lookup misses",
     "language 1033 (U.S. English)"},
    {kOverlaySize, "overlay-size", "a full-face overlay that does not cover the face exactly",
     "an icon at 0,0 has pictures of the face's size"},
    {kPicturePlacement, "picture-placement", "a picture drawn off the face",
     "every other icon's pictures lie inside the face; a needle's pivot lies inside its bitmap "
     "and on the face"},
    {kFaceBlack, "face-black", "holes in the face (pure black is not drawn)",
     "the face has no pure black pixel"},
    {kOverlayBlack, "overlay-black", "an overlay that changes the face while it should show "
     "nothing", "a full-face overlay's picture 0 is black all over"},
    {kPictureOnBlack, "picture-on-black", "a lamp, knob, needle or legend drawn as a rectangle",
     "every picture above the face has pure black around what it shows"},
    {kResourceKind, "resource-kind", "resources the simulator never reads riding along",
     "every resource is numbered and is a bitmap or the version resource (type 16)"},
    {kVersionResource, "version-resource",
     "a version a pilot cannot read, or one that says two things",
     "at most one version resource: id 1, U.S. English, a readable VERSIONINFO whose "
     "FileVersion and ProductVersion texts name the versions its numbers give"},

    {kElfForm, "elf-form",
     "a shared object the system's loader would read past (a partial copy, a damaged header)",
     "the ELF checks of the host core (formats/elf_check.h): this machine's class and "
     "processor, a shared object, every table inside the file (--static-only only)"},

    {kRunLoad, "run-load", "a module the host core refuses (it says why)",
     "the file loads as a gauge module, twice"},
    {kRunCrash, "run-crash", "a module that crashes or hangs the simulator",
     "every call returns; the child ends"},
    {kRunTrappedSlot, "run-trapped-slot",
     "a call into a host service the module has no business with",
     "only slots 36, 39 and 40 are called"},
    {kRunText, "run-text", "text the host reads past its buffer",
     "every string's text ends in NUL within the 11 bytes a host must supply"},
    {kRunFlags, "run-flags", "drawing options changed behind the host's back",
     "only bits 0x4 and 0x40000000 of image_flags change"},
    {kRunRecords, "run-records", "records the host reads changing under it",
     "no other byte of the records changes (the host's own fields, a string's refreshed "
     "variable and text buffer excepted)"},
    {kRunFpState, "run-fp-state", "a gauge that changes the simulator's arithmetic",
     "the x87 control word and MXCSR are as the call found them (the host core logs any "
     "change)"},
    {kRunUnload, "run-unload", "a module or sound library left in memory",
     "after unloading twice the module is gone, and once its host is gone the sound library "
     "too"},
    {kRunKeyEvent, "run-key-event", "a module sending key events that are not its own",
     "every key event is one of the module's own (the gauge_driver fuzz target, which knows "
     "each module's table)"},
};

// Each row sits at its CheckId's place, so Id() indexes the table.
constexpr bool InCheckIdOrder() {
  for (size_t i = 0; i < std::size(kChecks); ++i) {
    if (static_cast<size_t>(kChecks[i].check) != i) return false;
  }
  return true;
}
static_assert(InCheckIdOrder(), "kChecks must list every CheckId once, in CheckId order");
static_assert(std::size(kChecks) == static_cast<size_t>(kRunKeyEvent) + 1,
              "kChecks must have a row for every CheckId");

}  // namespace

std::span<const CheckInfo> AllChecks() { return kChecks; }

const char* Id(CheckId check) { return kChecks[static_cast<size_t>(check)].id; }

bool FindCheck(std::string_view id, CheckId* check) {
  for (const CheckInfo& info : kChecks) {
    if (id == info.id) {
      *check = info.check;
      return true;
    }
  }
  return false;
}

std::string ChecksText() {
  std::string out;
  for (const CheckInfo& info : kChecks) {
    out += std::string(info.id) + "\t" + info.protects + "\t" + info.rule + "\n";
  }
  return out;
}

std::string ChecksJson() {
  // One check a line, as the reports' JSON has one line a check.
  const auto string = [](const char* text) { return nlohmann::json(text).dump(); };
  std::string out = "{\"checks\": [";
  for (const CheckInfo& info : kChecks) {
    out += &info == kChecks ? "\n" : ",\n";
    out += "  {\"id\": " + string(info.id) + ", \"protects\": " + string(info.protects) +
           ", \"rule\": " + string(info.rule) + "}";
  }
  return out + "]}\n";
}

}  // namespace gauge_check
