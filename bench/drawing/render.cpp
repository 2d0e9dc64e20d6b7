// Turning what a gauge drew into pixels as the simulator's panel system does.
// What is ours to choose (lighting, needle placement, text placement, the
// mouse overlay) is written down in docs/drawing.md.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "bench/drawing/render.h"
#include "bench/probe/area_probe.h"
#include "host/text_format.h"

namespace bench {
namespace {

constexpr double kTurn = 2 * std::numbers::pi;

}  // namespace

const char* AmbientName(Ambient ambient) {
  switch (ambient) {
    case Ambient::kDay: return "day";
    case Ambient::kDusk: return "dusk";
    case Ambient::kNight: return "night";
  }
  return "day";
}

bool ParseAmbient(const std::string& text, Ambient* ambient) {
  for (Ambient each : {Ambient::kDay, Ambient::kDusk, Ambient::kNight}) {
    if (text == AmbientName(each)) {
      *ambient = each;
      return true;
    }
  }
  return false;
}

double AmbientBrightness(Ambient ambient) {
  switch (ambient) {
    case Ambient::kDay: return 1.0;
    case Ambient::kDusk: return 0.55;
    case Ambient::kNight: return 0.25;
  }
  return 1.0;
}

double NeedleAngle(const NeedleElement& needle, double value) {
  const NeedleScalePoint* table = needle.scale_table;
  const uint32_t count = table != nullptr ? needle.scale_point_count : 0;
  if (count == 0) return 0.0;
  const double pivot_x = needle.head.position_x;
  const double pivot_y = needle.head.position_y;
  auto towards = [&](uint32_t i) {
    return std::atan2(table[i].y - pivot_y, table[i].x - pivot_x);
  };
  if (count == 1) return towards(0);
  // The segment the value lies in; below the first entry the first segment
  // goes on, beyond the last the last one does.
  uint32_t segment = 0;
  while (segment + 2 < count && value > table[segment + 1].value) ++segment;
  const double from = towards(segment);
  // The turn from one entry to the next goes clockwise as the value rises
  // (y grows downwards, so clockwise is a growing angle): 0 < turn <= 360°.
  double turn = std::fmod(towards(segment + 1) - from, kTurn);
  if (turn <= 0.0) turn += kTurn;
  const double span = table[segment + 1].value - table[segment].value;
  if (!(span > 0.0)) return from;
  return from + (value - table[segment].value) * turn / span;
}

namespace {

// ---- drawing on the canvas ---------------------------------------------------

uint8_t Dim(uint8_t channel, double brightness) {
  return static_cast<uint8_t>(std::lround(channel * brightness));
}

// Dim for every channel value at one brightness, worked out once for a
// whole picture rather than for each of its pixels.
struct DimTable {
  explicit DimTable(double brightness) {
    for (int channel = 0; channel < 256; ++channel) {
      value[channel] = Dim(static_cast<uint8_t>(channel), brightness);
    }
  }
  uint8_t operator()(uint8_t channel) const { return value[channel]; }
  uint8_t value[256];
};

// A picture at (x, y) on the face, each of its pixels a scale x scale
// block; transparent (black) pixels leave the canvas as it was.
void DrawPicture(Image* canvas, const Picture& picture, int x, int y, int scale,
                 double brightness) {
  const DimTable dim(brightness);
  // Only the picture's pixels whose blocks reach the canvas (whole blocks
  // from px_begin to px_end, rows from py_begin to py_end), so the loops
  // below need no test of their own.
  auto first = [](int at) { return at >= 0 ? 0 : -at; };
  auto end = [&](int at, int size, int canvas_size) {
    const long long room = static_cast<long long>(canvas_size) - static_cast<long long>(at) * scale;
    return room <= 0 ? 0 : static_cast<int>(std::min<long long>(size, (room + scale - 1) / scale));
  };
  const int px_begin = first(x), px_end = end(x, picture.width, canvas->width());
  const int py_begin = first(y), py_end = end(y, picture.height, canvas->height());
  for (int py = py_begin; py < py_end; ++py) {
    const Rgba* from = &picture.pixels[static_cast<size_t>(py) * picture.width];
    const int top = (y + py) * scale;
    const int rows = std::min(scale, canvas->height() - top);
    for (int px = px_begin; px < px_end; ++px) {
      if (from[px].a == 0) continue;
      const Rgba shown{dim(from[px].r), dim(from[px].g), dim(from[px].b), 255};
      const int left = (x + px) * scale;
      const int right = std::min(left + scale, canvas->width());
      for (int dy = 0; dy < rows; ++dy) {
        Rgba* row = &canvas->at(0, top + dy);
        for (int cx = left; cx < right; ++cx) row[cx] = shown;
      }
    }
  }
}

// The needle bitmap turned by `angle` about its pivot (offset_x, offset_y)
// placed on the face's pivot (position_x, position_y); a pivot names a
// pixel, and turns about that pixel's centre. Every canvas pixel takes the
// bitmap's colour at the point it came from, bilinear between the four
// nearest bitmap pixels with premultiplied alpha, so black (transparent)
// pixels add nothing to the colour and make the edge smooth.
void DrawNeedle(Image* canvas, const Picture& picture, const ElementHead& head, double angle,
                int scale, double brightness) {
  const double pivot_x = head.position_x + 0.5;  // face pixels
  const double pivot_y = head.position_y + 0.5;
  const double origin_x = head.offset_x + 0.5;  // needle pixels
  const double origin_y = head.offset_y + 0.5;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  // Every point of the bitmap lies within this distance of the pivot.
  double reach = 0.0;
  for (double corner_x : {0.0, static_cast<double>(picture.width)}) {
    for (double corner_y : {0.0, static_cast<double>(picture.height)}) {
      reach = std::max(reach, std::hypot(corner_x - origin_x, corner_y - origin_y));
    }
  }
  reach += 1.0;
  const int left = std::max(0, static_cast<int>(std::floor((pivot_x - reach) * scale)));
  const int right =
      std::min(canvas->width() - 1, static_cast<int>(std::ceil((pivot_x + reach) * scale)));
  const int top = std::max(0, static_cast<int>(std::floor((pivot_y - reach) * scale)));
  const int bottom =
      std::min(canvas->height() - 1, static_cast<int>(std::ceil((pivot_y + reach) * scale)));
  auto texel = [&](int x, int y) -> const Rgba* {
    if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) return nullptr;
    const Rgba& pixel = picture.pixels[static_cast<size_t>(y) * picture.width + x];
    return pixel.a != 0 ? &pixel : nullptr;
  };
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      const double dx = (x + 0.5) / scale - pivot_x;
      const double dy = (y + 0.5) / scale - pivot_y;
      // Turned back by the angle, into the bitmap.
      const double u = origin_x + c * dx + s * dy - 0.5;
      const double v = origin_y - s * dx + c * dy - 0.5;
      const double fx = std::floor(u);
      const double fy = std::floor(v);
      if (fx < -1.0 || fy < -1.0 || fx > picture.width || fy > picture.height) continue;
      const int x0 = static_cast<int>(fx);
      const int y0 = static_cast<int>(fy);
      const double wx = u - fx;
      const double wy = v - fy;
      double alpha = 0, red = 0, green = 0, blue = 0;
      const struct {
        int x, y;
        double weight;
      } taps[] = {{x0, y0, (1 - wx) * (1 - wy)},
                  {x0 + 1, y0, wx * (1 - wy)},
                  {x0, y0 + 1, (1 - wx) * wy},
                  {x0 + 1, y0 + 1, wx * wy}};
      for (const auto& tap : taps) {
        const Rgba* pixel = texel(tap.x, tap.y);
        if (pixel == nullptr || tap.weight <= 0.0) continue;
        alpha += tap.weight;
        red += tap.weight * pixel->r;
        green += tap.weight * pixel->g;
        blue += tap.weight * pixel->b;
      }
      if (alpha <= 0.0) continue;
      alpha = std::min(alpha, 1.0);
      Rgba& out = canvas->at(x, y);
      auto over = [&](double premultiplied, uint8_t under) {
        const double value = premultiplied * brightness + under * (1.0 - alpha);
        return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
      };
      out = {over(red, out.r), over(green, out.g), over(blue, out.b), 255};
    }
  }
}

