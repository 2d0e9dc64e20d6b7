// What the gauges read: the simulation variables and the named variables.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "frame/module_var.h"

namespace host {

// The simulation variables by id (each either a 64-bit float or a 32-bit
// integer such as a BCD frequency) and the named variables that gauges
// outside this system register. A named variable's storage lives as long as
// this object, even after it is unregistered, so a module's pointer into it
// never dangles.
class Variables {
 public:
  void Set(uint32_t id, double value);
  void SetInteger(uint32_t id, uint32_t value);
  bool Has(uint32_t id) const;
  bool IsInteger(uint32_t id) const;
  double Get(uint32_t id) const;          // 0.0 if unknown; an integer as its value
  uint32_t GetInteger(uint32_t id) const; // 0 if unknown; a float truncated

  // Registers `name` with storage owned here (the value is kept if it was
  // registered before); returns the storage.
  int32_t* Register(const std::string& name, int32_t initial = 0);
  void Unregister(const std::string& name);
  int32_t* Named(const std::string& name);  // null while not registered
  bool IsRegistered(const std::string& name) const;

  // LookupVar's work: fills `var.value`. Returns false for an unknown id
  // (the value is then 0.0).
  bool Lookup(ModuleVar& var) const;

 private:
  struct Value {
    bool integer = false;
    double number = 0.0;
    uint32_t bits = 0;
  };
  struct NamedSlot {
    std::unique_ptr<int32_t> storage;
    bool registered = false;
  };
  std::unordered_map<uint32_t, Value> values_;
  std::map<std::string, NamedSlot, std::less<>> named_;
};

}  // namespace host
