// Drawing gauges as the simulator's panel system does: each gauge from its
// element chain (face, then every element over the ones before it) with the
// pictures from its own bitmap resources, pure black not drawn.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/image.h"
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
  // Finds the font files (fontconfig), loads them (FreeType). On failure
  // says which face is missing and which package brings it.
  bool Init(std::string* error);
  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// Draws one gauge from the frame the host produced at its last draw.
// Problems (an icon result that names no picture, a missing bitmap) are
// noted once each through `host.Note`.
Image RenderGauge(host::Host& host, host::Gauge& gauge, const GaugePictures& pictures,
                  Fonts& fonts, const RenderOptions& options);

// Several gauge pictures side by side on a panel background, each labelled
// with its name beneath it.
Image ComposePanel(const std::vector<std::pair<std::string, Image>>& gauges, Fonts& fonts,
                   int scale);

// The needle's angle (radians, screen coordinates: 0 along +x, growing
// clockwise) for `value`: towards the scale table's point for that value,
// linear in the value between entries and at the last rate beyond them.
double NeedleAngle(const NeedleElement& needle, double value);

}  // namespace bench
