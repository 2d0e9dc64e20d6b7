// One walker over every record the host reads, in one file longer than most:
// each record's checks need the same reader, section map and relocation
// look-ups, and the record kinds follow one another as the host meets them.
#include "gauge_check/records.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "formats/limits.h"
#include "frame/elements.h"
#include "frame/linkage.h"
#include "frame/mouse_rect.h"

namespace gauge_check {
namespace {

// Guards against lists that loop or never end: the host's own, and a name's.
using formats::kMaxGaugeElements;
using formats::kMaxMouseRects;
constexpr size_t kMaxName = 256;

// Offsets by name for either pointer width: the 32-bit layout the simulator
// reads and the 64-bit layout of a native build. The frame asserts the same
// table against its records, in both widths.
namespace layout = record_layout;

const char* KindName(uint32_t kind) {
  switch (kind) {
    case kStaticImage: return "static image";
    case kNeedle: return "needle";
    case kString: return "string";
    case kIcon: return "icon";
  }
  return "unknown kind";
}

class Walker {
 public:
  Walker(const ModuleMemory& memory, Report& report, RecordFacts& facts)
      : m_(memory),
        wide_(memory.wide()),
        ptr_(layout::kPointer.In(wide_)),
        report_(report),
        facts_(facts) {}

  void Run(uint64_t linkage, uint64_t import_table);

 private:
  // "Linkage+24 gauge_headers[0], 0x6B8C3018 in .data"
  std::string Where(const std::string& record, uint64_t base, uint32_t offset,
                    const std::string& field) const {
    const uint64_t address = base + offset;
    const Region* region = m_.RegionOf(address);
    return Format("%s+%u %s, %s in %s", record.c_str(), offset, field.c_str(),
                  Hex(address).c_str(), region != nullptr ? region->name.c_str() : "no section");
  }

  // A field's offset, or a record's size, in the module's layout.
  uint32_t At(layout::Bytes bytes) const { return bytes.In(wide_); }

  uint32_t U32(uint64_t base, uint32_t offset) const {
    uint32_t value = 0;
    m_.Read(base + offset, &value, 4);  // the record was read whole before
    return value;
  }
  int32_t I32(uint64_t base, uint32_t offset) const {
    return static_cast<int32_t>(U32(base, offset));
  }

  // A whole record of `size` bytes at `address`, inside one section.
  bool Readable(uint64_t address, uint32_t size, const std::string& what,
                const std::string& from) {
    std::vector<uint8_t> bytes(size);
    if (address != 0 && m_.Read(address, bytes.data(), size)) return true;
    report_.Fail(CheckId::kPointerTarget, from,
                 Format("%s (%u bytes) inside one section of the module", what.c_str(), size),
                 address == 0 ? "a null pointer" : Hex(address) + ", which it does not cover");
    return false;
  }

  // A pointer field: its value; when not null, its base relocation is
  // looked up with all the others once the walk is done.
  uint64_t Pointer(const std::string& record, uint64_t base, uint32_t offset,
                   const std::string& field) {
    uint64_t value = 0;
    m_.Read(base + offset, &value, ptr_);
    if (value != 0 && m_.relocatable_format()) {
      pointers_.push_back(PointerField{record, base, offset, field, value});
    }
    return value;
  }

  void CheckRelocations() {
    std::vector<uint64_t> addresses;
    addresses.reserve(pointers_.size());
    for (const PointerField& p : pointers_) addresses.push_back(p.base + p.offset);
    const std::vector<bool> relocated = m_.Relocated(addresses);
    for (size_t i = 0; i < pointers_.size(); ++i) {
      if (relocated[i]) continue;
      const PointerField& p = pointers_[i];
      report_.Fail(CheckId::kRelocMissing, Where(p.record, p.base, p.offset, p.field),
                   "a base relocation for the pointer " + Hex(p.value),
                   "none: it breaks when Windows loads the library at another address");
    }
  }

  // A callback field: not null, and pointing into code.
  void Callback(const std::string& record, uint64_t base, uint32_t offset,
                const std::string& field) {
    const uint64_t target = Pointer(record, base, offset, field);
    const Region* region = m_.RegionOf(target);
    if (target == 0 || region == nullptr || !region->executable) {
      report_.Fail(CheckId::kCallbackInCode, Where(record, base, offset, field),
                   "a function in an executable section",
                   target == 0 ? "a null pointer"
                   : region == nullptr
                       ? Hex(target) + ", outside the module"
                       : Hex(target) + " in " + region->name + ", which is not executable");
    }
  }

  // Words that must be zero (the host's or reserved).
  void Zero(CheckId id, const std::string& record, uint64_t base, uint32_t offset,
            uint32_t bytes, const std::string& field) {
    for (uint32_t at = 0; at < bytes; at += 4) {
      const uint32_t value = U32(base, offset + at);
      if (value != 0) {
        report_.Fail(id, Where(record, base, offset + at, field), "0", Hex(value));
        return;
      }
    }
  }

