#include "bench/drawing/png_frames.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace bench {
namespace {

// A band is as many rows as make about this much (at least one row): large
// enough that compressing each band on its own loses little, small enough
// that a line of text changing costs a band or two.
constexpr size_t kBandBytes = 64 << 10;

void Put32(std::string* out, uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 8), static_cast<char>(value)};
  out->append(bytes, 4);
}

// A chunk: its length, its type, its data as `pieces` one after another,
// and the checksum of type and data.
void PutChunk(std::string* out, const char* type, const std::vector<std::string_view>& pieces) {
  size_t length = 0;
  for (std::string_view piece : pieces) length += piece.size();
  Put32(out, static_cast<uint32_t>(length));
  out->append(type, 4);
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
  for (std::string_view piece : pieces) {
    out->append(piece);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(piece.data()), static_cast<uInt>(piece.size()));
  }
  Put32(out, static_cast<uint32_t>(crc));
}

}  // namespace

struct PngFrames::Deflater {
  z_stream stream{};
  bool ready = false;
  Deflater() = default;
  Deflater(const Deflater&) = delete;  // zlib's state points back at `stream`
  Deflater& operator=(const Deflater&) = delete;
  ~Deflater() {
    if (ready) deflateEnd(&stream);
  }
};

PngFrames::PngFrames() = default;
PngFrames::~PngFrames() = default;
PngFrames::PngFrames(PngFrames&&) noexcept = default;
PngFrames& PngFrames::operator=(PngFrames&&) noexcept = default;

bool PngFrames::Compress(Band* band, std::string* error) {
  if (deflater_ == nullptr) {
    auto deflater = std::make_unique<Deflater>();
    // Raw deflate: the zlib header and checksum are written around the
    // bands.
    if (deflateInit2(&deflater->stream, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
      if (error) *error = "not enough memory to encode it";
      return false;
    }
    deflater->ready = true;
    deflater_ = std::move(deflater);
  } else {
    deflateReset(&deflater_->stream);
  }
  z_stream& stream = deflater_->stream;
  const std::vector<uint8_t>& rows = band->rows;
  band->adler = adler32(adler32(0L, nullptr, 0), rows.data(), static_cast<uInt>(rows.size()));
  std::string& out = band->compressed;
  out.resize(deflateBound(&stream, static_cast<uLong>(rows.size())) + 16);
  stream.next_in = const_cast<Bytef*>(rows.data());
  stream.avail_in = static_cast<uInt>(rows.size());
  size_t written = 0;
  // A full flush ends the band on a byte boundary with no block marked
  // last, and leaves nothing for the next band to refer back to: bands
  // then join one after another into one stream.
  for (;;) {
    stream.next_out = reinterpret_cast<Bytef*>(out.data()) + written;
    stream.avail_out = static_cast<uInt>(out.size() - written);
    const int result = deflate(&stream, Z_FULL_FLUSH);
    written = out.size() - stream.avail_out;
    if (result != Z_OK && result != Z_BUF_ERROR) {
      out.clear();
      if (error) *error = "zlib could not compress it";
      return false;
    }
    if (stream.avail_out != 0) break;
    out.resize(out.size() * 2);
  }
  out.resize(written);
  return true;
}

bool PngFrames::Encode(const Image& image, std::string* out, std::string* error) {
  if (image.empty()) {
    if (error) *error = "the picture is empty";
    return false;
  }
  const bool opaque = image.opaque();
  const int channels = opaque ? 3 : 4;
  if (image.width() != width_ || image.height() != height_ || channels != channels_) {
    bands_.clear();
    width_ = image.width();
    height_ = image.height();
    channels_ = channels;
  }
  const size_t stride = 1 + static_cast<size_t>(width_) * channels;
  const int band_rows = static_cast<int>(std::max<size_t>(1, kBandBytes / stride));
  bands_.resize(static_cast<size_t>((height_ + band_rows - 1) / band_rows));

  std::vector<uint8_t> rows;  // the band's rows now; then the band's old rows, for the next
  for (size_t b = 0; b < bands_.size(); ++b) {
    const int top = static_cast<int>(b) * band_rows;
    const int bottom = std::min(height_, top + band_rows);
    rows.resize(static_cast<size_t>(bottom - top) * stride);
    uint8_t* to = rows.data();
    for (int y = top; y < bottom; ++y) {
      *to++ = 0;  // no filter
      const Rgba* from = &image.at(0, y);
      if (opaque) {
        for (int x = 0; x < width_; ++x, to += 3) {
          to[0] = from[x].r;
          to[1] = from[x].g;
          to[2] = from[x].b;
        }
      } else {
        std::memcpy(to, from, static_cast<size_t>(width_) * 4);
        to += static_cast<size_t>(width_) * 4;
      }
    }
    Band& band = bands_[b];
    if (!band.compressed.empty() && band.rows == rows) continue;
    band.rows.swap(rows);
    if (!Compress(&band, error)) {
      bands_.clear();
      return false;
    }
  }

  // The zlib stream: its header (deflate, 32 KiB window, fastest), the
  // bands, an empty last block, and the checksum of all the rows.
  std::vector<std::string_view> stream{std::string_view("\x78\x01", 2)};
  size_t length = 0;
  uLong adler = adler32(0L, nullptr, 0);
  for (const Band& band : bands_) {
    stream.push_back(band.compressed);
    length += band.compressed.size();
    adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.rows.size()));
  }
  std::string tail("\x03\x00", 2);
  Put32(&tail, static_cast<uint32_t>(adler));
  stream.push_back(tail);

  std::string header;
  Put32(&header, static_cast<uint32_t>(width_));
  Put32(&header, static_cast<uint32_t>(height_));
  // 8 bits a channel, RGB or RGBA, deflate, adaptive filtering, no interlace.
  const char format[5] = {8, static_cast<char>(opaque ? 2 : 6), 0, 0, 0};
  header.append(format, 5);

  out->clear();
  out->reserve(8 + 25 + 12 + 2 + length + tail.size() + 12);
  out->append("\x89PNG\r\n\x1a\n", 8);
  PutChunk(out, "IHDR", {header});
  PutChunk(out, "IDAT", stream);  // one chunk for the whole stream
  PutChunk(out, "IEND", {});
  return true;
}

}  // namespace bench
