// How much of a file from outside our readers take, written once. Each
// limit lies far past anything a real gauge file or module holds (the
// largest .gau is about 1.5 MB with a few dozen bitmaps of a few hundred
// pixels), so that a damaged or crafted file costs no more to read than its
// size and is refused with a reason, never read on.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace formats {

// A 32-bit Windows library (a .gau), read whole.
inline constexpr uint64_t kMaxPeFileBytes = 64ull << 20;
// A native module (.so) or sound library, read whole for its checks before
// the system's loader maps it.
inline constexpr uint64_t kMaxModuleFileBytes = 64ull << 20;
// A file that may be either of the two, read before its kind is known.
inline constexpr uint64_t kMaxGaugeFileBytes = std::max(kMaxPeFileBytes, kMaxModuleFileBytes);

// Sections of a library: as many as the Windows loader takes.
inline constexpr uint32_t kMaxPeSections = 96;
// Entries of a library's resource tree, all three levels together.
inline constexpr uint32_t kMaxResourceEntries = 4096;

// A module's records, walked in memory: the host walks no more elements
// (nor children of one element) and mouse rectangles than these, so that a
// chain or list that loops or never ends stops; gauge-check reports a
// module that reaches them.
inline constexpr size_t kMaxGaugeElements = 4096;
inline constexpr size_t kMaxMouseRects = 4096;

// The largest picture, each way. Every reader of a gauge's bitmaps takes
// this one value: the PE reader refuses a bitmap resource of more bytes
// than it needs (kMaxBitmapBytes), the decoder (formats/bitmap.h) a header
// that claims more, so the bench draws every picture gauge-check passes.
// 4096, not more: it is what the bench has always drawn, it keeps the
// largest decoded picture at 64 MB, and a 4096-pixel face drawn at scale 2
// is the largest canvas the bench draws (bench/drawing/render.h).
inline constexpr int32_t kLargestBitmapSide = 4096;
// A bitmap resource: its 40-byte header, a 256-entry palette and 8 bits a
// pixel.
inline constexpr uint64_t kMaxBitmapBytes =
    40 + 256 * 4 + uint64_t{kLargestBitmapSide} * kLargestBitmapSide;

}  // namespace formats
