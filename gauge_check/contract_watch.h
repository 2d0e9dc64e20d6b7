// What must hold after every call the host makes into a gauge, whatever the
// gauge was given: no service slot outside the three the modules use was
// called, every string's text ends inside the host's buffer, only the bits
// 0x4 and 0x40000000 of an element's image_flags changed and no other byte
// of the module's records did, and the floating-point control state is as
// the call found it. Used by gauge-check's running checks and by the
// gauge_driver fuzz target.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "gauge_check/records.h"
#include "gauge_check/report.h"

namespace gauge_check {

// A view of a module loaded into this process: its loaded segments.
class LoadedMemory : public ModuleMemory {
 public:
  // The module that holds `address` (its Linkage); false if none does.
  bool Find(const void* address, std::string* why);
  bool wide() const override { return sizeof(void*) == 8; }
  bool Read(uint64_t address, void* out, size_t size) const override;
  std::vector<bool> Relocated(const std::vector<uint64_t>& addresses) const override {
    return std::vector<bool>(addresses.size(), true);
  }
  bool relocatable_format() const override { return false; }
  bool loaded() const override { return true; }
};

class ContractWatch {
 public:
  // Snapshots the record spans as they are now (`delta` added to each
  // address: where the module was loaded against where the spans say).
  ContractWatch(const std::vector<RecordSpan>& spans, int64_t delta);

  // Key events the module may send; unset, any is accepted.
  void AllowKeys(std::set<uint32_t> keys) { keys_ = std::move(keys); has_keys_ = true; }

  // Checks everything after a call described by `when`, from the host's log
  // (which it then clears) and the gauge's last drawing.
  void Check(host::Host& host, const host::Gauge* gauge, const std::string& when,
             Report& report);
  // The log alone: for calls after which the module is no longer mapped.
  void CheckLog(host::Host& host, const std::string& when, Report& report);

 private:
  struct Snapshot {
    RecordSpan span;
    uint64_t address;
    std::vector<uint8_t> bytes;
  };
  std::vector<Snapshot> snapshots_;
  std::set<uint32_t> keys_;
  bool has_keys_ = false;
};

}  // namespace gauge_check