// The 1-pixel outline of a face rectangle on a canvas `scale` times the
// face: around the scaled block of the columns x to x + width - 1 and the
// rows y to y + height - 1.
void Outline(Image* canvas, int x, int y, int width, int height, int scale, Rgba colour) {
  if (width <= 0 || height <= 0) return;
  const int left = x * scale;
  const int top = y * scale;
  const int right = (x + width) * scale - 1;
  const int bottom = (y + height) * scale - 1;
  auto put = [&](int px, int py) {
    if (canvas->contains(px, py)) canvas->at(px, py) = colour;
  };
  for (int px = left; px <= right; ++px) {
    put(px, top);
    put(px, bottom);
  }
  for (int py = top; py <= bottom; ++py) {
    put(left, py);
    put(right, py);
  }
}

void Shade(Image* canvas, int x, int y, int width, int height, double keep) {
  const DimTable dim(keep);
  for (int py = std::max(y, 0); py < std::min(y + height, canvas->height()); ++py) {
    for (int px = std::max(x, 0); px < std::min(x + width, canvas->width()); ++px) {
      Rgba& p = canvas->at(px, py);
      p = {dim(p.r), dim(p.g), dim(p.b), 255};
    }
  }
}

// Notes a problem once per kind: a note that begins with `once` is not
// made again, whatever the detail after it.
void NoteOnce(host::Host& host, const std::string& once, const std::string& detail) {
  for (const std::string& seen : host.notes()) {
    if (seen.compare(0, once.size(), once) == 0) return;
  }
  host.Note(once + detail);
}

