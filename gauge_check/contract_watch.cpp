#include "gauge_check/contract_watch.h"

#include <algorithm>
#include <cstring>

#if !defined(_WIN32)
#include <link.h>
#endif

#include "frame/elements.h"

namespace gauge_check {

#if defined(_WIN32)
bool LoadedMemory::Find(const void*, std::string* why) {
  *why = "reading a loaded module's segments is not done on Windows";
  return false;
}
#else
bool LoadedMemory::Find(const void* address, std::string* why) {
  struct Search {
    uintptr_t address;
    std::vector<Region>* regions;
  } search{reinterpret_cast<uintptr_t>(address), &regions_};
  regions_.clear();
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) -> int {
        auto* s = static_cast<Search*>(data);
        std::vector<Region> regions;
        bool holds = false;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr)& ph = info->dlpi_phdr[i];
          if (ph.p_type != PT_LOAD) continue;
          const uint64_t start = info->dlpi_addr + ph.p_vaddr;
          char name[48];
          std::snprintf(name, sizeof name, "segment %d (%c%c%c)", i,
                        (ph.p_flags & PF_R) ? 'r' : '-', (ph.p_flags & PF_W) ? 'w' : '-',
                        (ph.p_flags & PF_X) ? 'x' : '-');
          regions.push_back(Region{name, start, ph.p_memsz, (ph.p_flags & PF_X) != 0});
          holds = holds || (s->address >= start && s->address - start < ph.p_memsz);
        }
        if (!holds) return 0;
        *s->regions = std::move(regions);
        return 1;
      },
      &search);
  if (regions_.empty()) *why = "no loaded module holds " + Hex(search.address);
  return !regions_.empty();
}
#endif

bool LoadedMemory::Read(uint64_t address, void* out, size_t size) const {
  const Region* region = RegionOf(address);
  if (region == nullptr || size > region->size - (address - region->start)) return false;
  std::memcpy(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), size);
  return true;
}

ContractWatch::ContractWatch(const std::vector<RecordSpan>& spans, int64_t delta) {
  for (const RecordSpan& span : spans) {
    Snapshot s{span, span.address + static_cast<uint64_t>(delta), std::vector<uint8_t>(span.size)};
    std::memcpy(s.bytes.data(), reinterpret_cast<const void*>(static_cast<uintptr_t>(s.address)),
                span.size);
    snapshots_.push_back(std::move(s));
  }
}

void ContractWatch::CheckLog(host::Host& host, const std::string& when, Report& report) {
  for (const host::LogEntry& entry : host.log()) {
    if (entry.kind == host::LogKind::kTrappedSlot) {
      report.Fail(CheckId::kRunTrappedSlot, when, "calls of service slots 36, 39 and 40 only",
                  Format("a call of slot %u", entry.id));
    } else if (entry.kind == host::LogKind::kFpStateChanged) {
      report.Fail(CheckId::kRunFpState, when,
                  "the x87 control word and MXCSR as the call found them", entry.Describe());
    } else if (entry.kind == host::LogKind::kKeyEvent && has_keys_ && keys_.count(entry.id) == 0) {
      report.Fail(CheckId::kRunKeyEvent, when, "a key event of the module's own table",
                  Format("key event 0x%X", entry.id));
    }
  }
  host.ClearLog();
}

void ContractWatch::Check(host::Host& host, const host::Gauge* gauge, const std::string& when,
                          Report& report) {
  CheckLog(host, when, report);
  if (gauge != nullptr) {
    for (const host::DrawnElement& e : gauge->last_drawing().elements) {
      if (e.kind == kString && e.text.size() >= static_cast<size_t>(kStringTextCapacity)) {
        report.Fail(CheckId::kRunText, when,
                    Format("a text ending in NUL within the %d bytes a host must supply",
                           kStringTextCapacity),
                    Format("%zu characters: \"%.*s\"", e.text.size(),
                           static_cast<int>(std::min<size_t>(e.text.size(), 40)), e.text.data()));
      }
    }
  }

  // The snapshot follows what may change (the host's own bytes, the two
  // flag bits), so an unchanged record costs one comparison.
  for (Snapshot& s : snapshots_) {
    const auto* now = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(s.address));
    if (std::memcmp(now, s.bytes.data(), s.span.size) == 0) continue;
    bool reported = false;
    for (uint32_t at = 0; at < s.span.size && !reported; ++at) {
      if (now[at] == s.bytes[at]) continue;
      if (std::any_of(s.span.host_owned.begin(), s.span.host_owned.end(), [at](const auto& owned) {
            return at >= owned.first && at < owned.first + owned.second;
          })) {
        s.bytes[at] = now[at];
        continue;
      }
      if (s.span.image_flags >= 0 && at >= s.span.image_flags && at < s.span.image_flags + 4) {
        uint32_t before = 0, after = 0;
        std::memcpy(&before, s.bytes.data() + s.span.image_flags, 4);
        std::memcpy(&after, now + s.span.image_flags, 4);
        if (((before ^ after) & ~(kFlagLit | kFlagHidden)) != 0) {
          report.Fail(CheckId::kRunFlags, s.span.name + " image_flags, " + when,
                      "changes of bits 0x4 and 0x40000000 only",
                      Format("0x%X became 0x%X", before, after));
          reported = true;
        }
        std::memcpy(s.bytes.data() + s.span.image_flags, &after, 4);
        at = static_cast<uint32_t>(s.span.image_flags + 3);
        continue;
      }
      report.Fail(CheckId::kRunRecords,
                  Format("%s+%u, %s, %s", s.span.name.c_str(), at, Hex(s.address + at).c_str(),
                         when.c_str()),
                  Format("the byte as loaded, 0x%02X", s.bytes[at]), Format("0x%02X", now[at]));
      reported = true;  // one line per record
    }
    // Each change is reported once, not again after every later call.
    if (reported) std::memcpy(s.bytes.data(), now, s.span.size);
  }
}

}  // namespace gauge_check
