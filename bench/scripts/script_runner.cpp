// Running a script that was read: the panel and aircraft driven command by
// command, expectations checked where they stand. What each verb does is in
// its row of script_verbs.cpp; the longer runs are here.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <random>
#include <thread>

#include "bench/print_drawing.h"
#include "bench/scripts/script.h"
#include "bench/text.h"

namespace bench::script {
namespace {

// The element a reference names, or null with the reason.
const host::DrawnElement* FindElement(const host::Drawing& drawing, const ElementRef& ref,
                                      const std::string& gauge, std::string* label,
                                      std::string* why) {
  const auto& elements = drawing.elements;
  for (size_t i = 0; i < elements.size(); ++i) {
    const host::DrawnElement& drawn = elements[i];
    bool match = false;
    switch (ref.how) {
      case ElementRef::kNumber: match = i + 1 == ref.number; break;
      case ElementRef::kResource:
        match = drawn.kind != kString && drawn.resource_id == ref.number;
        break;
      case ElementRef::kReadout:
        match = drawn.kind == kString &&
                reinterpret_cast<const StringElement*>(drawn.record)->source_vars[0].var_id ==
                    ref.number;
        break;
    }
    if (!match) continue;
    *label = gauge + " " +
             (ref.how == ElementRef::kReadout ? ref.name + " (element " + std::to_string(i + 1) + ")"
              : ref.how == ElementRef::kResource
                  ? "element " + std::to_string(i + 1) + " (" + Hex(ref.number) + ")"
                  : "element " + std::to_string(i + 1));
    return &drawn;
  }
  switch (ref.how) {
    case ElementRef::kNumber:
      *why = gauge + " has " + std::to_string(elements.size()) + " elements; there is no element " +
             std::to_string(ref.number);
      break;
    case ElementRef::kResource: {
      *why = gauge + " has no picture element with resource id " + Hex(ref.number) + "; it has";
      for (const host::DrawnElement& drawn : elements) {
        if (drawn.kind != kString) *why += " " + Hex(drawn.resource_id);
      }
      break;
    }
    case ElementRef::kReadout:
      *why = gauge + " has no read-out " + ref.name + " (the read-outs are the radio display's)";
      break;
  }
  return nullptr;
}

}  // namespace

void Runner::Finish() {
  if (result_->more_failures() != 0) Print("%s\n", result_->MoreFailures().c_str());
}

bool Runner::Error(const Command& c, const std::string& said) {
  const std::string message = Visible(said, true);
  result_->AddError(c.line, message);
  Print("%s:%d: error: %s\n", where_.c_str(), c.line, message.c_str());
  return false;
}

void Runner::Fail(const Command& c, const std::string& said) {
  ++result_->failed;
  // Past the listed ones, a failure is only counted: neither kept nor printed.
  if (result_->failures.size() >= kListedProblems) return;
  const std::string message = Visible(said, true);
  result_->AddFailure(c.line, message);
  Print("%s:%d: FAIL %s\n", where_.c_str(), c.line, message.c_str());
}

host::Gauge* Runner::GaugeOf(const Command& c) {
  host::Gauge* gauge = panel_.Find(c.gauge);
  if (gauge == nullptr) Error(c, "gauge " + c.gauge + " is not on the panel");
  return gauge;
}

void Runner::SetSeed(uint64_t seed) {
  seed_ = seed;
  seeded_ = false;
  seed_set_ = true;
}

void Runner::Updates(const Command& c) {
  const bool paced = c.realtime && options_.realtime;
  const auto period = std::chrono::duration<double>(1.0 / 18.0);
  const auto start = std::chrono::steady_clock::now();
  const bool report = paced && options_.progress != nullptr && c.updates >= 18;
  if (report && options_.out != nullptr) std::fflush(options_.out);
  if (report && !options_.progress_is_terminal) {
    std::fprintf(options_.progress, "%s:%d: %" PRId64 " updates in real time (%.1f s)\n",
                 where_.c_str(), c.line, c.updates, static_cast<double>(c.updates) / 18.0);
  }
  for (int64_t i = 0; i < c.updates; ++i) {
    if (paced) {
      std::this_thread::sleep_until(
          start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      period * static_cast<double>(i)));
    }
    panel_.Update();
    ++result_->updates;
    if (report && options_.progress_is_terminal && (i % 6 == 5 || i + 1 == c.updates)) {
      std::fprintf(options_.progress, "\r%s:%d: update %" PRId64 " of %" PRId64 " (%.1f of %.1f s)",
                   where_.c_str(), c.line, i + 1, c.updates,
                   static_cast<double>(i + 1) / 18.0, static_cast<double>(c.updates) / 18.0);
      std::fflush(options_.progress);
    }
  }
  if (report && options_.progress_is_terminal) std::fprintf(options_.progress, "\n");
}

void Runner::StartClick(const std::string& what) {
  click_start_ = panel_.host().log().next();
  keys_taken_ = 0;
  sounds_taken_ = 0;
  clicked_ = true;
  last_click_ = what;
}

