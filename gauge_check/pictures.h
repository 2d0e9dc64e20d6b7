// The pictures a gauge file carries: every bitmap an element can show must
// be a resource of the form the simulator draws (a 40-byte header, 8 bits
// per pixel, 256 colours, rows bottom-up, U.S. English), placed on the face,
// and keep the black rule: pure black is not drawn, so a face has none, a
// full-face overlay's first picture is black all over, and every other
// picture sits on black.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/pe_image.h"
#include "gauge_check/records.h"
#include "gauge_check/report.h"

namespace gauge_check {

struct Dib {
  int width = 0;
  int height = 0;
  size_t black = 0;   // pure black pixels
  size_t pixels = 0;
};

// Reads a bitmap resource; false with the reason in `why`.
bool ReadDib(const std::vector<uint8_t>& bytes, Dib* dib, std::string* why);

void CheckPictures(const formats::PeImage& image, const RecordFacts& facts, Report& report);

// The simulator reads only bitmaps; the one other resource a gauge file may
// carry is its version (VERSIONINFO), which a pilot sees in its properties.
void CheckResources(const formats::PeImage& image, Report& report);

}  // namespace gauge_check
