// The fonts the gauges' strings name, and text drawing.
//
// The strings name "Arial Narrow" and "Arial". We draw them in their
// metric-compatible faces, Liberation Sans Narrow and Liberation Sans, found
// through fontconfig by their exact family name (a near match that
// fontconfig would offer instead is refused), so that every machine with
// the package fonts-liberation draws the same glyphs. Where a family is
// installed twice, the file with the first path wins.
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
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/drawing/render.h"
#include "bench/text.h"
#include "formats/file_read.h"

namespace bench {
namespace {

constexpr double kEmPerBoxHeight = 0.65;
constexpr double kBaselinePerBoxHeight = 0.6;
constexpr uint32_t kBoldFrom = 600;

struct Family {
  const char* asked;     // the name a gauge gives
  const char* resolved;  // the family drawn
};
// Index 0 is also the face for names that are not known.
constexpr Family kFamilies[] = {
    {"Arial", "Liberation Sans"},
    {"Arial Narrow", "Liberation Sans Narrow"},
};
constexpr int kFamilyCount = 2;
constexpr const char* kPackage = "fonts-liberation";
// Far past any font file of these families (under 1 MB each).
constexpr uint64_t kLargestFont = 32u << 20;

int FamilyIndex(std::string_view font_name) {
  for (int i = 0; i < kFamilyCount; ++i) {
    if (SameIgnoringCase(font_name, kFamilies[i].asked)) return i;
  }
  return -1;
}

// The file of `family` in the given style, by exact family name; "" if
// none is installed.
std::string FindFace(FcConfig* config, const char* family, bool bold) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_INDEX, nullptr);
  FcFontSet* fonts = FcFontList(config, pattern, objects);
  std::string best;
  for (int i = 0; fonts != nullptr && i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    bool exact = false;
    FcChar8* name = nullptr;
    for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &name) == FcResultMatch; ++n) {
      if (std::strcmp(reinterpret_cast<const char*>(name), family) == 0) exact = true;
    }
    FcChar8* file = nullptr;
    int index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    if (!exact || index != 0 || FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) {
      continue;
    }
    const std::string path = reinterpret_cast<const char*>(file);
    if (best.empty() || path < best) best = path;
  }
  if (fonts != nullptr) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return best;
}

}  // namespace

struct Fonts::Impl {
  bool ready = false;
  FT_Library library = nullptr;
  // [family][bold]
  std::string files[kFamilyCount][2];
  std::vector<uint8_t> bytes[kFamilyCount][2];  // each face reads from its file's bytes
  FT_Face faces[kFamilyCount][2] = {};
  double face_size[kFamilyCount][2] = {};

  ~Impl() {
    for (auto& family : faces) {
      for (FT_Face face : family) {
        if (face != nullptr) FT_Done_Face(face);
      }
    }
    if (library != nullptr) FT_Done_FreeType(library);
  }

  FT_Face Face(std::string_view font_name, uint32_t weight, double pixel_size) {
    if (!ready || !(pixel_size > 0.0) || pixel_size > 1000.0) return nullptr;
    const int family = std::max(FamilyIndex(font_name), 0);
    const int bold = weight >= kBoldFrom ? 1 : 0;
    FT_Face face = faces[family][bold];
    if (face_size[family][bold] != pixel_size) {
      // The size in 26.6 points at 72 dots per inch: pixels to the em.
      if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(pixel_size * 64)), 72,
                           72) != 0) {
        return nullptr;
      }
      face_size[family][bold] = pixel_size;
    }
    return face;
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
  std::string files[kFamilyCount][2];
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (config == nullptr) return fail("fontconfig could not load its configuration");
  std::string missing;
  for (int family = 0; family < kFamilyCount; ++family) {
    for (int bold = 0; bold < 2; ++bold) {
      files[family][bold] = FindFace(config, kFamilies[family].resolved, bold != 0);
      if (files[family][bold].empty() && missing.empty()) {
        missing = std::string("the font \"") + kFamilies[family].resolved + "\" (" +
                  (bold ? "Bold" : "Regular") + "), drawn for \"" + kFamilies[family].asked +
                  "\", is not installed: install the package " + kPackage;
      }
    }
  }
  FcConfigDestroy(config);
  if (!missing.empty()) return fail(missing);

  auto impl = std::make_unique<Impl>();
  if (FT_Init_FreeType(&impl->library) != 0) return fail("FreeType could not start");
  for (int family = 0; family < kFamilyCount; ++family) {
    for (int bold = 0; bold < 2; ++bold) {
      const std::string& file = files[family][bold];
      std::vector<uint8_t>& bytes = impl->bytes[family][bold];
      formats::FileReadError not_read;
      if (!formats::ReadRegularFile(file, kLargestFont, "font file", &bytes, &not_read)) {
        return fail("cannot read the font file " + file + " (" + kFamilies[family].resolved +
                    "): " + not_read.message + "; reinstall the package " + kPackage);
      }
      if (FT_New_Memory_Face(impl->library, bytes.data(), static_cast<FT_Long>(bytes.size()), 0,
                             &impl->faces[family][bold]) != 0) {
        impl->faces[family][bold] = nullptr;
        return fail("FreeType cannot read the font file " + file + " (" +
                    kFamilies[family].resolved + "); reinstall the package " + kPackage);
      }
      impl->files[family][bold] = file;
    }
  }
  impl->ready = true;
  impl_ = std::move(impl);
  return true;
}

