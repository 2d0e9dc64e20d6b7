// make-clicks <dir>: writes the click sounds into <dir> (the project's sound/).
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/sound/clicks.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-clicks <dir>\n");
    return 2;
  }
  for (const clicks::Click& click : clicks::kClicks) {
    const std::filesystem::path file = std::filesystem::path(argv[1]) / click.file;
    const std::vector<uint8_t> wav = click.make();
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
    if (!out) {
      std::fprintf(stderr, "make-clicks: cannot write %s\n", file.string().c_str());
      return 1;
    }
    std::printf("make-clicks: %s (%zu bytes)\n", file.string().c_str(), wav.size());
  }
  return 0;
}