bool Runner::Click(const Command& c) {
  host::Gauge* gauge = GaugeOf(c);
  if (gauge == nullptr) return false;
  int32_t x = c.x, y = c.y;
  if (c.area > 0) {
    const std::vector<const MouseRect*> areas = gauge->MouseAreas();
    if (static_cast<size_t>(c.area) > areas.size()) {
      return Error(c, c.gauge + " has " + std::to_string(areas.size()) + " mouse areas; there is no area " +
                          std::to_string(c.area));
    }
    const host::Point centre = host::AreaCentre(*areas[static_cast<size_t>(c.area - 1)]);
    x = centre.x;
    y = centre.y;
  }
  StartClick(host::Format("%s at (%d, %d)", c.gauge.c_str(), x, y));
  const int taken = panel_.Press(*gauge, x, y, c.repeats);
  if (taken == 0) last_click_ += ", where no mouse area took it";
  return true;
}

uint64_t Runner::Random() {
  if (!seeded_) {
    if (!seed_set_) {
      seed_ = options_.seed_given ? options_.seed : std::random_device{}();
      seed_set_ = true;
    }
    rng_.seed(seed_);
    seeded_ = true;
  }
  return rng_();
}

bool Runner::ClickRandom(const Command& c) {
  host::Gauge* gauge = GaugeOf(c);
  if (gauge == nullptr) return false;
  const std::vector<const MouseRect*> areas = gauge->MouseAreas();
  if (areas.empty()) return Error(c, c.gauge + " has no mouse areas to click");
  Random();
  result_->random = true;
  result_->seed = seed_;
  Print("%s:%d: %" PRId64 " random clicks on %s with seed %" PRIu64 "\n", where_.c_str(),
        c.line, c.clicks, c.gauge.c_str(), seed_);
  StartClick(std::to_string(c.clicks) + " random clicks on " + c.gauge);
  for (int64_t i = 0; i < c.clicks; ++i) {
    const MouseRect& area = *areas[Random() % areas.size()];
    const int32_t x = area.x + static_cast<int32_t>(Random() % static_cast<uint64_t>(std::max(1, area.width)));
    const int32_t y = area.y + static_cast<int32_t>(Random() % static_cast<uint64_t>(std::max(1, area.height)));
    const bool repeat = (area.event_mask & kMouseRepeat) != 0 && Random() % 3 == 0;
    panel_.Click(*gauge, x, y, repeat ? kMouseRepeat : kMousePress);
  }
  return true;
}

void Runner::Show(const Command& c) {
  if (options_.out == nullptr) return;
  for (host::Gauge* gauge : panel_.gauges()) {
    if (!c.gauge.empty() && gauge->name() != c.gauge) continue;
    Print("%s:%d: %s after %" PRIu64 " updates\n", where_.c_str(), c.line,
          gauge->name().c_str(), panel_.updates());
    PrintDrawing(options_.out, panel_.LastDrawing(*gauge));
  }
}

bool Runner::Snapshot(const Command& c) {
  const RenderOptions render{ambient_, c.scale, c.overlay};
  Image image;
  if (c.gauge.empty()) {
    image = pictures_.RenderPanel(render);
  } else {
    host::Gauge* gauge = GaugeOf(c);
    if (gauge == nullptr) return false;
    image = pictures_.Render(*gauge, render);
  }
  if (image.empty()) return Error(c, "cannot draw the snapshot: " + pictures_.error());
  // The name was checked as read; the folder is opened once and the file
  // written relative to it, never through a symbolic link below it.
  std::string why;
  if (!out_folder_.is_open() && !out_folder_.Open(options_.out_dir, &why)) return Error(c, why);
  std::string png;
  const std::filesystem::path file = options_.out_dir / c.file;
  if (!EncodePng(image, PngSpeed::kSmall, &png, &why)) {
    return Error(c, "cannot write " + file.string() + ": " + why);
  }
  if (!out_folder_.Write(c.file, png, &why)) return Error(c, why);
  result_->snapshots.push_back(file.string());
  return true;
}

const host::LogEntry* Runner::Pending(host::LogKind kind, bool* any) {
  std::vector<const host::LogEntry*> sent;
  const host::Log& log = panel_.host().log();
  for (auto entry = log.From(click_start_); clicked_ && entry != log.end(); ++entry) {
    if (entry->kind == kind) sent.push_back(&*entry);
  }
  if (any != nullptr) *any = !sent.empty();
  const size_t taken = kind == host::LogKind::kKeyEvent ? keys_taken_ : sounds_taken_;
  return taken < sent.size() ? sent[taken] : nullptr;
}

std::string Runner::ClickContext() const {
  return clicked_ ? "the last click (" + last_click_ + ")" : "no click so far";
}

const host::Drawing* Runner::DrawingOf(const Command& c) {
  host::Gauge* gauge = GaugeOf(c);
  return gauge == nullptr ? nullptr : &panel_.LastDrawing(*gauge);
}

const host::DrawnElement* Runner::Drawn(const Command& c, std::string* label) {
  const host::Drawing* drawing = DrawingOf(c);
  if (drawing == nullptr) return nullptr;
  std::string why;
  const host::DrawnElement* drawn = FindElement(*drawing, c.element, c.gauge, label, &why);
  if (drawn == nullptr) Error(c, why);
  return drawn;
}

}  // namespace bench::script
