// Drawing gauges as the simulator's panel system does: each gauge from its
// element chain (face, then every element over the ones before it) with the
// pictures from its own bitmap resources, pure black not drawn.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/aircraft/aircraft.h"
#include "bench/drawing/image.h"
#include "host/host.h"

namespace bench {

// One bitmap of a gauge, decoded: alpha 0 where the bitmap is pure black.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Rgba> pixels;  // top row first
};

// A DIB as stored in a bitmap resource (40-byte header, 8 bits, palette,
// bottom-up). False with a reason for anything else.
bool DecodeBitmap(const std::vector<uint8_t>& dib, Picture* picture, std::string* error);

// A gauge's bitmaps, by resource id.
class GaugePictures {
 public:
  // From a gauge file's bitmap resources (a .gau, read without Windows).
  bool LoadFile(const std::filesystem::path& gau_file, std::string* error);
  // From a loaded module (Windows: the system's resource calls).
  bool LoadModule(const host::Module& module, std::string* error);
  const Picture* Find(uint32_t id) const;

 private:
  std::map<uint32_t, Picture> pictures_;
};

enum class Ambient { kDay, kDusk, kNight };
const char* AmbientName(Ambient ambient);
bool ParseAmbient(const std::string& text, Ambient* ambient);

// How bright what is drawn unlit appears in each ambient light (1.0 full);
// a lit element is always drawn at full brightness.
double AmbientBrightness(Ambient ambient);

struct RenderOptions {
  Ambient ambient = Ambient::kDay;
  int scale = 1;              // 1x, 2x, ...
  bool mouse_overlay = false; // outline every mouse area with its key event
};

// The fonts the strings name, resolved to files once: "Arial Narrow" and
// "Arial" to their metric-compatible faces.
class Fonts {
 public:
  Fonts();
  ~Fonts();
  // Finds the font files (fonts/ beside the program, then the build's font
  // folder) and reads them. On failure says which file is missing, where it
  // was looked for and which package brings it.
  bool Init(std::string* error);
  bool ready() const;

  // Whether a gauge's font name is one of those resolved (case ignored).
  static bool Knows(std::string_view font_name);
  // The font file that a font name and weight are drawn in, after Init;
  // "" for a name that is not known. Weights below 600 are regular, 600
  // and above bold.
  std::string FileFor(std::string_view font_name, uint32_t weight) const;

  // One line of text with its left end at `x` and its baseline at
  // `baseline` (pixels of `canvas`), `pixel_size` pixels to the em, in
  // grey-scale anti-aliasing, drawn only inside `clip`. A name that is not
  // known is drawn in Liberation Sans. Returns the advance in pixels.
  struct Box {
    int x = 0, y = 0, width = 0, height = 0;
  };
  int DrawText(Image* canvas, std::string_view font_name, uint32_t weight, double pixel_size,
               int x, int baseline, std::string_view text, Rgba colour, const Box& clip);
  // The advance of that line in pixels, without drawing it.
  int TextWidth(std::string_view font_name, uint32_t weight, double pixel_size,
                std::string_view text);

  // A gauge string in its box (face pixels) by the panel's rule for text,
  // on a canvas `scale` times the face: left-aligned, its size and
  // baseline from the box height, clipped to the box (docs/drawing.md).
  void DrawString(Image* canvas, const Box& box, int scale, std::string_view font_name,
                  uint32_t weight, Rgba colour, std::string_view text);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Whether a picture of width x height face pixels, drawn `scale` times
// larger, is within kLargestCanvasPixels (bench/drawing/image.h); if not,
// `why` says so and what to do. Callers that take a size from outside (a
// scale, a face) check it here before drawing.
bool CanvasFits(int64_t width, int64_t height, int scale, std::string* why);

// Draws one gauge from the drawing the host produced at its last draw.
// Problems (an icon result that names no picture, a missing bitmap) are
// noted once each through `host.Note`.
// A picture larger than CanvasFits allows is not drawn: the result is empty
// and `error` (if given) says why.
Image RenderGauge(host::Host& host, host::Gauge& gauge, const GaugePictures& pictures,
                  Fonts& fonts, const RenderOptions& options, std::string* error = nullptr);

// RenderGauge's work on a given drawing of `gauge` (for example a copy of its
// last drawing with a value changed). RenderGauge draws what the gauge drew
// last, drawing it first if it has never been drawn.
Image RenderDrawing(host::Host& host, host::Gauge& gauge, const host::Drawing& drawing,
                    const GaugePictures& pictures, Fonts& fonts, const RenderOptions& options,
                    std::string* error = nullptr);

// Several gauge pictures side by side on a panel background, each labelled
// with its name beneath it; empty (and `error` says why) when the panel
// would be larger than CanvasFits allows.
Image ComposePanel(const std::vector<std::pair<std::string, Image>>& gauges, Fonts& fonts,
                   int scale, std::string* error = nullptr);

// The same, drawn into images the caller keeps (Image::Reset): false, the
// image empty, where the others give an empty image.
bool RenderDrawingInto(Image* canvas, host::Host& host, host::Gauge& gauge,
                       const host::Drawing& drawing, const GaugePictures& pictures, Fonts& fonts,
                       const RenderOptions& options, std::string* error = nullptr);
bool RenderGaugeInto(Image* canvas, host::Host& host, host::Gauge& gauge,
                     const GaugePictures& pictures, Fonts& fonts, const RenderOptions& options,
                     std::string* error = nullptr);
bool ComposePanelInto(Image* panel, const std::vector<std::pair<std::string, Image>>& gauges,
                      Fonts& fonts, int scale, std::string* error = nullptr);

// The needle's angle (radians, screen coordinates: 0 along +x, growing
// clockwise) for `value`: towards the scale table's point for that value,
// linear in the value between entries and at the last rate beyond them.
double NeedleAngle(const NeedleElement& needle, double value);

}  // namespace bench