// Why an icon result names no picture, or "" when it names one.
const char* BadPictureIndex(double value, uint32_t count) {
  if (std::isnan(value)) return "not a number";
  if (value < 0.0) return "negative";
  if (std::isinf(value) || value >= count) return "beyond its last picture";
  if (value != std::floor(value)) return "not a whole number";
  return "";
}

// ---- the mouse overlay -------------------------------------------------------

Rgba AreaColour(uint32_t cursor) {
  switch (cursor) {
    case kCursorUp: return {0, 230, 255, 255};    // upper part, right half: cyan
    case kCursorDown: return {255, 150, 0, 255};  // lower part, left half: orange
    default: return {255, 40, 255, 255};          // a whole key or button: magenta
  }
}

void DrawMouseOverlay(Image* canvas, host::Gauge& gauge, Fonts& fonts, int scale) {
  const std::vector<const MouseRect*> areas = gauge.MouseAreas();
  if (areas.empty()) return;
  const std::vector<std::string> labels = MouseAreaLabels(gauge);
  for (const MouseRect* area : areas) {
    Outline(canvas, area->x, area->y, area->width, area->height, scale, AreaColour(area->cursor));
  }
  if (!fonts.ready()) return;
  // Labels over the outlines, each on a darkened patch so it reads over
  // any art: inside the area at its top left, or, for the lower or left
  // part of a split control, at its bottom left, so that the labels of two
  // halves side by side or one above the other stay apart. A label goes
  // only where it covers no other area and stays on the canvas, so none
  // lies over another or is cut off: the radio's small split keys show
  // only their outlines (the live page and `panel-bench areas` name every
  // area).
  const double size = 8.0 * scale;
  const int ascent = static_cast<int>(std::lround(size * 0.75));
  for (size_t i = 0; i < areas.size() && i < labels.size(); ++i) {
    const MouseRect& area = *areas[i];
    const int x = area.x * scale + 1;
    const int y = area.cursor == kCursorDown ? (area.y + area.height) * scale - ascent - 3
                                             : area.y * scale + 1;
    const int width = fonts.TextWidth("Arial Narrow", 400, size, labels[i]) + 2;
    const int height = ascent + 2;
    bool clear = x + width <= canvas->width() && y >= 0 && y + height <= canvas->height();
    for (size_t j = 0; clear && j < areas.size(); ++j) {
      const MouseRect& other = *areas[j];
      clear = j == i || x + width <= other.x * scale || other.x * scale + other.width * scale <= x ||
              y + height <= other.y * scale || other.y * scale + other.height * scale <= y;
    }
    if (!clear) continue;
    Shade(canvas, x, y, width, ascent + 2, 0.3);
    fonts.DrawText(canvas, "Arial Narrow", 400, size, x + 1, y + ascent, labels[i],
                   AreaColour(area.cursor), {x, y, width, ascent + 2});
  }
}

}  // namespace

// ---- gauges ------------------------------------------------------------------

bool CanvasFits(int64_t width, int64_t height, int scale, std::string* why) {
  // Each factor is bounded before it is multiplied, so nothing overflows.
  bool fits = width >= 0 && height >= 0 && scale >= 1 && width <= kLargestCanvasPixels &&
              height <= kLargestCanvasPixels && scale <= 8192;
  if (fits) {
    const int64_t across = width * scale, down = height * scale;
    fits = across <= INT32_MAX && down <= INT32_MAX &&
           (across == 0 || down <= kLargestCanvasPixels / across);
  }
  if (fits) return true;
  if (why != nullptr) {
    *why = "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " at scale " +
           std::to_string(scale) + " is larger than the " +
           std::to_string(kLargestCanvasPixels / 1000000) +
           " million pixels the bench draws" + (scale > 1 ? ": choose a smaller scale" : "");
  }
  return false;
}

