// The fonts the gauges' strings name, and text drawing.
//
// The strings name "Arial Narrow" and "Arial". We draw them in their
// metric-compatible faces, Liberation Sans Narrow and Liberation Sans (the
// package fonts-liberation), and only ever from our own copies of those
// files, by their fixed names: first in fonts/ beside the program (where the
// tools ship them with their licence), then in the folder the build names
// (Debian's fonts-liberation). The rasterizer trusts the font file it is
// given, so no other font file is ever read, and none beyond a size bound.
//
// Text placement in a string's box (the rule the radio tuning page is laid
// out for; docs/drawing.md): for a box h pixels high the em is 0.65 h and
// the baseline lies 0.6 h below the box's top; the text starts at the box's
// left edge and is clipped to the box. So a 20-pixel label box has 13-pixel
// type whose capitals fill its rows 3 to 11, and a 30-pixel read-out box
// has 19.5-pixel type filling its rows 4 to 17: each label stands in the
// upper part of its box, above the 6 to 10 rows by which its box overlaps
// the read-out below, and each read-out sits below that overlap and above
// the next label.
// The one build of the rasterizer's implementation.
#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "bench/drawing/render.h"
#include "bench/text.h"
#include "formats/file_read.h"
#include "host/host.h"

namespace bench {
namespace {

constexpr double kEmPerBoxHeight = 0.65;
constexpr double kBaselinePerBoxHeight = 0.6;
constexpr uint32_t kBoldFrom = 600;

struct Family {
  const char* asked;     // the name a gauge gives
  const char* resolved;  // the family drawn
  const char* files[2];  // regular, bold
};
// Index 0 is also the face for names that are not known.
constexpr Family kFamilies[] = {
    {"Arial", "Liberation Sans", {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf"}},
    {"Arial Narrow",
     "Liberation Sans Narrow",
     {"LiberationSansNarrow-Regular.ttf", "LiberationSansNarrow-Bold.ttf"}},
};
constexpr int kFamilyCount = 2;
constexpr const char* kPackage = "fonts-liberation";
// Far past any font file of these families (under 1 MB each).
constexpr uint64_t kLargestFont = 4u << 20;

int FamilyIndex(std::string_view font_name) {
  for (int i = 0; i < kFamilyCount; ++i) {
    if (SameIgnoringCase(font_name, kFamilies[i].asked)) return i;
  }
  return -1;
}

// Where the font files are looked for, in order.
std::vector<std::filesystem::path> FontFolders() {
  std::vector<std::filesystem::path> folders{host::ProgramDir() / "fonts"};  // as shipped
#ifdef GAUGES_FONT_DIR
  folders.emplace_back(GAUGES_FONT_DIR);
#endif
  return folders;
}

struct Face {
  std::string file;
  std::vector<uint8_t> bytes;  // the font reads from these
  stbtt_fontinfo info{};
};

// Where a glyph goes down the page at a size. Down, each glyph's top and
// bottom are put on whole rows (the nearest to where the font puts them)
// and the glyph stretched or shrunk between them by a fraction of a pixel:
// so capitals, figures and small letters span whole rows from the baseline,
// a round letter's slight overshoot stays on the line of the flat ones, and
// small type stays crisp.
struct Fit {
  float scale_y = 0;
  float shift_y = 0;  // pixels, down
};

Fit FitDown(const Face& face, int glyph, float scale) {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  if (!stbtt_GetGlyphBox(&face.info, glyph, &x0, &y0, &x1, &y1) || y1 <= y0) return {scale, 0};
  const float bottom = std::round(y0 * scale);
  const float top = std::max(std::round(y1 * scale), bottom + 1);
  const float scale_y = (top - bottom) / static_cast<float>(y1 - y0);
  return {scale_y, y1 * scale_y - top};
}

// Across, the glyph keeps the font's shape, and its place from the pen but
// for a shift of at most half a pixel: of the shifts tried, the one that
// draws it sharpest, so that a stem lands on one bright column rather than
// two grey ones. Its advance is not changed, so neither is the layout. The
// shifts tried are the eighths of a pixel from -3/8 to 4/8 and each shift
// that puts one of the outline's points across on a whole pixel (so a
// stem's edge can fall exactly on a pixel's). They are tried from the
// smallest (rightward first) and a later one is taken only if it is
// sharper, so the smallest shift wins a tie. The score is whole-number
// arithmetic on the coverage, so the choice adds nothing that could differ
// between targets.
std::vector<float> ShiftsAcross(const Face& face, int glyph, float scale) {
  std::vector<float> shifts;
  for (int k = -3; k <= 4; ++k) shifts.push_back(k / 8.0f);
  stbtt_vertex* vertices = nullptr;
  const int count = stbtt_GetGlyphShape(&face.info, glyph, &vertices);
  for (int i = 0; i < count; ++i) {
    const float x = vertices[i].x * scale;
    float shift = std::round(x) - x;
    if (shift <= -0.5f) shift += 1.0f;
    shifts.push_back(shift);
  }
  stbtt_FreeShape(&face.info, vertices);
  std::sort(shifts.begin(), shifts.end(), [](float a, float b) {
    return std::fabs(a) != std::fabs(b) ? std::fabs(a) < std::fabs(b) : a > b;
  });
  shifts.erase(std::unique(shifts.begin(), shifts.end()), shifts.end());
  return shifts;
}

// How sharp a glyph's coverage is: the sum of the squares of its values.
// The ink is about the same at every shift; it scores highest where it is
// gathered into fully covered pixels rather than spread thin over more.
uint64_t Sharpness(const std::vector<uint8_t>& coverage) {
  uint64_t sum = 0;
  for (uint8_t a : coverage) sum += static_cast<uint64_t>(a) * a;
  return sum;
}

// One glyph as drawn at one size: its coverage, `width` x `height`, whose
// top left pixel is `x0` across from the pen and `y0` down from the
// baseline.
struct Drawn {
  int x0 = 0, y0 = 0, width = 0, height = 0;
  std::vector<uint8_t> coverage;
};

Drawn DrawGlyph(const Face& face, int glyph, float scale) {
  const Fit fit = FitDown(face, glyph, scale);
  Drawn best;
  uint64_t best_sharpness = 0;
  bool first = true;
  for (float shift_x : ShiftsAcross(face, glyph, scale)) {
    Drawn drawn;
    int x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBoxSubpixel(&face.info, glyph, scale, fit.scale_y, shift_x, fit.shift_y,
                                    &drawn.x0, &drawn.y0, &x1, &y1);
    drawn.width = x1 - drawn.x0;
    drawn.height = y1 - drawn.y0;
    if (drawn.width <= 0 || drawn.height <= 0) continue;  // no outline
    drawn.coverage.assign(static_cast<size_t>(drawn.width) * static_cast<size_t>(drawn.height),
                          0);
    stbtt_MakeGlyphBitmapSubpixel(&face.info, drawn.coverage.data(), drawn.width, drawn.height,
                                  drawn.width, scale, fit.scale_y, shift_x, fit.shift_y, glyph);
    const uint64_t sharpness = Sharpness(drawn.coverage);
    if (first || sharpness > best_sharpness) {
      best = std::move(drawn);
      best_sharpness = sharpness;
      first = false;
    }
  }
  return best;
}

// The glyphs drawn so far, by face, size and glyph. Past this many the
// store starts again, so text in ever new sizes cannot fill memory.
constexpr size_t kMostGlyphsKept = 4096;
struct GlyphKey {
  const Face* face;
  float scale;
  int glyph;
  bool operator<(const GlyphKey& other) const {
    return std::tie(face, scale, glyph) < std::tie(other.face, other.scale, other.glyph);
  }
};

}  // namespace

struct Fonts::Impl {
  bool ready = false;
  Face faces[kFamilyCount][2];  // [family][bold]
  std::map<GlyphKey, Drawn> drawn;

  const Drawn& Glyph(const Face& face, int glyph, float scale) {
    const GlyphKey key{&face, scale, glyph};
    auto found = drawn.find(key);
    if (found != drawn.end()) return found->second;
    if (drawn.size() >= kMostGlyphsKept) drawn.clear();
    return drawn.emplace(key, DrawGlyph(face, glyph, scale)).first->second;
  }

  const Face* Find(std::string_view font_name, uint32_t weight, double pixel_size) const {
    if (!ready || !(pixel_size > 0.0) || pixel_size > 1000.0) return nullptr;
    return &faces[std::max(FamilyIndex(font_name), 0)][weight >= kBoldFrom ? 1 : 0];
  }
};

Fonts::Fonts() : impl_(std::make_unique<Impl>()) {}
Fonts::~Fonts() = default;

bool Fonts::ready() const { return impl_->ready; }

bool Fonts::Knows(std::string_view font_name) { return FamilyIndex(font_name) >= 0; }

bool Fonts::Init(std::string* error) {
  if (impl_->ready) return true;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  const std::vector<std::filesystem::path> folders = FontFolders();
  auto impl = std::make_unique<Impl>();
  for (int family = 0; family < kFamilyCount; ++family) {
    for (int bold = 0; bold < 2; ++bold) {
      const char* name = kFamilies[family].files[bold];
      const std::string what = std::string(kFamilies[family].resolved) +
                               (bold ? " Bold" : " Regular") + ", drawn for \"" +
                               kFamilies[family].asked + "\"";
      Face& face = impl->faces[family][bold];
      formats::FileReadError not_read;
      for (const std::filesystem::path& folder : folders) {
        const std::filesystem::path file = folder / name;
        if (formats::ReadRegularFile(file, kLargestFont, "font file", &face.bytes, &not_read)) {
          face.file = file.string();
          break;
        }
        if (not_read.kind != formats::FileReadError::Kind::kMissing) {
          return fail("cannot read the font file " + file.string() + " (" + what +
                      "): " + not_read.message + "; reinstall the package " + kPackage);
        }
      }
      if (face.file.empty()) {
        std::string looked;
        for (const std::filesystem::path& folder : folders) {
          looked += (looked.empty() ? "" : ", ") + folder.string();
        }
        return fail(std::string("the font file ") + name + " (" + what + ") is not in " +
                    looked + ": install the package " + kPackage + ", or put its " + name +
                    " in " + folders.front().string());
      }
      const int offset = stbtt_GetFontOffsetForIndex(face.bytes.data(), 0);
      if (offset < 0 || !stbtt_InitFont(&face.info, face.bytes.data(), offset)) {
        return fail("the font file " + face.file + " (" + what +
                    ") is not a font this bench can read; reinstall the package " + kPackage);
      }
    }
  }
  impl->ready = true;
  impl_ = std::move(impl);
  return true;
}

std::string Fonts::FileFor(std::string_view font_name, uint32_t weight) const {
  const int family = FamilyIndex(font_name);
  if (!impl_->ready || family < 0) return "";
  return impl_->faces[family][weight >= kBoldFrom ? 1 : 0].file;
}

namespace {

// Calls `each(glyph, left)` for each character of `text` (bytes read as
// Latin-1), pen from `x`; returns the advance. Every glyph starts on a
// whole pixel and advances by whole pixels, so the same letter looks the
// same wherever it stands.
template <typename Each>
int Lay(const Face& face, float scale, int x, std::string_view text, Each each) {
  int pen = x;
  for (unsigned char c : text) {
    const int glyph = stbtt_FindGlyphIndex(&face.info, c);
    int advance = 0;
    stbtt_GetGlyphHMetrics(&face.info, glyph, &advance, nullptr);
    each(glyph, pen);
    pen += static_cast<int>(std::lround(advance * scale));
  }
  return pen - x;
}

}  // namespace

int Fonts::DrawText(Image* canvas, std::string_view font_name, uint32_t weight,
                    double pixel_size, int x, int baseline, std::string_view text, Rgba colour,
                    const Box& clip) {
  const Face* face = impl_->Find(font_name, weight, pixel_size);
  if (face == nullptr || canvas == nullptr) return 0;
  const float scale = stbtt_ScaleForMappingEmToPixels(&face->info, static_cast<float>(pixel_size));
  const int clip_left = std::max(clip.x, 0);
  const int clip_top = std::max(clip.y, 0);
  const int clip_right = std::min(clip.x + clip.width, canvas->width());
  const int clip_bottom = std::min(clip.y + clip.height, canvas->height());
  return Lay(*face, scale, x, text, [&](int glyph, int left) {
    const Drawn& drawn = impl_->Glyph(*face, glyph, scale);
    const int width = drawn.width, height = drawn.height;
    const int origin_x = left + drawn.x0, origin_y = baseline + drawn.y0;
    if (width <= 0 || height <= 0 || origin_x >= clip_right || origin_x + width <= clip_left ||
        origin_y >= clip_bottom || origin_y + height <= clip_top) {
      return;
    }
    for (int row = 0; row < height; ++row) {
      const int y = origin_y + row;
      if (y < clip_top || y >= clip_bottom) continue;
      for (int column = 0; column < width; ++column) {
        const int px = origin_x + column;
        const int a = drawn.coverage[static_cast<size_t>(row) * width + column];
        if (px < clip_left || px >= clip_right || a == 0) continue;
        Rgba& out = canvas->at(px, y);
        const auto mix = [a](uint8_t over, uint8_t under) {
          return static_cast<uint8_t>((over * a + under * (255 - a) + 127) / 255);
        };
        out = {mix(colour.r, out.r), mix(colour.g, out.g), mix(colour.b, out.b), 255};
      }
    }
  });
}

int Fonts::TextWidth(std::string_view font_name, uint32_t weight, double pixel_size,
                     std::string_view text) {
  const Face* face = impl_->Find(font_name, weight, pixel_size);
  if (face == nullptr) return 0;
  const float scale = stbtt_ScaleForMappingEmToPixels(&face->info, static_cast<float>(pixel_size));
  return Lay(*face, scale, 0, text, [](int, int) {});
}

void Fonts::DrawString(Image* canvas, const Box& box, int scale, std::string_view font_name,
                       uint32_t weight, Rgba colour, std::string_view text) {
  if (box.width <= 0 || box.height <= 0 || scale <= 0) return;
  const double em = kEmPerBoxHeight * box.height * scale;
  const int baseline =
      box.y * scale + static_cast<int>(std::lround(kBaselinePerBoxHeight * box.height * scale));
  const Box clip{box.x * scale, box.y * scale, box.width * scale, box.height * scale};
  DrawText(canvas, font_name, weight, em, box.x * scale, baseline, text, colour, clip);
}

}  // namespace bench
