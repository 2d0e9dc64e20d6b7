// The artwork's bookkeeping, shared by the converter and the test that
// checks the committed bitmaps are up to date with their sources.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace art {

enum class Placement { kFace, kBlack, kOver, kAlone };

// One line of pictures.txt.
struct PictureLine {
  uint32_t id = 0;
  int width = 0;
  int height = 0;
  std::string source;  // the SVG beside pictures.txt; "-" for black
  Placement placement = Placement::kBlack;
  int x = 0;  // kOver: where the picture lies on the face
  int y = 0;
};

// Reads pictures.txt; on a bad line returns false with "file:line: what".
bool ReadPictures(const std::filesystem::path& file, std::vector<PictureLine>* lines,
                  std::string* error);

// The bitmap a line produces, beside its source.
std::string BitmapName(const PictureLine& line);

// 64-bit FNV-1a of a file's bytes ("missing" if it cannot be read).
std::string FileHash(const std::filesystem::path& file);

// The manifest of an art directory: a hash of pictures.txt, of every
// source, of every bitmap and of pictures.rc.
std::string Manifest(const std::filesystem::path& art_dir, const std::vector<PictureLine>& lines);

}  // namespace art