Image RenderDrawing(host::Host& host, host::Gauge& gauge, const host::Drawing& drawing,
                    const GaugePictures& pictures, Fonts& fonts, const RenderOptions& options,
                    std::string* error) {
  Image canvas;
  RenderDrawingInto(&canvas, host, gauge, drawing, pictures, fonts, options, error);
  return canvas;
}

bool RenderDrawingInto(Image* canvas_out, host::Host& host, host::Gauge& gauge,
                       const host::Drawing& drawing, const GaugePictures& pictures, Fonts& fonts,
                       const RenderOptions& options, std::string* error) {
  Image& canvas = *canvas_out;
  canvas.Reset(0, 0);
  const int scale = std::clamp(options.scale, 1, 16);
  const double unlit = AmbientBrightness(options.ambient);
  const std::string& name = gauge.name();

  // The canvas is the face's size; without a face, large enough for every
  // picture and box of the drawing.
  int width = 0, height = 0;
  const Picture* face = drawing.elements.empty() || drawing.elements[0].kind != kStaticImage
                            ? nullptr
                            : pictures.Find(drawing.elements[0].resource_id);
  if (face != nullptr) {
    width = face->width;
    height = face->height;
  } else {
    for (const host::DrawnElement& drawn : drawing.elements) {
      if (drawn.kind == kString) {
        const auto& text = *reinterpret_cast<const StringElement*>(drawn.record);
        width = std::max(width, drawn.x + text.box_width);
        height = std::max(height, drawn.y + text.box_height);
      } else if (const Picture* picture = pictures.Find(drawn.resource_id)) {
        // A needle turns about its pivot: room for its length all round.
        const int reach = drawn.kind == kNeedle ? std::max(picture->width, picture->height) : 0;
        width = std::max(width, drawn.x + picture->width + reach);
        height = std::max(height, drawn.y + picture->height + reach);
      }
    }
    width = std::clamp(width, 16, 4096);
    height = std::clamp(height, 16, 4096);
  }
  std::string too_large;
  if (!CanvasFits(width, height, scale, &too_large)) {
    if (error != nullptr) *error = name + ": " + too_large;
    return false;
  }
  canvas.Reset(width * scale, height * scale, {0, 0, 0, 255});

  auto fonts_ready = [&](const char* what) {
    std::string error;
    if (fonts.ready() || fonts.Init(&error)) return true;
    host.Note(name + ": " + what + " not drawn: " + error);
    return false;
  };
  auto find = [&](uint32_t id, const std::string& what, const char* instead) {
    const Picture* picture = pictures.Find(id);
    if (picture == nullptr) {
      host.Note(name + ": " + what + " is not among the gauge's pictures; " + instead);
    }
    return picture;
  };
  for (const host::DrawnElement& drawn : drawing.elements) {
    if (drawn.hidden()) continue;
    const double brightness = drawn.lit() ? 1.0 : unlit;
    const std::string element = name + ": " + host::Hex(drawn.resource_id);
    switch (drawn.kind) {
      case kStaticImage:
        if (const Picture* picture = find(drawn.resource_id, "bitmap " + host::Hex(drawn.resource_id),
                                          "the face is not drawn")) {
          DrawPicture(&canvas, *picture, drawn.x, drawn.y, scale, brightness);
        }
        break;
      case kIcon: {
        const auto* icon = reinterpret_cast<const IconElement*>(drawn.record);
        const uint32_t count = icon->picture_count;
        if (const char* why = BadPictureIndex(drawn.value, count); *why != '\0') {
          NoteOnce(host,
                   name + ": icon " + host::Hex(drawn.resource_id) + " (" + std::to_string(count) +
                       " pictures) draws nothing for a result that is " + why,
                   " (first seen: " + host::Number(drawn.value, 17) + ")");
          break;
        }
        const uint32_t id = drawn.resource_id + static_cast<uint32_t>(drawn.value);
        if (const Picture* picture = find(id, "bitmap " + host::Hex(id) + " (icon " +
                                                  host::Hex(drawn.resource_id) + ")",
                                          "nothing drawn")) {
          DrawPicture(&canvas, *picture, drawn.x, drawn.y, scale, brightness);
        }
        break;
      }
      case kNeedle: {
        const Picture* picture =
            find(drawn.resource_id, "needle bitmap " + host::Hex(drawn.resource_id), "nothing drawn");
        if (picture == nullptr) break;
        if (!std::isfinite(drawn.value)) {
          NoteOnce(host, "needle " + element + " draws nothing for a value that is not finite",
                   " (first seen: " + host::Number(drawn.value, 17) + ")");
          break;
        }
        const auto& needle = *reinterpret_cast<const NeedleElement*>(drawn.record);
        DrawNeedle(&canvas, *picture, needle.head, NeedleAngle(needle, drawn.value), scale,
                   brightness);
        break;
      }
      case kString: {
        if (!fonts_ready("strings")) break;
        const auto& text = *reinterpret_cast<const StringElement*>(drawn.record);
        const std::string_view font(text.font_name,
                                    strnlen(text.font_name, sizeof text.font_name));
        if (!Fonts::Knows(font)) {
          host.Note(name + ": font \"" + std::string(font) +
                    "\" is not known; its strings are drawn in Liberation Sans");
        }
        const uint32_t colour = text.text_colour;  // 0x00BBGGRR
        const Rgba shown{Dim(colour & 0xFF, brightness), Dim((colour >> 8) & 0xFF, brightness),
                         Dim((colour >> 16) & 0xFF, brightness), 255};
        fonts.DrawString(&canvas, {drawn.x, drawn.y, text.box_width, text.box_height}, scale,
                         font, text.font_weight, shown, drawn.text);
        break;
      }
      default:
        host.Note(name + ": element kind " + std::to_string(drawn.kind) + " is not drawn");
        break;
    }
  }

  if (options.mouse_overlay) {
    fonts_ready("mouse area labels");
    DrawMouseOverlay(&canvas, gauge, fonts, scale);
  }
  return true;
}

