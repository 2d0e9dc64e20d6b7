#include "bench/print_drawing.h"

#include <cinttypes>

namespace bench {
namespace {

const char* KindName(uint32_t kind) {
  switch (kind) {
    case kStaticImage: return "face";
    case kIcon: return "picture";
    case kNeedle: return "needle";
    case kString: return "text";
    default: return "element";
  }
}

}  // namespace

void PrintDrawing(FILE* out, const host::Drawing& drawing) {
  int number = 0;
  for (const host::DrawnElement& drawn : drawing.elements) {
    std::fprintf(out, "    %2d %-7s ", ++number, KindName(drawn.kind));
    switch (drawn.kind) {
      case kIcon:
        std::fprintf(out, "0x%04" PRIX32 " + %g at (%d, %d)", drawn.resource_id, drawn.value,
                     drawn.x, drawn.y);
        break;
      case kNeedle:
        std::fprintf(out, "0x%04" PRIX32 " at %g", drawn.resource_id, drawn.value);
        break;
      case kString:
        std::fprintf(out, "%-10.*s at (%d, %d)", static_cast<int>(drawn.text.size()),
                     drawn.text.data(), drawn.x, drawn.y);
        break;
      default:
        std::fprintf(out, "0x%04" PRIX32, drawn.resource_id);
        break;
    }
    std::fprintf(out, "%s%s\n", drawn.lit() ? "  lit" : "", drawn.hidden() ? "  hidden" : "");
  }
}

}  // namespace bench