std::string Fonts::FileFor(std::string_view font_name, uint32_t weight) const {
  const int family = FamilyIndex(font_name);
  if (!impl_->ready || family < 0) return "";
  return impl_->files[family][weight >= kBoldFrom ? 1 : 0];
}

namespace {

// Glyphs are hinted lightly (vertically only), which keeps the capitals
// and figures of small type crisp on whole rows and their shapes and
// advances as designed.
constexpr FT_Int32 kLoadFlags = FT_LOAD_TARGET_LIGHT;

// Calls `glyph(bitmap, left, top)` for each character of `text` (bytes
// read as Latin-1), pen from `x` on `baseline`; returns the advance.
template <typename Each>
int Lay(FT_Face face, int x, int baseline, std::string_view text, Each each) {
  FT_Pos pen = static_cast<FT_Pos>(x) * 64;  // 26.6
  for (unsigned char c : text) {
    const FT_UInt index = FT_Get_Char_Index(face, c);
    if (FT_Load_Glyph(face, index, kLoadFlags) != 0) continue;
    const int left = static_cast<int>((pen + 32) >> 6);
    each(face->glyph, left, baseline);
    pen += face->glyph->advance.x;
  }
  return static_cast<int>((pen + 32) / 64) - x;
}

}  // namespace

int Fonts::DrawText(Image* canvas, std::string_view font_name, uint32_t weight,
                    double pixel_size, int x, int baseline, std::string_view text, Rgba colour,
                    const Box& clip) {
  FT_Face face = impl_->Face(font_name, weight, pixel_size);
  if (face == nullptr || canvas == nullptr) return 0;
  const int clip_left = std::max(clip.x, 0);
  const int clip_top = std::max(clip.y, 0);
  const int clip_right = std::min(clip.x + clip.width, canvas->width());
  const int clip_bottom = std::min(clip.y + clip.height, canvas->height());
  return Lay(face, x, baseline, text, [&](FT_GlyphSlot glyph, int left, int line) {
    if (FT_Render_Glyph(glyph, FT_RENDER_MODE_NORMAL) != 0) return;
    const FT_Bitmap& bitmap = glyph->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
    const int origin_x = left + glyph->bitmap_left;
    const int origin_y = line - glyph->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      const int y = origin_y + static_cast<int>(row);
      if (y < clip_top || y >= clip_bottom) continue;
      const unsigned char* coverage = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
      for (unsigned column = 0; column < bitmap.width; ++column) {
        const int px = origin_x + static_cast<int>(column);
        if (px < clip_left || px >= clip_right || coverage[column] == 0) continue;
        Rgba& out = canvas->at(px, y);
        const int a = coverage[column];
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
  FT_Face face = impl_->Face(font_name, weight, pixel_size);
  if (face == nullptr) return 0;
  return Lay(face, 0, 0, text, [](FT_GlyphSlot, int, int) {});
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
