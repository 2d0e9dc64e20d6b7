// picture-compare <expected.png> <actual.png>...: each actual picture against
// the expected one, within the golden pictures' tolerance
// (bench::SameWithinTolerance). For each that differs it writes the actual
// picture and a difference picture (differing pixels red) beside the
// expected one, as <name>.actual.png and <name>.diff.png, and says where.
// Exit status: 0 all the same, 1 some differ, 2 a picture could not be read.
#include <cstdio>
#include <string>

#include "bench/drawing/image.h"

namespace {

std::filesystem::path Beside(const std::filesystem::path& expected, const char* kind) {
  return expected.parent_path() / (expected.stem().string() + "." + kind + ".png");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: picture-compare <expected.png> <actual.png>\n");
    return 2;
  }
  const std::filesystem::path expected_file = argv[1], actual_file = argv[2];
  bench::Image expected, actual;
  std::string error;
  if (!bench::ReadPng(expected_file, &expected, &error) ||
      !bench::ReadPng(actual_file, &actual, &error)) {
    std::fprintf(stderr, "picture-compare: %s\n", error.c_str());
    return 2;
  }
  const bench::Difference difference =
      bench::Compare(expected, actual, bench::kChannelTolerance);
  if (bench::SameWithinTolerance(difference)) {
    if (difference.pixels > 0) {
      std::printf("%s: %d pixel(s) differ by more than %d, within the %d allowed\n",
                  actual_file.string().c_str(), difference.pixels, bench::kChannelTolerance,
                  bench::kPixelsAllowed);
    }
    return 0;
  }
  const std::filesystem::path kept = Beside(expected_file, "actual");
  const std::filesystem::path diff = Beside(expected_file, "diff");
  if (!bench::WritePng(actual, kept, &error)) std::fprintf(stderr, "picture-compare: %s\n", error.c_str());
  if (!difference.same_size) {
    std::fprintf(stderr,
                 "picture-compare: expected %d x %d, got %d x %d\n  expected: %s\n  actual:   %s\n",
                 expected.width(), expected.height(), actual.width(), actual.height(),
                 expected_file.string().c_str(), kept.string().c_str());
    return 1;
  }
  if (!bench::WritePng(difference.picture, diff, &error)) {
    std::fprintf(stderr, "picture-compare: %s\n", error.c_str());
  }
  std::fprintf(stderr,
               "picture-compare: %d pixels differ by more than %d (at most %d may; the largest "
               "channel difference is %d)\n  expected:   %s\n  actual:     %s\n"
               "  difference: %s (differing pixels red)\n",
               difference.pixels, bench::kChannelTolerance, bench::kPixelsAllowed,
               difference.largest, expected_file.string().c_str(), kept.string().c_str(),
               diff.string().c_str());
  return 1;
}
