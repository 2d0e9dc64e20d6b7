#include "tools/art/art_files.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace art {

bool ReadPictures(const std::filesystem::path& file, std::vector<PictureLine>* lines,
                  std::string* error) {
  std::ifstream in(file);
  if (!in) {
    *error = file.string() + ": cannot read it";
    return false;
  }
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    auto fail = [&](const std::string& why) {
      *error = file.string() + ":" + std::to_string(number) + ": " + why;
      return false;
    };
    if (const auto hash = text.find('#'); hash != std::string::npos) text.resize(hash);
    std::istringstream words(text);
    std::string id, size, source, placement, at;
    if (!(words >> id)) continue;
    PictureLine line;
    if (!(words >> size >> source >> placement)) {
      return fail("expected: <id> <width>x<height> <source> <placement>");
    }
    char* end = nullptr;
    line.id = static_cast<uint32_t>(std::strtoul(id.c_str(), &end, 16));
    if (*end != '\0' || line.id == 0) return fail("bad resource id '" + id + "'");
    if (std::sscanf(size.c_str(), "%dx%d", &line.width, &line.height) != 2 || line.width <= 0 ||
        line.height <= 0 || line.width > 4096 || line.height > 4096) {
      return fail("bad size '" + size + "' (width x height, e.g. 380x495)");
    }
    line.source = source;
    if (placement == "face") {
      line.placement = Placement::kFace;
    } else if (placement == "black") {
      line.placement = Placement::kBlack;
    } else if (placement == "alone") {
      line.placement = Placement::kAlone;
    } else if (placement == "over") {
      line.placement = Placement::kOver;
      if (!(words >> at) || std::sscanf(at.c_str(), "%d,%d", &line.x, &line.y) != 2) {
        return fail("'over' needs a position X,Y");
      }
    } else {
      return fail("unknown placement '" + placement + "' (face, black, over X,Y or alone)");
    }
    if ((line.placement == Placement::kBlack) != (source == "-")) {
      return fail("a black picture has the source '-', and only a black picture has");
    }
    std::string extra;
    if (words >> extra) return fail("unexpected '" + extra + "'");
    lines->push_back(line);
  }
  return true;
}

std::string BitmapName(const PictureLine& line) {
  if (line.placement == Placement::kBlack) {
    return "black-" + std::to_string(line.width) + "x" + std::to_string(line.height) + ".bmp";
  }
  return std::filesystem::path(line.source).stem().string() + ".bmp";
}

std::string FileHash(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "missing";
  uint64_t hash = 0xcbf29ce484222325ull;
  for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
    hash ^= static_cast<unsigned char>(*it);
    hash *= 0x100000001b3ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string Manifest(const std::filesystem::path& art_dir, const std::vector<PictureLine>& lines) {
  std::set<std::string> files{"pictures.txt", "pictures.rc"};
  for (const PictureLine& line : lines) {
    if (line.source != "-") files.insert(line.source);
    files.insert(BitmapName(line));
  }
  std::string manifest = "# Made by tools/make-art.sh; a test compares it with the files.\n";
  for (const std::string& file : files) manifest += FileHash(art_dir / file) + "  " + file + "\n";
  return manifest;
}

}  // namespace art
