// Every check gauge-check knows, written once: its id (what each report line
// and --json name it by), what it protects against and the rule it holds a
// file to, in the order docs/gauge-check.md lists them. Code names a check
// by its CheckId, so an id can be neither misspelt nor left out of the table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace gauge_check {

enum class CheckId : uint8_t {
  // The file (.gau).
  kPeFormat,
  kPeMachine,
  kPeDll,
  kExportName,
  kExports,
  kExportsData,
  kImports,
  kRelocTable,
  kRelocMissing,
  // The records.
  kPointerTarget,
  kLinkageValues,
  kLinkageGauges,
  kImportTable,
  kHeaderValues,
  kHeaderName,
  kCallbackInCode,
  kElementChain,
  kElementShared,
  kElementKind,
  kElementOwner,
  kElementFailureList,
  kElementFlags,
  kElementValues,
  kStringFont,
  kStringBox,
  kNeedleScale,
  kMouseListForm,
  kMouseCursor,
  kMouseChildrenOverlap,
  kMouseChildOutside,
  // The pictures (.gau).
  kPictureMissing,
  kPictureFormat,
  kPictureLanguage,
  kOverlaySize,
  kPicturePlacement,
  kFaceBlack,
  kOverlayBlack,
  kPictureOnBlack,
  kResourceKind,
  kVersionResource,
  // Native modules without running them.
  kElfForm,
  // Running.
  kRunLoad,
  kRunCrash,
  kRunTrappedSlot,
  kRunText,
  kRunFlags,
  kRunRecords,
  kRunFpState,
  kRunUnload,
  kRunKeyEvent,
};

struct CheckInfo {
  CheckId check;
  const char* id;        // kebab-case and stable: scripts and --json readers key on it
  const char* protects;  // what goes wrong in a simulator without it
  const char* rule;      // what a file must be to pass
};

// The whole table, in CheckId order (static storage).
std::span<const CheckInfo> AllChecks();
// The id as printed; the name of a check's row (static storage).
const char* Id(CheckId check);
// The check an id names (an id read back from a child's report); false for
// an id the table does not hold.
bool FindCheck(std::string_view id, CheckId* check);

// The table for gauge-check --list-checks: one check a line, its id, what it
// protects against and the rule, separated by tabs; or as one JSON document.
std::string ChecksText();
std::string ChecksJson();

}  // namespace gauge_check