  void Expect(CheckId id, const std::string& record, uint64_t base, uint32_t offset,
              const std::string& field, uint32_t expected) {
    const uint32_t value = U32(base, offset);
    if (value != expected) report_.Fail(id, Where(record, base, offset, field), Hex(expected), Hex(value));
  }

  std::string CString(uint64_t address, size_t limit, bool* terminated) const {
    std::string text;
    *terminated = false;
    for (size_t i = 0; i < limit; ++i) {
      char c = 0;
      if (!m_.Read(address + i, &c, 1)) return text;
      if (c == 0) {
        *terminated = true;
        return text;
      }
      text.push_back(c);
    }
    return text;
  }

  // A ModuleVar inside an element: the host's fields zero.
  void ModuleVarZero(const std::string& record, uint64_t base, uint32_t offset, bool var_id_zero) {
    const uint32_t host_fields = At(layout::ModuleVar::value_ptr);
    if (var_id_zero) {
      Expect(CheckId::kElementValues, record, base, offset + At(layout::ModuleVar::var_id),
             "source var_id", 0);
    }
    Zero(CheckId::kElementValues, record, base, offset + host_fields,
         At(layout::ModuleVar::size) - host_fields, "ModuleVar host fields");
  }

  // A reserved field of an element: zero.
  void Reserved(const std::string& record, uint64_t base, layout::Bytes field, uint32_t bytes) {
    Zero(CheckId::kElementValues, record, base, At(field), bytes,
         bytes == 4 ? "reserved word" : "reserved words");
  }

  void Span(const std::string& name, uint64_t address, uint32_t size,
            std::vector<std::pair<uint32_t, uint32_t>> host_owned = {}, int64_t flags = -1) {
    facts_.spans.push_back(RecordSpan{name, address, size, std::move(host_owned), flags});
  }

  void Linkage(uint64_t at);
  void ImportTable(uint64_t at);
  void Header(uint64_t at);
  void Chain(uint64_t root, const std::string& from);
  // Where an element's children list runs into entries another list has
  // already given: from `entry` on, owned by element `owner`; the first of
  // them is `child`.
  struct SharedList {
    bool found = false;
    size_t entry = 0;
    size_t owner = 0;
    uint64_t child = 0;
  };
  void Element(uint64_t at, size_t index, bool root, std::vector<uint64_t>* children,
               SharedList* shared);
  void MouseList(uint64_t at, const std::string& from);

  struct PointerField {
    std::string record;
    uint64_t base;
    uint32_t offset;
    std::string field;
    uint64_t value;
  };

