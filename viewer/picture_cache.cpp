#include "viewer/picture_cache.h"

#include <utility>

#include "bench/drawing/drawing_key.h"

namespace viewer {
namespace {

// A picture asked for this recently is drawn and encoded by the update that
// changes it; a request finding it being encoded waits at most kAheadWait.
constexpr auto kAskedRecently = std::chrono::seconds(3);
constexpr auto kAheadWait = std::chrono::seconds(2);

}  // namespace

PictureCache::PictureCache(bench::Panel& panel, std::mutex& mutex)
    : panel_(panel), mutex_(mutex), slots_(panel.gauges().size()) {}

std::vector<size_t> PictureCache::Refresh(bench::Ambient ambient) {
  std::vector<size_t> redrawn;
  for (size_t i = 0; i < slots_.size(); ++i) {
    std::string key = bench::DrawingKey(panel_.LastDrawing(*panel_.gauges()[i]));
    key += static_cast<char>(ambient);
    Slot& slot = slots_[i];
    if (key == slot.key) continue;
    slot.key = std::move(key);
    ++slot.version;
    slot.encoded.clear();
    redrawn.push_back(i);
  }
  return redrawn;
}

std::vector<PictureCache::Ahead> PictureCache::DrawAhead(const std::vector<size_t>& redrawn,
                                                         bench::Ambient ambient) {
  std::vector<Ahead> ahead;
  const auto now = Clock::now();
  for (size_t index : redrawn) {
    Slot& slot = slots_[index];
    for (auto it = slot.asked.begin(); it != slot.asked.end();) {
      if (now - it->second > kAskedRecently) {
        slot.kept.erase(it->first);
        it = slot.asked.erase(it);
        continue;
      }
      const bench::RenderOptions render{ambient, it->first / 2, it->first % 2 != 0};
      Kept kept = std::move(slot.kept[it->first]);
      if (drawing_.Render(*panel_.gauges()[index], render, &kept.image)) {
        slot.encoded[it->first] = {slot.version, nullptr, true};
        ahead.push_back({index, slot.version, it->first, std::move(kept)});
      }
      ++it;
    }
  }
  return ahead;
}

void PictureCache::EncodeAhead(std::vector<Ahead>& ahead) {
  std::vector<std::shared_ptr<const std::string>> pngs;
  for (Ahead& picture : ahead) {
    std::string png, error;
    pngs.push_back(picture.kept.frames.Encode(picture.kept.image, &png, &error)
                       ? std::make_shared<const std::string>(std::move(png))
                       : nullptr);
  }
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < ahead.size(); ++i) {
    Slot& slot = slots_[ahead[i].index];
    if (slot.asked.count(ahead[i].variant) != 0) {
      slot.kept[ahead[i].variant] = std::move(ahead[i].kept);
    }
    auto& encoded = slot.encoded;
    const auto it = encoded.find(ahead[i].variant);
    if (it == encoded.end() || !it->second.pending || it->second.version != ahead[i].version) {
      continue;
    }
    if (pngs[i] == nullptr) {
      encoded.erase(it);  // the request encodes it, and says what went wrong
    } else {
      it->second.png = pngs[i];
      it->second.pending = false;
    }
  }
  encoded_ahead_.notify_all();
}

PictureCache::Found PictureCache::Ask(size_t index, int variant,
                                      std::unique_lock<std::mutex>& lock) {
  Slot& slot = slots_[index];
  slot.asked[variant] = Clock::now();
  // Being encoded ahead: wait for it rather than do it twice.
  const auto deadline = Clock::now() + kAheadWait;
  for (auto it = slot.encoded.find(variant);
       it != slot.encoded.end() && it->second.pending && !closing_;
       it = slot.encoded.find(variant)) {
    if (encoded_ahead_.wait_until(lock, deadline) == std::cv_status::timeout) break;
  }
  Found found;
  found.version = slot.version;
  if (auto it = slot.encoded.find(variant); it != slot.encoded.end() && it->second.png) {
    found.png = it->second.png;
  }
  return found;
}

void PictureCache::Keep(size_t index, int variant, uint64_t version,
                        std::shared_ptr<const std::string> png) {
  std::lock_guard lock(mutex_);
  if (slots_[index].version == version) slots_[index].encoded[variant] = {version, png, false};
}

void PictureCache::Close() {
  closing_ = true;
  encoded_ahead_.notify_all();
}

}  // namespace viewer