Image RenderGauge(host::Host& host, host::Gauge& gauge, const GaugePictures& pictures,
                  Fonts& fonts, const RenderOptions& options, std::string* error) {
  Image canvas;
  RenderGaugeInto(&canvas, host, gauge, pictures, fonts, options, error);
  return canvas;
}

bool RenderGaugeInto(Image* canvas, host::Host& host, host::Gauge& gauge,
                     const GaugePictures& pictures, Fonts& fonts, const RenderOptions& options,
                     std::string* error) {
  // A gauge that was never drawn is drawn now, as the panel system draws
  // each gauge before it shows it: the first draw, before any update.
  if (gauge.last_drawing().elements.empty()) gauge.Draw();
  return RenderDrawingInto(canvas, host, gauge, gauge.last_drawing(), pictures, fonts, options,
                           error);
}

Image ComposePanel(const std::vector<std::pair<std::string, Image>>& gauges, Fonts& fonts,
                   int scale, std::string* error) {
  Image panel;
  ComposePanelInto(&panel, gauges, fonts, scale, error);
  return panel;
}

bool ComposePanelInto(Image* panel_out, const std::vector<std::pair<std::string, Image>>& gauges,
                      Fonts& fonts, int scale, std::string* error) {
  Image& panel = *panel_out;
  panel.Reset(0, 0);
  scale = std::clamp(scale, 1, 16);
  const int margin = 16 * scale;
  const int gap = 24 * scale;
  const int label_height = 24 * scale;
  const double label_size = 13.0 * scale;
  const Rgba background{28, 30, 33, 255};
  int64_t width = int64_t{margin} * 2;
  int height = 0;
  for (size_t i = 0; i < gauges.size(); ++i) {
    width += gauges[i].second.width() + (i > 0 ? gap : 0);
    height = std::max(height, gauges[i].second.height());
  }
  const int64_t panel_width = std::max(width, int64_t{margin} * 2);
  const int64_t panel_height = int64_t{margin} + height + label_height + margin / 2;
  std::string too_large;
  if (!CanvasFits(panel_width, panel_height, 1, &too_large)) {
    if (error != nullptr) *error = "the panel: " + too_large;
    return false;
  }
  panel.Reset(static_cast<int>(panel_width), static_cast<int>(panel_height), background);
  std::string fonts_missing;
  const bool labelled = fonts.ready() || fonts.Init(&fonts_missing);
  int x = margin;
  for (const auto& [name, picture] : gauges) {
    for (int y = 0; y < picture.height(); ++y) {
      for (int px = 0; px < picture.width(); ++px) panel.at(x + px, margin + y) = picture.at(px, y);
    }
    if (labelled) {
      const int text_width = fonts.TextWidth("Arial", 400, label_size, name);
      const int left = x + (picture.width() - text_width) / 2;
      fonts.DrawText(&panel, "Arial", 400, label_size, left,
                     margin + height + static_cast<int>(std::lround(label_height * 0.7)), name,
                     {255, 255, 255, 255}, {0, 0, panel.width(), panel.height()});
    }
    x += picture.width() + gap;
  }
  return true;
}

}  // namespace bench