  const ModuleMemory& m_;
  const bool wide_;
  const uint32_t ptr_;  // a pointer's size in the module
  Report& report_;
  RecordFacts& facts_;
  std::set<uint64_t> failure_lists_;
  std::vector<PointerField> pointers_;
  // Each children-list entry read, with the element whose list it is: every
  // entry is read once, however many lists claim it.
  std::unordered_map<uint64_t, size_t> list_entries_;
};

void Walker::Run(uint64_t linkage, uint64_t import_table) {
  report_.Ran(CheckId::kLinkageValues, "Linkage: module_id 0x13, module_version 0x800, reserved words 0");
  report_.Ran(CheckId::kLinkageGauges, "Linkage lists exactly one gauge header");
  report_.Ran(CheckId::kImportTable, "ImportTable: entry 0 service 0x0F with a null table, then the end");
  ImportTable(import_table);
  Linkage(linkage);
  CheckRelocations();
}

void Walker::ImportTable(uint64_t at) {
  const uint32_t entry = At(layout::ImportEntry::size);
  const uint32_t service_id = At(layout::ImportEntry::service_id);
  const uint32_t service_table = At(layout::ImportEntry::service_table);
  if (!Readable(at, 2 * entry, "the two entries of ImportTable", "the export ImportTable")) {
    return;
  }
  Span("ImportTable", at, 2 * entry, {{service_table, ptr_}});
  Expect(CheckId::kImportTable, "ImportTable", at, service_id, "entry 0 service_id", kHostServicesId);
  if (!m_.loaded()) {
    Zero(CheckId::kImportTable, "ImportTable", at, service_table, ptr_,
         "entry 0 service_table (the host's)");
  }
  Expect(CheckId::kImportTable, "ImportTable", at, entry + service_id, "entry 1 service_id", 0);
  Zero(CheckId::kImportTable, "ImportTable", at, entry + service_table, ptr_, "entry 1 service_table");
}

void Walker::Linkage(uint64_t at) {
  using Fields = layout::ModuleLinkage;
  if (!Readable(at, At(Fields::size), "the Linkage record", "the export Linkage")) return;
  Span("Linkage", at, At(Fields::size));
  Expect(CheckId::kLinkageValues, "Linkage", at, At(Fields::module_id), "module_id", kModuleId);
  Expect(CheckId::kLinkageValues, "Linkage", at, At(Fields::module_version), "module_version",
         kModuleVersion);
  Zero(CheckId::kLinkageValues, "Linkage", at, At(Fields::reserved_1),
       sizeof ModuleLinkage::reserved_1 + sizeof ModuleLinkage::reserved_2, "reserved words");
  Callback("Linkage", at, At(Fields::module_init), "module_init");
  Callback("Linkage", at, At(Fields::module_deinit), "module_deinit");
  const uint32_t headers = At(Fields::gauge_headers);
  const uint64_t header = Pointer("Linkage", at, headers, "gauge_headers[0]");
  const uint64_t second = Pointer("Linkage", at, headers + ptr_, "gauge_headers[1]");
  if (header == 0 || second != 0) {
    report_.Fail(CheckId::kLinkageGauges, Where("Linkage", at, headers, "gauge_headers"),
                 "one gauge header, then a null pointer",
                 header == 0 ? "no gauge header" : "a second gauge header " + Hex(second));
  }
  if (header != 0) Header(header);
}

void Walker::Header(uint64_t at) {
  const std::string from = Format("Linkage gauge_headers[0] = %s", Hex(at).c_str());
  using Fields = layout::GaugeHeader;
  const uint32_t size = At(Fields::size);
  if (!Readable(at, size, "a GaugeHeader", from)) return;
  facts_.header = at;
  Span("GaugeHeader", at, size);
  report_.Ran(CheckId::kHeaderValues,
              "GaugeHeader: header_version 0x320, default_size 100, reserved and host fields 0");
  report_.Ran(CheckId::kHeaderName, "GaugeHeader gauge_name: a NUL-terminated name");
  Expect(CheckId::kHeaderValues, "GaugeHeader", at, At(Fields::header_version), "header_version",
         kHeaderVersion);
  Expect(CheckId::kHeaderValues, "GaugeHeader", at, At(Fields::default_size), "default_size",
         kDefaultSize);
  Zero(CheckId::kHeaderValues, "GaugeHeader", at, At(Fields::reserved_pointers),
       At(Fields::default_size) - At(Fields::reserved_pointers), "reserved pointer slots");
  Zero(CheckId::kHeaderValues, "GaugeHeader", at, At(Fields::reserved_words),
       sizeof GaugeHeader::reserved_words, "reserved words");
  Zero(CheckId::kHeaderValues, "GaugeHeader", at, At(Fields::host_fields), size - At(Fields::host_fields),
       "host run-time fields");

  const uint64_t name = Pointer("GaugeHeader", at, At(Fields::gauge_name), "gauge_name");
  bool terminated = false;
  facts_.gauge_name = name != 0 ? CString(name, kMaxName, &terminated) : "";
  bool printable = true;
  for (char c : facts_.gauge_name) printable = printable && c > 0x20 && c < 0x7F;
  if (!terminated || facts_.gauge_name.empty() || !printable) {
    report_.Fail(CheckId::kHeaderName, Where("GaugeHeader", at, At(Fields::gauge_name), "gauge_name"),
                 Format("a non-empty name of printable characters ending in NUL within %zu bytes",
                        kMaxName),
                 name == 0 ? "a null pointer"
                 : !terminated ? "no NUL (\"" + facts_.gauge_name.substr(0, 40) + "...\")"
                               : "\"" + facts_.gauge_name + "\"");
    if (!terminated) facts_.gauge_name.clear();
  } else {
    Span("gauge name", name, static_cast<uint32_t>(facts_.gauge_name.size() + 1));
  }
  Callback("GaugeHeader", at, At(Fields::gauge_callback), "gauge_callback");

  const uint64_t mouse = Pointer("GaugeHeader", at, At(Fields::mouse_rects), "mouse_rects");
  const uint64_t slot = Pointer("GaugeHeader", at, At(Fields::element_list), "element_list");
  report_.Ran(CheckId::kElementChain, "the element chain ends, without a cycle");
  report_.Ran(CheckId::kElementShared, "every element is listed once, in a children list of its own");
  if (Readable(slot, ptr_, "the slot holding the root element",
               Where("GaugeHeader", at, At(Fields::element_list), "element_list"))) {
    Span("element_list slot", slot, ptr_);
    const uint64_t root = Pointer("element_list slot", slot, 0, "root element");
    Chain(root, Where("element_list slot", slot, 0, "root element"));
  }
  report_.Ran(CheckId::kMouseListForm, "the mouse list: one parent, the children, a parent end, the end");
  const std::string mouse_from = Where("GaugeHeader", at, At(Fields::mouse_rects), "mouse_rects");
  if (Readable(mouse, At(layout::MouseRect::size), "a MouseRect list", mouse_from)) {
    MouseList(mouse, mouse_from);
  }
  facts_.complete = true;
}

void Walker::Chain(uint64_t root, const std::string& from) {
  report_.Ran(CheckId::kElementKind, "every element of a known kind (root: the face, a static image "
                              "of resource 0x100 at 0,0)");
  report_.Ran(CheckId::kElementOwner, "every element's gauge_header points back to its header");
  report_.Ran(CheckId::kElementFailureList, "every element has its own empty failure list");
  report_.Ran(CheckId::kElementFlags, "every element's image_flags is 0x83");
  report_.Ran(CheckId::kElementValues, "fixed fields of every element as the frame gives them");
  if (root == 0) {
    report_.Fail(CheckId::kElementChain, from, "a root element", "a null pointer");
    return;
  }
  // Depth first, each element before its children, as the host draws them;
  // each element once. An element met again is a cycle when it is one of
  // those it hangs from, else an element with two parents.
  struct OnPath {  // an element on the path from the root, and its children still to walk
    uint64_t at;
    size_t index;
    std::vector<uint64_t> children;
    size_t next = 0;
  };
  std::vector<OnPath> path;
  std::unordered_set<uint64_t> on_path;
  std::unordered_map<uint64_t, size_t> seen;  // each element walked, with its index
  const auto cycle = [&](const std::string& where, uint64_t to) {
    report_.Fail(CheckId::kElementChain, where, "a chain that ends, without a cycle",
                 Format("a cycle back to element %zu at %s", seen[to], Hex(to).c_str()));
  };
  const auto visit = [&](uint64_t at) {
    if (seen.size() >= kMaxGaugeElements) {
      report_.Fail(CheckId::kElementChain, "", Format("at most %zu elements", kMaxGaugeElements),
                   "more");
      return false;
    }
    const size_t index = facts_.elements.size();
    seen.emplace(at, index);
    on_path.insert(at);
    OnPath step{at, index, {}};
    SharedList shared;
    Element(at, index, at == root, &step.children, &shared);
    if (shared.found) {
      const std::string where = Format("element %zu children[%zu]", index, shared.entry);
      if (on_path.count(shared.child) != 0) {
        cycle(where, shared.child);
      } else {
        report_.Fail(CheckId::kElementShared, where, "a children list of its own",
                     Format("the entries of element %zu's list, from %s on", shared.owner,
                            Hex(shared.child).c_str()));
      }
    }
    path.push_back(std::move(step));
    return true;
  };
  if (!visit(root)) return;
  while (!path.empty()) {
    OnPath& top = path.back();
    if (top.next == top.children.size()) {
      on_path.erase(top.at);
      path.pop_back();
      continue;
    }
    const size_t entry = top.next++;
    const uint64_t child = top.children[entry];
    if (on_path.count(child) != 0) {
      cycle(Format("element %zu children[%zu]", top.index, entry), child);
    } else if (const auto it = seen.find(child); it != seen.end()) {
      report_.Fail(CheckId::kElementShared, Format("element %zu children[%zu]", top.index, entry),
                   "an element listed once",
                   Format("element %zu at %s, listed before", it->second, Hex(child).c_str()));
    } else if (!visit(child)) {
      return;
    }
  }
}

void Walker::Element(uint64_t at, size_t index, bool root, std::vector<uint64_t>* children,
                     SharedList* shared) {
  using Head = layout::ElementHead;
  const std::string from = Format("element %zu", index);
  if (!Readable(at, At(Head::size), "an element head", from)) return;
  const uint32_t kind = U32(at, At(Head::element_kind));
  const std::string record = Format("element %zu (%s)", index, KindName(kind));
  uint32_t size = 0;
  switch (kind) {
    case kStaticImage: size = At(layout::StaticImageElement::size); break;
    case kIcon: size = At(layout::IconElement::size); break;
    case kNeedle: size = At(layout::NeedleElement::size); break;
    case kString: size = At(layout::StringElement::size); break;
    default:
      report_.Fail(CheckId::kElementKind, Where(record, at, At(Head::element_kind), "element_kind"),
                   "0 (static image), 1 (needle), 2 (string) or 4 (icon)", Hex(kind));
      return;
  }
  if (!Readable(at, size, Format("a whole %s record", KindName(kind)), record)) return;

  ElementFacts element{.address = at,
                       .kind = kind,
                       .resource_id = U32(at, At(Head::resource_id)),
                       .x = I32(at, At(Head::position_x)),
                       .y = I32(at, At(Head::position_y)),
                       .offset_x = I32(at, At(Head::offset_x)),
                       .offset_y = I32(at, At(Head::offset_y)),
                       .where = Format("%s at %s", record.c_str(), Hex(at).c_str())};

  std::vector<std::pair<uint32_t, uint32_t>> host_owned;
  if (root && (kind != kStaticImage || element.resource_id != 0x100 || element.x != 0 ||
               element.y != 0)) {
    report_.Fail(CheckId::kElementKind, Where(record, at, At(Head::element_kind), "element_kind"),
                 "the root: a static image of resource 0x100 at 0,0",
                 Format("kind %u resource %s at %d,%d", kind, Hex(element.resource_id).c_str(),
                        element.x, element.y));
  } else if (!root && kind == kStaticImage) {
    report_.Fail(CheckId::kElementKind, Where(record, at, At(Head::element_kind), "element_kind"),
                 "a static image only at the root", "one further down the chain");
  }

  const uint64_t owner = Pointer(record, at, At(Head::gauge_header), "gauge_header");
  if (owner != facts_.header) {
    report_.Fail(CheckId::kElementOwner, Where(record, at, At(Head::gauge_header), "gauge_header"),
                 "the owning GaugeHeader " + Hex(facts_.header), Hex(owner));
  }
  const uint32_t flags_at = At(Head::image_flags);
  const uint32_t flags = U32(at, flags_at);
  if (flags != kFlagsAtLoad) {
    report_.Fail(CheckId::kElementFlags, Where(record, at, flags_at, "image_flags"), "0x83", Hex(flags));
  }
  Zero(CheckId::kElementValues, record, at, At(Head::host_words), sizeof ElementHead::host_words,
       "host words");
  Zero(CheckId::kElementValues, record, at, At(Head::host_pointer), ptr_, "host pointer");
  Reserved(record, at, Head::reserved, sizeof ElementHead::reserved);
  if (kind != kNeedle) {
    Zero(CheckId::kElementValues, record, at, At(Head::offset_x),
         sizeof ElementHead::offset_x + sizeof ElementHead::offset_y,
         "offset_x, offset_y (a needle's only)");
  }

  const uint32_t failures_at = At(Head::failure_list);
  const uint64_t failures = Pointer(record, at, failures_at, "failure_list");
  // No pointers in it: the native record reads either layout.
  FailureRecord failure_list{};
  static_assert(layout::FailureRecord::size.narrow == layout::FailureRecord::size.wide);
  if (Readable(failures, sizeof failure_list, "an empty failure list (12 bytes)",
               Where(record, at, failures_at, "failure_list"))) {
    m_.Read(failures, &failure_list, sizeof failure_list);
    const auto set = [](uint32_t word) { return word != 0; };
    if (std::any_of(std::begin(failure_list.words), std::end(failure_list.words), set)) {
      report_.Fail(CheckId::kElementFailureList, Where(record, at, failures_at, "failure_list"),
                   "a list that ends at once (12 zero bytes)", "non-zero bytes at " + Hex(failures));
    } else if (!failure_lists_.insert(failures).second) {
      report_.Fail(CheckId::kElementFailureList, Where(record, at, failures_at, "failure_list"),
                   "a failure list of its own", "the list of an earlier element, " + Hex(failures));
    }
    Span(record + " failure list", failures, sizeof failure_list);
  }

  switch (kind) {
    case kStaticImage:
      Zero(CheckId::kElementValues, record, at, At(layout::StaticImageElement::reserved),
           sizeof StaticImageElement::reserved, "static image words");
      break;
    case kIcon: {
      using Icon = layout::IconElement;
      element.picture_count = U32(at, At(Icon::picture_count));
      ModuleVarZero(record, at, At(Icon::source_var), true);
      Reserved(record, at, Icon::reserved_1, sizeof IconElement::reserved_1);
      Expect(CheckId::kElementValues, record, at, At(Icon::icon_mode), "icon_mode", 3);
      Reserved(record, at, Icon::reserved_2, sizeof IconElement::reserved_2);
      if (element.picture_count < 2 || element.picture_count > 4) {
        report_.Fail(CheckId::kElementValues, Where(record, at, At(Icon::picture_count), "picture_count"),
                     "2, 3 or 4", std::to_string(element.picture_count));
        element.picture_count = std::min<uint32_t>(element.picture_count, 256);
      }
      Reserved(record, at, Icon::reserved_3, sizeof IconElement::reserved_3);
      Callback(record, at, At(Icon::update_callback), "update_callback");
      Reserved(record, at, Icon::reserved_4, sizeof IconElement::reserved_4);
      break;
    }
    case kNeedle: {
      using Needle = layout::NeedleElement;
      using Point = layout::NeedleScalePoint;
      ModuleVarZero(record, at, At(Needle::source_var), true);
      Reserved(record, at, Needle::reserved_1, sizeof NeedleElement::reserved_1);
      Reserved(record, at, Needle::reserved_2, sizeof NeedleElement::reserved_2);
      Reserved(record, at, Needle::reserved_3, sizeof NeedleElement::reserved_3);
      Callback(record, at, At(Needle::update_callback), "update_callback");
      report_.Ran(CheckId::kNeedleScale, "needle scale tables: values ascending, angles 0");
      const uint64_t table = Pointer(record, at, At(Needle::scale_table), "scale_table");
      const uint32_t count = U32(at, At(Needle::scale_point_count));
      const std::string where = Where(record, at, At(Needle::scale_table), "scale_table");
      const uint32_t point = At(Point::size);
      if (count < 2 || count > 1024) {
        report_.Fail(CheckId::kNeedleScale,
                     Where(record, at, At(Needle::scale_point_count), "scale_point_count"),
                     "2 to 1024 scale points", std::to_string(count));
      } else if (Readable(table, count * point, Format("%u NeedleScalePoint entries", count),
                          where)) {
        Span(record + " scale table", table, count * point);
        double previous = -INFINITY;
        for (uint32_t i = 0; i < count; ++i) {
          const uint64_t entry = table + uint64_t{point} * i;
          double value = 0, angle = 0;
          m_.Read(entry + At(Point::value), &value, sizeof value);
          m_.Read(entry + At(Point::angle), &angle, sizeof angle);
          if (!(value > previous)) {
            report_.Fail(CheckId::kNeedleScale, Format("%s entry %u value, %s", record.c_str(), i,
                                                Hex(entry + At(Point::value)).c_str()),
                         Format("a value above the one before (%g)", previous), Format("%g", value));
          }
          if (angle != 0.0) {
            report_.Fail(CheckId::kNeedleScale, Format("%s entry %u angle", record.c_str(), i),
                         "0 (the host's)", Format("%g", angle));
          }
          previous = value;
        }
      }
      break;
    }
    case kString: {
      using Text = layout::StringElement;
      using Var = layout::ModuleVar;
      const uint32_t sources = At(Text::source_vars);
      element.box_width = I32(at, At(Text::box_width));
      element.box_height = I32(at, At(Text::box_height));
      // The variable the host refreshes: the value and the one before.
      host_owned.push_back({sources + At(Var::value), At(Var::size) - At(Var::value)});
      host_owned.push_back({At(Text::text_buffer), ptr_});
      Expect(CheckId::kElementValues, record, at, At(Head::resource_id), "resource_id", kNoResource);
      ModuleVarZero(record, at, sources, false);
      ModuleVarZero(record, at, sources + At(Var::size), true);
      ModuleVarZero(record, at, sources + 2 * At(Var::size), true);
      Reserved(record, at, Text::reserved_1, sizeof StringElement::reserved_1);
      Zero(CheckId::kElementValues, record, at, At(Text::text_buffer), ptr_, "text_buffer (the host's)");
      Reserved(record, at, Text::reserved_2, sizeof StringElement::reserved_2);
      Reserved(record, at, Text::reserved_3, sizeof StringElement::reserved_3);
      Zero(CheckId::kElementValues, record, at, At(Text::background_colour),
           sizeof StringElement::background_colour + sizeof StringElement::highlight_colour,
           "background and highlight colours");
      Reserved(record, at, Text::reserved_4, sizeof StringElement::reserved_4);
      Expect(CheckId::kElementValues, record, at, At(Text::font_charset), "font_charset", 1);
      Reserved(record, at, Text::reserved_5, sizeof StringElement::reserved_5);
      Expect(CheckId::kElementValues, record, at, At(Text::string_style), "the style word", kStringStyle);
      Reserved(record, at, Text::reserved_6, sizeof StringElement::reserved_6);
      Reserved(record, at, Text::reserved_7, sizeof StringElement::reserved_7);
      Callback(record, at, At(Text::update_callback), "update_callback");
      report_.Ran(CheckId::kStringFont, "every string's font name ends in NUL within its 32 bytes");
      char font[sizeof StringElement::font_name];
      m_.Read(at + At(Text::font_name), font, sizeof font);
      const size_t length = strnlen(font, sizeof font);
      if (length == 0 || length == sizeof font) {
        report_.Fail(CheckId::kStringFont, Where(record, at, At(Text::font_name), "font_name"),
                     "a font face name ending in NUL within 32 bytes",
                     length == 0 ? "an empty name" : "no NUL in 32 bytes");
      }
      report_.Ran(CheckId::kStringBox, "every string's box starts on the face and is no larger than it");
      if (element.box_width <= 0 || element.box_height <= 0) {
        report_.Fail(CheckId::kStringBox,
                     Where(record, at, At(Text::box_width), "box_width, box_height"),
                     "a box wider and higher than 0",
                     Format("%d x %d", element.box_width, element.box_height));
      }
      break;
    }
  }
  Span(record, at, size, std::move(host_owned), flags_at);

  const uint64_t list = Pointer(record, at, At(Head::children), "children");
  const std::string where =
      list != 0 ? Where(record, at, At(Head::children), "children") : std::string();
  for (size_t i = 0; list != 0; ++i) {
    const char* const wanted = "a children list that ends with a null pointer";
    const auto owned = list_entries_.emplace(list + i * ptr_, index);
    if (!owned.second) {
      *shared = SharedList{true, i, owned.first->second, 0};
      m_.Read(list + i * ptr_, &shared->child, ptr_);
      break;
    }
    if (i >= kMaxGaugeElements) {
      report_.Fail(CheckId::kElementChain, where, wanted,
                   Format("none in %zu entries", kMaxGaugeElements));
      break;
    }
    if (!Readable(list + i * ptr_, ptr_, wanted, where)) break;
    const uint64_t child = Pointer(record + " children", list, static_cast<uint32_t>(i * ptr_),
                                   Format("[%zu]", i));
    if (child == 0) {
      Span(record + " children", list, static_cast<uint32_t>((i + 1) * ptr_));
      break;
    }
    children->push_back(child);
  }
  facts_.elements.push_back(element);
}

void Walker::MouseList(uint64_t at, const std::string& from) {
  report_.Ran(CheckId::kMouseCursor, "every mouse child's cursor is 1, 2 or 5 with its event mask");
  report_.Ran(CheckId::kMouseChildrenOverlap, "no two mouse children share a pixel");
  // Kinds in order: 1, 2..., 3, 0.
  size_t i = 0;
  bool ended = false;
  int stage = 0;  // 0 before the parent, 1 children, 2 after the parent end
  using Rect = layout::MouseRect;
  const uint32_t size = At(Rect::size);
  for (; i < kMaxMouseRects; ++i) {
    const uint64_t rect = at + i * size;
    if (!Readable(rect, size, "a whole MouseRect", Format("%s, record %zu", from.c_str(), i))) {
      return;
    }
    const std::string record = Format("MouseRect %zu", i);
    const uint32_t kind = U32(rect, At(Rect::rect_kind));
    const bool in_order = (stage == 0 && kind == kRectParent) ||
                          (stage == 1 && (kind == kRectChild || kind == kRectParentEnd)) ||
                          (stage == 2 && kind == kRectEnd);
    if (!in_order) {
      static const char* const kExpected[] = {"1 (parent)", "2 (child) or 3 (parent end)",
                                              "0 (end of the list)"};
      report_.Fail(CheckId::kMouseListForm, Where(record, rect, At(Rect::rect_kind), "rect_kind"),
                   kExpected[stage], std::to_string(kind));
      return;
    }
    stage = kind == kRectParent ? 1 : kind == kRectParentEnd ? 2 : stage;
    if (kind == kRectChild) {
      MouseChildFacts child{I32(rect, At(Rect::x)),     I32(rect, At(Rect::y)),
                            I32(rect, At(Rect::width)), I32(rect, At(Rect::height)),
                            rect, Format("%s at %s", record.c_str(), Hex(rect).c_str())};
      const uint32_t cursor = U32(rect, At(Rect::cursor));
      const uint32_t mask = U32(rect, At(Rect::event_mask));
      const uint32_t wanted = cursor == kCursorHand ? kMaskPush : kMaskArrow;
      if (cursor != kCursorUp && cursor != kCursorDown && cursor != kCursorHand) {
        report_.Fail(CheckId::kMouseCursor, Where(record, rect, At(Rect::cursor), "cursor"), "1, 2 or 5",
                     std::to_string(cursor));
      } else if (mask != wanted) {
        report_.Fail(CheckId::kMouseCursor, Where(record, rect, At(Rect::event_mask), "event_mask"),
                     Format("%s with cursor %u", Hex(wanted).c_str(), cursor), Hex(mask));
      }
      Zero(CheckId::kMouseListForm, record, rect, At(Rect::help_id), sizeof MouseRect::help_id,
           "help_id");
      Zero(CheckId::kMouseListForm, record, rect, At(Rect::key_event), sizeof MouseRect::key_event,
           "key_event");
      Zero(CheckId::kMouseListForm, record, rect, At(Rect::callback_data),
           sizeof MouseRect::callback_data, "callback_data");
      Callback(record, rect, At(Rect::mouse_callback), "mouse_callback");
      // Against the children before it, up to the first it overlaps: one
      // fault a child, however many it overlaps.
      for (const MouseChildFacts& other : facts_.children) {
        const int64_t left = std::max<int64_t>(child.x, other.x);
        const int64_t top = std::max<int64_t>(child.y, other.y);
        const int64_t right = std::min<int64_t>(int64_t{child.x} + child.width,
                                                int64_t{other.x} + other.width);
        const int64_t bottom = std::min<int64_t>(int64_t{child.y} + child.height,
                                                 int64_t{other.y} + other.height);
        if (left < right && top < bottom) {
          report_.Fail(CheckId::kMouseChildrenOverlap, child.where,
                       "no pixel shared with another child",
                       Format("pixels from %lld,%lld to %lld,%lld shared with %s",
                              static_cast<long long>(left), static_cast<long long>(top),
                              static_cast<long long>(right - 1), static_cast<long long>(bottom - 1),
                              other.where.c_str()));
          break;
        }
      }
      facts_.children.push_back(child);
    } else {
      Zero(CheckId::kMouseListForm, record, rect, At(Rect::x), At(Rect::cursor) - At(Rect::x),
           "box (a marker's is 0,0 0x0)");
      Expect(CheckId::kMouseListForm, record, rect, At(Rect::cursor), "cursor", kCursorNone);
      // Each field by its own offset and width, so that a fault names its field.
      constexpr layout::Bytes kWord = {4, 4};
      const struct {
        layout::Bytes at, width;
        const char* name;
      } kZeroFields[] = {{Rect::help_id, kWord, "help_id"},
                         {Rect::event_mask, kWord, "event_mask"},
                         {Rect::key_event, kWord, "key_event"},
                         {Rect::mouse_callback, layout::kPointer, "mouse_callback"},
                         {Rect::callback_data, kWord, "callback_data"}};
      for (const auto& field : kZeroFields) {
        Zero(CheckId::kMouseListForm, record, rect, At(field.at), At(field.width), field.name);
      }
    }
    if (kind == kRectEnd) {
      ended = true;
      break;
    }
  }
  if (!ended) {
    report_.Fail(CheckId::kMouseListForm, from, "an end record (kind 0)",
                 Format("none in %zu records", kMaxMouseRects));
    return;
  }
  Span("MouseRect list", at, static_cast<uint32_t>((i + 1) * size));
}

}  // namespace

const Region* ModuleMemory::RegionOf(uint64_t address) const {
  for (const Region& r : regions_) {
    if (address >= r.start && address - r.start < r.size) return &r;
  }
  return nullptr;
}

void CheckRecords(const ModuleMemory& memory, uint64_t linkage, uint64_t import_table,
                  Report& report, RecordFacts* facts) {
  *facts = RecordFacts{};
  facts->linkage = linkage;
  report.Ran(CheckId::kPointerTarget, "every record lies whole inside one section of the module");
  report.Ran(CheckId::kCallbackInCode, "every callback points into an executable section");
  // Checks of a kind of record run on every gauge, and pass on one that has
  // none of that kind: each check that ran says so once.
  report.Ran(CheckId::kNeedleScale, "needle scale tables: values ascending, angles 0");
  report.Ran(CheckId::kStringFont, "every string's font name ends in NUL within its 32 bytes");
  if (memory.relocatable_format()) {
    report.Ran(CheckId::kRelocMissing, "every pointer field of the records has a base relocation");
  }
  Walker(memory, report, *facts).Run(linkage, import_table);
}

void CheckInsideFace(const RecordFacts& facts, int face_width, int face_height, Report& report) {
  // A text box starts on the face and is no larger than it; the host clips
  // what reaches past the edge (the radio page's right column does).
  report.Ran(CheckId::kStringBox, "every string's box starts on the face and is no larger than it");
  for (const ElementFacts& e : facts.elements) {
    if (e.kind == kString && e.box_width > 0 && e.box_height > 0 &&
        (e.x < 0 || e.y < 0 || e.x >= face_width || e.y >= face_height ||
         e.box_width > face_width || e.box_height > face_height)) {
      report.Fail(CheckId::kStringBox, e.where,
                  Format("a text box starting on the face and at most %dx%d", face_width,
                         face_height),
                  Format("%d,%d %dx%d", e.x, e.y, e.box_width, e.box_height));
    }
  }
  report.Ran(CheckId::kMouseChildOutside, "every mouse child has a size and lies inside the face");
  for (const MouseChildFacts& c : facts.children) {
    if (c.x < 0 || c.y < 0 || c.width <= 0 || c.height <= 0 ||
        int64_t{c.x} + c.width > face_width || int64_t{c.y} + c.height > face_height) {
      report.Fail(CheckId::kMouseChildOutside, c.where,
                  Format("a rectangle inside the face, 0,0 %dx%d", face_width, face_height),
                  Format("%d,%d %dx%d", c.x, c.y, c.width, c.height));
    }
  }
}

}  // namespace gauge_check
