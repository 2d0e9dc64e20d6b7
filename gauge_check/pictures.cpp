#include "gauge_check/pictures.h"

#include <map>

#include "formats/bitmap.h"
#include "formats/version_info.h"
#include "frame/elements.h"

namespace gauge_check {
namespace {

constexpr uint32_t kLanguageUsEnglish = 1033;

struct Use {
  const ElementFacts* element;
  uint32_t index;  // picture index within the element
};

}  // namespace

bool ReadDib(const std::vector<uint8_t>& bytes, Dib* dib, std::string* why) {
  formats::Bitmap bitmap;
  const formats::BitmapHeader& h = bitmap.header;
  using Fault = formats::BitmapFault;
  switch (formats::ReadBitmap(bytes, &bitmap)) {
    case Fault::kNone: break;
    case Fault::kShorterThanHeader:
      return *why = Format("%zu bytes, shorter than a header", bitmap.size), false;
    case Fault::kHeaderSize: return *why = Format("a %u-byte header", h.header_size), false;
    case Fault::kPlanes:
    case Fault::kBits:
      return *why = Format("%u planes of %u bits per pixel", h.planes, h.bits), false;
    case Fault::kCompressed: return *why = Format("compression %u", h.compression), false;
    case Fault::kTopDown: return *why = "rows top-down (a negative height)", false;
    case Fault::kSize: return *why = Format("a size of %d x %d", h.width, h.height), false;
    case Fault::kPalette: return *why = Format("%u palette entries", h.colours_used), false;
    case Fault::kTooFewBytes:
      return *why = Format("%zu bytes, too few for its pixels", bitmap.size), false;
  }
  dib->width = bitmap.width();
  dib->height = bitmap.height();
  dib->pixels = static_cast<size_t>(dib->width) * static_cast<size_t>(dib->height);
  dib->black = 0;
  for (int y = 0; y < dib->height; ++y) {
    const uint8_t* row = bitmap.Row(y);
    for (int x = 0; x < dib->width; ++x) dib->black += bitmap.Black(row[x]);
  }
  return true;
}

void CheckPictures(const formats::PeImage& image, const RecordFacts& facts, Report& report) {
  report.Ran(CheckId::kPictureMissing, "every picture an element can show is a bitmap resource");
  report.Ran(CheckId::kPictureFormat, "every picture: 40-byte header, 8 bits, 256 colours, bottom-up");
  report.Ran(CheckId::kPictureLanguage, "every picture's resource is U.S. English (1033)");
  report.Ran(CheckId::kOverlaySize, "every full-face overlay has the face's size");
  report.Ran(CheckId::kPicturePlacement, "every picture lies on the face; a needle's pivot in its bitmap");
  report.Ran(CheckId::kFaceBlack, "the face has no pure black (it would not be drawn)");
  report.Ran(CheckId::kOverlayBlack, "every full-face overlay's picture 0 is black all over");
  report.Ran(CheckId::kPictureOnBlack, "every picture above the face sits on black");

  // Each picture id with the elements that show it.
  std::map<uint32_t, std::vector<Use>> uses;
  for (const ElementFacts& e : facts.elements) {
    if (e.kind == kString) continue;
    const uint32_t count = e.kind == kIcon ? e.picture_count : 1;
    for (uint32_t i = 0; i < count; ++i) uses[e.resource_id + i].push_back({&e, i});
  }
  std::map<uint32_t, Dib> dibs;
  for (const auto& [id, users] : uses) {
    const ElementFacts& first = *users.front().element;
    const std::string where = Format("bitmap %s, picture %u of %s", Hex(id).c_str(),
                                     users.front().index, first.where.c_str());
    const formats::PeResource* resource = image.Find(formats::kResourceTypeBitmap, id);
    if (resource == nullptr) {
      report.Fail(CheckId::kPictureMissing, where, "a bitmap resource " + Hex(id), "none in the file");
      continue;
    }
    if (resource->language != kLanguageUsEnglish) {
      report.Fail(CheckId::kPictureLanguage, where, "language 1033 (U.S. English)",
                  std::to_string(resource->language));
    }
    Dib dib;
    std::string why;
    if (!ReadDib(resource->bytes, &dib, &why)) {
      report.Fail(CheckId::kPictureFormat, where,
                  "a 40-byte header, 8 bits per pixel, 256 colours, uncompressed, bottom-up", why);
      continue;
    }
    dibs[id] = dib;
  }

  const auto face = dibs.find(0x100);
  if (face == dibs.end()) {
    report.Note("no readable face bitmap 0x100: the placement checks were skipped");
    return;
  }
  const int fw = face->second.width, fh = face->second.height;
  CheckInsideFace(facts, fw, fh, report);
  if (face->second.black != 0) {
    report.Fail(CheckId::kFaceBlack, "bitmap 0x100, the face", "no pure black pixel",
                Format("%zu of %zu pixels black", face->second.black, face->second.pixels));
  }
  for (const auto& [id, users] : uses) {
    const auto found = dibs.find(id);
    if (found == dibs.end() || id == 0x100) continue;
    const Dib& dib = found->second;
    for (const Use& use : users) {
      const ElementFacts& e = *use.element;
      const std::string where =
          Format("bitmap %s, picture %u of %s", Hex(id).c_str(), use.index, e.where.c_str());
      const bool overlay = e.kind == kIcon && e.x == 0 && e.y == 0;
      if (overlay && (dib.width != fw || dib.height != fh)) {
        report.Fail(CheckId::kOverlaySize, where, Format("the face's size, %dx%d", fw, fh),
                    Format("%dx%d", dib.width, dib.height));
      } else if (e.kind == kIcon && !overlay &&
                 (e.x < 0 || e.y < 0 || int64_t{e.x} + dib.width > fw ||
                  int64_t{e.y} + dib.height > fh)) {
        report.Fail(CheckId::kPicturePlacement, where, Format("inside the face, 0,0 %dx%d", fw, fh),
                    Format("%d,%d %dx%d", e.x, e.y, dib.width, dib.height));
      } else if (e.kind == kNeedle &&
                 (e.offset_x < 0 || e.offset_y < 0 || e.offset_x >= dib.width ||
                  e.offset_y >= dib.height || e.x < 0 || e.y < 0 || e.x >= fw || e.y >= fh)) {
        report.Fail(CheckId::kPicturePlacement, where,
                    Format("the pivot inside the %dx%d needle bitmap and on the face",
                           dib.width, dib.height),
                    Format("pivot %d,%d in the bitmap, at %d,%d on the face", e.offset_x,
                           e.offset_y, e.x, e.y));
      }
      if (overlay && use.index == 0) {
        if (dib.black != dib.pixels) {
          report.Fail(CheckId::kOverlayBlack, where, "black all over (it must leave the face unchanged)",
                      Format("%zu of %zu pixels not black", dib.pixels - dib.black, dib.pixels));
        }
      } else if (dib.black == 0) {
        report.Fail(CheckId::kPictureOnBlack, where, "a picture on pure black",
                    "no black pixel: it would cover the face as a rectangle");
      }
    }
  }
}

void CheckResources(const formats::PeImage& image, Report& report) {
  report.Ran(CheckId::kResourceKind, "only bitmaps and at most one version resource, all numbered");
  report.Ran(CheckId::kVersionResource,
             "a version resource, where there is one: id 1, U.S. English, readable, its texts "
             "naming the versions its numbers give");
  if (image.named_resources > 0) {
    report.Fail(CheckId::kResourceKind, "the resource directory", "numbered resources only",
                Format("%d with a name", image.named_resources));
  }
  int versions = 0;
  for (const formats::PeResource& resource : image.resources) {
    const std::string where = Format("resource type %u, id %s", resource.type, Hex(resource.id).c_str());
    if (resource.type == formats::kResourceTypeBitmap) continue;
    if (resource.type != formats::kResourceTypeVersion) {
      report.Fail(CheckId::kResourceKind, where, "a bitmap (type 2) or the version resource (type 16)",
                  Format("type %u, which the simulator does not read", resource.type));
      continue;
    }
    if (++versions > 1) {
      report.Fail(CheckId::kVersionResource, where, "one version resource", Format("%d", versions));
      continue;
    }
    if (resource.id != 1 || resource.language != kLanguageUsEnglish) {
      report.Fail(CheckId::kVersionResource, where, "id 1, language 1033 (U.S. English)",
                  Format("id %u, language %u", resource.id, resource.language));
    }
    formats::VersionInfo info;
    std::string why;
    if (!formats::ParseVersionInfo(resource.bytes, &info, &why)) {
      report.Fail(CheckId::kVersionResource, where, "a readable VERSIONINFO", why);
      continue;
    }
    // The texts a pilot reads must say what the numbers say ("1.0.0" for 1.0.0.0).
    const auto names = [](const std::array<uint16_t, 4>& numbers, const std::string* text) {
      const std::string dotted = formats::DottedVersion(numbers);
      return text != nullptr && (*text == dotted || (numbers[3] == 0 && *text + ".0" == dotted));
    };
    const std::string* file = info.Text("FileVersion");
    const std::string* product = info.Text("ProductVersion");
    if (!names(info.file_version, file) || !names(info.product_version, product)) {
      report.Fail(CheckId::kVersionResource, where,
                  "FileVersion " + formats::DottedVersion(info.file_version) +
                      " and ProductVersion " + formats::DottedVersion(info.product_version) +
                      ", as the numbers say",
                  "FileVersion " + (file ? "'" + *file + "'" : std::string("none")) +
                      ", ProductVersion " + (product ? "'" + *product + "'" : std::string("none")));
    }
  }
}

}  // namespace gauge_check
