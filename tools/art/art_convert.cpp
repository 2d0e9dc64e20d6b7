// art-convert: turns a module's rendered artwork into the 8-bit bitmaps its
// resource script includes.
//
//   art-convert <art dir> <render dir>
//
// reads <art dir>/pictures.txt, takes each source's rendering from
// <render dir>/<source stem>.png (RGBA, at the picture's size), and writes
// into <art dir>: one .bmp per picture (8 bits per pixel, 256-entry palette,
// rows bottom-up, no compression), pictures.rc (the resource script) and
// manifest.txt (a hash of every source and output, so a test can tell when
// the bitmaps are older than their sources). See README.md beside this file.
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/art/art_files.h"

namespace fs = std::filesystem;

namespace {

struct Rgba {
  uint8_t r, g, b, a;
};

struct Image {
  int width = 0;
  int height = 0;
  std::vector<Rgba> pixels;
  const Rgba& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A faint pixel of an overlay (a glow's fringe) within this of the face
// beneath it changes nothing that shows, and is left undrawn.
constexpr int kUnchanged = 3;

// The colour of the panel paint under transparent parts of a face.
constexpr Rgba kPanelGrey = {58, 60, 64, 255};

bool ReadPng(const fs::path& path, Image* image, std::string* error) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.string().c_str())) {
    *error = path.string() + ": " + png.message;
    return false;
  }
  png.format = PNG_FORMAT_RGBA;
  image->width = static_cast<int>(png.width);
  image->height = static_cast<int>(png.height);
  image->pixels.resize(static_cast<size_t>(png.width) * png.height);
  if (!png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr)) {
    *error = path.string() + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

// A picture after its placement rule: each pixel a colour to show, or not
// drawn (pure black in the bitmap).
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::array<uint8_t, 3>> colour;
  std::vector<bool> shown;
};

