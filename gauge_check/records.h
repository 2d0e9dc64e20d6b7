// The records a gauge module hands its host (Linkage, ImportTable, the gauge
// header, the element chain, the mouse list), read through a view of the
// module's memory as its loader lays it out, and checked against the frame's
// contract. The same checks serve a 32-bit Windows file read from disk
// (4-byte pointers at the preferred image base, each of which needs a base
// relocation) and a native module loaded into this process (8-byte
// pointers, read only inside the module's own segments).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gauge_check/report.h"

namespace gauge_check {

// A piece of the module's address space: a section or a loaded segment.
struct Region {
  std::string name;
  uint64_t start = 0;
  uint64_t size = 0;
  bool executable = false;
};

class ModuleMemory {
 public:
  virtual ~ModuleMemory() = default;
  virtual bool wide() const = 0;  // 8-byte pointers
  // Copies `size` bytes at `address`; false unless all lie in one region.
  virtual bool Read(uint64_t address, void* out, size_t size) const = 0;
  const Region* RegionOf(uint64_t address) const;  // null outside every region
  // For each address, whether a pointer stored there is fixed up by the
  // loader when it places the module elsewhere: asked once, for every
  // pointer field of the records together. Formats without this question
  // give true.
  virtual std::vector<bool> Relocated(const std::vector<uint64_t>& addresses) const = 0;
  virtual bool relocatable_format() const = 0;  // ask Relocated at all
  // A module already loaded by the host core, which wrote its service table
  // into ImportTable entry 0.
  virtual bool loaded() const { return false; }

 protected:
  std::vector<Region> regions_;
};

// One element as the records give it.
struct ElementFacts {
  uint64_t address = 0;
  uint32_t kind = 0;
  uint32_t resource_id = 0;
  int32_t x = 0, y = 0;
  int32_t offset_x = 0, offset_y = 0;  // a needle's pivot in its bitmap
  uint32_t picture_count = 0;          // icons
  int32_t box_width = 0, box_height = 0;  // strings
  std::string where;
};

struct MouseChildFacts {
  int32_t x = 0, y = 0, width = 0, height = 0;
  uint64_t address = 0;
  std::string where;
};

// Bytes of the records that nobody but the host may change at run time.
struct RecordSpan {
  std::string name;
  uint64_t address = 0;
  uint32_t size = 0;
  // Offsets inside the span that the host writes (skipped when comparing),
  // each with its width.
  std::vector<std::pair<uint32_t, uint32_t>> host_owned;
  // The offset of `image_flags`, for an element; else -1.
  int64_t image_flags = -1;
};

struct RecordFacts {
  bool complete = false;       // the walk reached every record
  bool not_a_gauge = false;    // the file exports no records at all
  std::string gauge_name;
  uint64_t linkage = 0;       // where the records were read from
  uint64_t header = 0;
  std::vector<ElementFacts> elements;
  std::vector<MouseChildFacts> children;
  std::vector<RecordSpan> spans;
};

// Walks and checks every record from `linkage` and `import_table`.
void CheckRecords(const ModuleMemory& memory, uint64_t linkage, uint64_t import_table,
                  Report& report, RecordFacts* facts);

// What needs the face's size: string boxes and mouse children inside it.
void CheckInsideFace(const RecordFacts& facts, int face_width, int face_height, Report& report);

}  // namespace gauge_check
