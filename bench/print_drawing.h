// A gauge's drawing as text, as the show and click commands and the scripts'
// "show" print it.
#pragma once

#include <cstdio>

#include "host/host.h"

namespace bench {

// One numbered line per element in chain order (the numbers scripts use to
// name elements).
void PrintDrawing(FILE* out, const host::Drawing& drawing);

}  // namespace bench