// Pure black means "not drawn": a pixel that shows is never pure black.
std::array<uint8_t, 3> Shown(int r, int g, int b) {
  if (r == 0 && g == 0 && b == 0) return {1, 1, 1};
  return {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
}

int Blend(int top, int bottom, int alpha) { return (top * alpha + bottom * (255 - alpha) + 127) / 255; }

Picture Place(const art::PictureLine& line, const Image* source, const Image* face) {
  Picture picture;
  picture.width = line.width;
  picture.height = line.height;
  const size_t count = static_cast<size_t>(line.width) * line.height;
  picture.colour.assign(count, {0, 0, 0});
  picture.shown.assign(count, false);
  if (line.placement == art::Placement::kBlack) return picture;
  for (int y = 0; y < line.height; ++y) {
    for (int x = 0; x < line.width; ++x) {
      const size_t i = static_cast<size_t>(y) * line.width + x;
      const Rgba& p = source->at(x, y);
      switch (line.placement) {
        case art::Placement::kFace:
          picture.colour[i] = Shown(Blend(p.r, kPanelGrey.r, p.a), Blend(p.g, kPanelGrey.g, p.a),
                                    Blend(p.b, kPanelGrey.b, p.a));
          picture.shown[i] = true;
          break;
        case art::Placement::kOver: {
          if (p.a == 0) break;
          const int fx = line.x + x, fy = line.y + y;
          Rgba under = kPanelGrey;
          if (face != nullptr && fx >= 0 && fy >= 0 && fx < face->width && fy < face->height) {
            under = face->at(fx, fy);
          }
          const int r = Blend(p.r, under.r, p.a), g = Blend(p.g, under.g, p.a),
                    b = Blend(p.b, under.b, p.a);
          // Where a faint edge leaves the face as it is, draw nothing.
          if (p.a < 128 && std::abs(r - under.r) <= kUnchanged && std::abs(g - under.g) <= kUnchanged &&
              std::abs(b - under.b) <= kUnchanged) {
            break;
          }
          picture.colour[i] = Shown(r, g, b);
          picture.shown[i] = true;
          break;
        }
        case art::Placement::kAlone:
          if (p.a < 128) break;
          picture.colour[i] = Shown(p.r, p.g, p.b);
          picture.shown[i] = true;
          break;
        case art::Placement::kBlack:
          break;
      }
    }
  }
  return picture;
}

// ---- palette: median cut over the colours that show ----------------------------

struct ColourCount {
  std::array<uint8_t, 3> colour;
  uint32_t count;
};

std::vector<std::array<uint8_t, 3>> MedianCut(std::vector<ColourCount> colours, size_t limit) {
  if (colours.size() <= limit) {
    std::vector<std::array<uint8_t, 3>> exact;
    for (const ColourCount& c : colours) exact.push_back(c.colour);
    return exact;
  }
  struct Box {
    size_t begin, end;
  };
  auto range = [&](const Box& box, int* channel) {
    int best = -1;
    for (int c = 0; c < 3; ++c) {
      uint8_t lo = 255, hi = 0;
      for (size_t i = box.begin; i < box.end; ++i) {
        lo = std::min(lo, colours[i].colour[c]);
        hi = std::max(hi, colours[i].colour[c]);
      }
      if (hi - lo > best) {
        best = hi - lo;
        *channel = c;
      }
    }
    return best;
  };
  std::vector<Box> boxes{{0, colours.size()}};
  while (boxes.size() < limit) {
    // Split the box whose widest channel, weighted by its pixels, is largest.
    size_t pick = boxes.size();
    double score = 0.0;
    int pick_channel = 0;
    for (size_t b = 0; b < boxes.size(); ++b) {
      if (boxes[b].end - boxes[b].begin < 2) continue;
      int channel = 0;
      const int width = range(boxes[b], &channel);
      uint64_t pixels = 0;
      for (size_t i = boxes[b].begin; i < boxes[b].end; ++i) pixels += colours[i].count;
      const double s = static_cast<double>(width) * static_cast<double>(pixels);
      if (width > 0 && s > score) {
        score = s;
        pick = b;
        pick_channel = channel;
      }
    }
    if (pick == boxes.size()) break;
    Box box = boxes[pick];
    std::sort(colours.begin() + static_cast<std::ptrdiff_t>(box.begin),
              colours.begin() + static_cast<std::ptrdiff_t>(box.end),
              [&](const ColourCount& a, const ColourCount& b) {
                return a.colour[pick_channel] != b.colour[pick_channel]
                           ? a.colour[pick_channel] < b.colour[pick_channel]
                           : a.colour < b.colour;
              });
    uint64_t total = 0, half = 0;
    for (size_t i = box.begin; i < box.end; ++i) total += colours[i].count;
    size_t middle = box.begin + 1;
    for (size_t i = box.begin; i + 1 < box.end; ++i) {
      half += colours[i].count;
      middle = i + 1;
      if (half * 2 >= total) break;
    }
    boxes[pick] = {box.begin, middle};
    boxes.push_back({middle, box.end});
  }
  std::vector<std::array<uint8_t, 3>> palette;
  for (const Box& box : boxes) {
    uint64_t sum[3] = {0, 0, 0}, n = 0;
    for (size_t i = box.begin; i < box.end; ++i) {
      for (int c = 0; c < 3; ++c) sum[c] += uint64_t{colours[i].colour[c]} * colours[i].count;
      n += colours[i].count;
    }
    std::array<uint8_t, 3> mean{};
    for (int c = 0; c < 3; ++c) mean[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
    palette.push_back(mean);
  }
  return palette;
}

// Palette index 0 is pure black, "not drawn"; the colours that show take
// 1 to 255 and never map to 0.
std::vector<uint8_t> Quantize(const Picture& picture, std::array<std::array<uint8_t, 3>, 256>* out) {
  std::map<std::array<uint8_t, 3>, uint32_t> histogram;
  for (size_t i = 0; i < picture.colour.size(); ++i) {
    if (picture.shown[i]) ++histogram[picture.colour[i]];
  }
  std::vector<ColourCount> colours;
  for (const auto& [colour, count] : histogram) colours.push_back({colour, count});
  std::vector<std::array<uint8_t, 3>> palette = MedianCut(colours, 255);
  out->fill({0, 0, 0});
  for (size_t i = 0; i < palette.size(); ++i) {
    const auto& c = palette[i];
    (*out)[i + 1] = Shown(c[0], c[1], c[2]);
  }
  std::map<std::array<uint8_t, 3>, uint8_t> nearest;
  std::vector<uint8_t> indices(picture.colour.size(), 0);
  for (size_t i = 0; i < picture.colour.size(); ++i) {
    if (!picture.shown[i]) continue;
    const auto& c = picture.colour[i];
    auto it = nearest.find(c);
    if (it == nearest.end()) {
      int best = 1;
      long best_distance = -1;
      for (size_t p = 0; p < palette.size(); ++p) {
        const auto& q = (*out)[p + 1];
        const long dr = c[0] - q[0], dg = c[1] - q[1], db = c[2] - q[2];
        const long distance = 2 * dr * dr + 4 * dg * dg + 3 * db * db;
        if (best_distance < 0 || distance < best_distance) {
          best_distance = distance;
          best = static_cast<int>(p + 1);
        }
      }
      it = nearest.emplace(c, static_cast<uint8_t>(best)).first;
    }
    indices[i] = it->second;
  }
  return indices;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::vector<uint8_t> Bmp(const Picture& picture) {
  std::array<std::array<uint8_t, 3>, 256> palette;
  const std::vector<uint8_t> indices = Quantize(picture, &palette);
  const uint32_t stride = (static_cast<uint32_t>(picture.width) + 3) & ~3u;
  const uint32_t pixels = stride * static_cast<uint32_t>(picture.height);
  const uint32_t offset = 14 + 40 + 256 * 4;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, offset + pixels);
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);                                    // header size
  Put32(out, static_cast<uint32_t>(picture.width));
  Put32(out, static_cast<uint32_t>(picture.height));  // positive: bottom-up
  Put16(out, 1);                                     // planes
  Put16(out, 8);                                     // bits per pixel
  Put32(out, 0);                                     // no compression
  Put32(out, pixels);
  Put32(out, 2835);                                  // 72 dpi
  Put32(out, 2835);
  Put32(out, 256);                                   // colours used
  Put32(out, 0);
  for (const auto& c : palette) {
    out.push_back(c[2]);
    out.push_back(c[1]);
    out.push_back(c[0]);
    out.push_back(0);
  }
  for (int y = picture.height - 1; y >= 0; --y) {
    const size_t row = static_cast<size_t>(y) * picture.width;
    out.insert(out.end(), indices.begin() + static_cast<std::ptrdiff_t>(row),
               indices.begin() + static_cast<std::ptrdiff_t>(row + picture.width));
    out.resize(out.size() + (stride - static_cast<uint32_t>(picture.width)), 0);
  }
  return out;
}

bool WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

int Convert(const fs::path& art_dir, const fs::path& render_dir) {
  std::vector<art::PictureLine> lines;
  std::string error;
  if (!art::ReadPictures(art_dir / "pictures.txt", &lines, &error)) {
    std::fprintf(stderr, "art-convert: %s\n", error.c_str());
    return 1;
  }
  auto render_of = [&](const art::PictureLine& line, Image* image) {
    const fs::path png = render_dir / (fs::path(line.source).stem().string() + ".png");
    if (!ReadPng(png, image, &error)) return false;
    if (image->width != line.width || image->height != line.height) {
      error = png.string() + " is " + std::to_string(image->width) + "x" +
              std::to_string(image->height) + ", expected " + std::to_string(line.width) + "x" +
              std::to_string(line.height);
      return false;
    }
    return true;
  };

  Image face;
  bool have_face = false;
  for (const art::PictureLine& line : lines) {
    if (line.placement == art::Placement::kFace) {
      if (!render_of(line, &face)) break;
      have_face = true;
    }
  }
  if (!error.empty()) {
    std::fprintf(stderr, "art-convert: %s\n", error.c_str());
    return 1;
  }

  std::ostringstream rc;
  rc << "// Made by tools/make-art.sh from pictures.txt; do not edit.\n"
     << "LANGUAGE 9, 1\n";
  for (const art::PictureLine& line : lines) {
    Image source;
    if (line.placement != art::Placement::kBlack && !render_of(line, &source)) {
      std::fprintf(stderr, "art-convert: %s\n", error.c_str());
      return 1;
    }
    const Picture picture = Place(line, &source, have_face ? &face : nullptr);
    const std::vector<uint8_t> bmp = Bmp(picture);
    const std::string name = art::BitmapName(line);
    if (!WriteFile(art_dir / name, std::string(bmp.begin(), bmp.end()))) {
      std::fprintf(stderr, "art-convert: cannot write %s\n", (art_dir / name).string().c_str());
      return 1;
    }
    char id[16];
    std::snprintf(id, sizeof id, "0x%X", line.id);
    rc << id << " BITMAP \"" << name << "\"\n";
  }
  if (!WriteFile(art_dir / "pictures.rc", rc.str()) ||
      !WriteFile(art_dir / "manifest.txt", art::Manifest(art_dir, lines))) {
    std::fprintf(stderr, "art-convert: cannot write into %s\n", art_dir.string().c_str());
    return 1;
  }
  std::printf("art-convert: %s: %zu pictures\n", art_dir.string().c_str(), lines.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: art-convert <art dir> <render dir>\n");
    return 2;
  }
  return Convert(argv[1], argv[2]);
}
