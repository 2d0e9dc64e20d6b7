// The frames of one moving picture (a gauge as the live panel shows it,
// drawn again whenever it changes) encoded as PNG, fast: zlib's fastest
// level and no row filter. The rows are compressed in bands, each on its
// own; a band whose rows are what they were in the frame before takes that
// frame's compressed bytes again. A key held on a gauge changes a few of
// its lines, so a frame then costs a few bands rather than the picture.
//
// A frame's PNG is the same bytes whatever frames came before it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/drawing/image.h"

namespace bench {

class PngFrames {
 public:
  PngFrames();
  ~PngFrames();
  PngFrames(PngFrames&&) noexcept;
  PngFrames& operator=(PngFrames&&) noexcept;

  // The picture as PNG into `out`: without alpha if every pixel is opaque.
  // False (and `error` says why) for an empty picture or without memory.
  bool Encode(const Image& image, std::string* out, std::string* error);

 private:
  struct Band {
    std::vector<uint8_t> rows;  // the band's rows as compressed: filter byte, then pixels
    std::string compressed;     // raw deflate, ending on a byte boundary, not the last block
    unsigned long adler = 0;    // zlib's checksum of `rows`
  };
  struct Deflater;

  bool Compress(Band* band, std::string* error);

  std::unique_ptr<Deflater> deflater_;  // made at the first band compressed
  int width_ = 0, height_ = 0, channels_ = 0;
  std::vector<Band> bands_;  // the last frame's, top to bottom
};

}  // namespace bench
