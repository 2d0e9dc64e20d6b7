// The four gauges of this panel, in the order the bench shows them.
#pragma once

namespace bench {

inline constexpr const char* kGaugeNames[] = {"VORN_Kestrel_FMC", "orlaaudio", "orlapfdset",
                                              "orlahyd"};

}  // namespace bench
