// `ModuleVar`: the record through which a gauge reads a simulation variable
// (refreshed by the host's LookupVar) or binds a named variable of another
// gauge (InitializeVarByName fills `value_ptr`).
#pragma once

#include <cstring>

#include "frame/abi.h"

#pragma pack(push, 4)

struct ModuleVar {
  uint32_t var_id;          // module: the host's variable number; 0 when named
  int32_t* value_ptr;       // host: a named variable's storage, or null
  uint32_t var_type;        // host's; 0 in every record
  double value;             // host: 64-bit float, or a 32-bit integer (BCD) in
                            // its first four bytes
  double previous_value;    // host's
};
GAUGE_ASSERT_LAYOUT(ModuleVar);

#pragma pack(pop)

// The first four bytes of `value`, for variables the host supplies as 32-bit
// integers (the BCD-coded radio frequencies and codes).
inline uint32_t VarInteger(const ModuleVar& var) {
  uint32_t integer;
  std::memcpy(&integer, &var.value, sizeof integer);
  return integer;
}

// The host side of the same rule: integer in the first four bytes, rest zero.
inline void SetVarInteger(ModuleVar& var, uint32_t integer) {
  unsigned char bytes[sizeof var.value] = {};
  std::memcpy(bytes, &integer, sizeof integer);
  std::memcpy(&var.value, bytes, sizeof bytes);
}

// A module-level record for simulation variable `id`, 0 until looked up.
constexpr ModuleVar SimVar(uint32_t id) { return {id, nullptr, 0, 0.0, 0.0}; }
