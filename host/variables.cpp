#include "host/variables.h"

namespace host {

void Variables::Set(uint32_t id, double value) { values_[id] = Value{false, value, 0}; }

void Variables::SetInteger(uint32_t id, uint32_t value) {
  values_[id] = Value{true, static_cast<double>(value), value};
}

bool Variables::Has(uint32_t id) const { return values_.count(id) != 0; }

bool Variables::IsInteger(uint32_t id) const {
  auto it = values_.find(id);
  return it != values_.end() && it->second.integer;
}

double Variables::Get(uint32_t id) const {
  auto it = values_.find(id);
  return it == values_.end() ? 0.0 : it->second.number;
}

uint32_t Variables::GetInteger(uint32_t id) const {
  auto it = values_.find(id);
  if (it == values_.end()) return 0;
  if (it->second.integer) return it->second.bits;
  const double number = it->second.number;
  return number >= 0.0 && number < 4294967296.0 ? static_cast<uint32_t>(number) : 0;
}

int32_t* Variables::Register(const std::string& name, int32_t initial) {
  NamedSlot& slot = named_[name];
  if (!slot.storage) slot.storage = std::make_unique<int32_t>(initial);
  if (!slot.registered) *slot.storage = initial;
  slot.registered = true;
  return slot.storage.get();
}

void Variables::Unregister(const std::string& name) {
  auto it = named_.find(name);
  if (it != named_.end()) it->second.registered = false;
}

int32_t* Variables::Named(const std::string& name) {
  auto it = named_.find(name);
  return it != named_.end() && it->second.registered ? it->second.storage.get() : nullptr;
}

bool Variables::IsRegistered(const std::string& name) const {
  auto it = named_.find(name);
  return it != named_.end() && it->second.registered;
}

bool Variables::Lookup(ModuleVar& var) const {
  auto it = values_.find(var.var_id);
  if (it == values_.end()) {
    var.value = 0.0;
    return false;
  }
  if (it->second.integer) {
    SetVarInteger(var, it->second.bits);
  } else {
    var.value = it->second.number;
  }
  return true;
}

}  // namespace host
