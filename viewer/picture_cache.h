// The live panel's pictures of its gauges: for each gauge a version that
// moves whenever what it draws changes, and the PNGs encoded at that
// version, so that a page asking again for a picture that has not changed
// gets it without drawing or encoding. The pictures a page asked for in the
// last few seconds are drawn by the update that changes them and encoded
// ahead, before the page (told of the change) asks.
//
// Its lock is the panel's, the `mutex` it is given: drawing reads the
// gauges' records, which updates and clicks change. Call every member with
// it held unless the member says otherwise; encoding is done without it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/drawing/image.h"
#include "bench/drawing/panel_pictures.h"
#include "bench/drawing/png_frames.h"
#include "bench/panel.h"

namespace viewer {

class PictureCache {
 public:
  // What each variant of a gauge's picture keeps from one drawing to the
  // next while it is asked for: the canvas drawn into again (a picture this
  // size, asked anew of the system each time, costs more than drawing it
  // on some systems), and the encoder, which compresses again only the
  // bands of rows that changed.
  struct Kept {
    bench::Image image;
    bench::PngFrames frames;
  };
  // A picture drawn by the update, to be encoded before anyone asks.
  struct Ahead {
    size_t index;
    uint64_t version;
    int variant;
    Kept kept;
  };
  // What a page's request finds: the picture's version, and its PNG if one
  // is encoded at that version (else null: the request draws and encodes).
  struct Found {
    uint64_t version = 0;
    std::shared_ptr<const std::string> png;
  };

  // One entry for each of the panel's gauges, in the panel's order.
  PictureCache(bench::Panel& panel, std::mutex& mutex);

  // The key of a picture's encodings: its scale and whether the mouse areas
  // are outlined.
  // What draws the pictures (with the lock held).
  bench::PanelPictures& drawing() { return drawing_; }

  static int Variant(int scale, bool overlay) { return scale * 2 + (overlay ? 1 : 0); }

  // Gives each gauge whose picture, seen in `ambient`, would differ from the
  // last a new version, dropping its encodings. Called after everything
  // that can change the panel. Returns the gauges whose version moved.
  std::vector<size_t> Refresh(bench::Ambient ambient);

  // The pictures of the gauges that changed in the variants asked for in
  // the last few seconds, drawn now to be encoded by EncodeAhead after the
  // caller lets go of the lock: the page's request, sent when the event
  // reaches it, then finds the picture ready or nearly so.
  std::vector<Ahead> DrawAhead(const std::vector<size_t>& redrawn, bench::Ambient ambient);
  // Without the lock: encodes what DrawAhead drew, then takes the lock to
  // hand it over and wake the requests waiting for it.
  void EncodeAhead(std::vector<Ahead>& ahead);

  size_t size() const { return slots_.size(); }
  uint64_t version(size_t index) const { return slots_[index].version; }

  // A page asks for gauge `index`'s picture in `variant`: noted, so that the
  // updates draw it ahead for a while. While the update is encoding it,
  // waits for it (at most a few seconds, and not once closing), letting go
  // of `lock` meanwhile, so the gauge may have been re-created on return.
  Found Ask(size_t index, int variant, std::unique_lock<std::mutex>& lock);
  // Without the lock: keeps the PNG a request encoded at `version`, unless
  // the picture has moved on meanwhile.
  void Keep(size_t index, int variant, uint64_t version, std::shared_ptr<const std::string> png);

  // Ends every wait in Ask, and every wait to come.
  void Close();

 private:
  using Clock = std::chrono::steady_clock;
  // One gauge's picture.
  struct Slot {
    std::string key;  // what it drew, and the light it is seen in
    uint64_t version = 0;
    struct Encoded {
      uint64_t version = 0;
      std::shared_ptr<const std::string> png;
      bool pending = false;  // being encoded ahead by the update
    };
    std::map<int, Encoded> encoded;  // by Variant()
    std::map<int, Clock::time_point> asked;  // when each variant was last asked for
    std::map<int, Kept> kept;  // by Variant(), while asked for
  };

  bench::Panel& panel_;
  bench::PanelPictures drawing_{panel_};
  std::mutex& mutex_;
  std::condition_variable encoded_ahead_;  // a pending picture is ready, or closing
  std::vector<Slot> slots_;  // one per gauge, the panel's order
  bool closing_ = false;
};

}  // namespace viewer
