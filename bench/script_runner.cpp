// Running a script that was read: the panel and aircraft driven command by
// command, expectations checked where they stand.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <random>
#include <thread>

#include "bench/commands.h"
#include "bench/script.h"
#include "bench/text.h"

namespace bench::script {
namespace {

class Runner {
 public:
  Runner(const ScenarioOptions& options, ScenarioResult* result)
      : options_(options), result_(result), where_(Visible(result->file)) {}

  void Run(const std::vector<Command>& commands) {
    for (const Command& command : commands) {
      if (!Do(command)) return;
    }
  }

 private:
  // A script error: the scenario stops.
  bool Error(const Command& c, const std::string& said) {
    const std::string message = Visible(said, true);
    result_->errors.push_back({result_->file, c.line, message});
    Print("%s:%d: error: %s\n", where_.c_str(), c.line, message.c_str());
    return false;
  }

  // A failed expectation: the scenario goes on.
  void Fail(const Command& c, const std::string& said) {
    const std::string message = Visible(said, true);
    ++result_->failed;
    result_->failures.push_back({result_->file, c.line, message});
    Print("%s:%d: FAIL %s\n", where_.c_str(), c.line, message.c_str());
  }

  template <typename... Args>
  void Print(const char* format, Args... args) {
    if (options_.out != nullptr) std::fprintf(options_.out, format, args...);
  }

  host::Gauge* GaugeOf(const Command& c) {
    host::Gauge* gauge = panel_.Find(c.gauge);
    if (gauge == nullptr) Error(c, "gauge " + c.gauge + " is not on the panel");
    return gauge;
  }

  bool Do(const Command& c) {
    Aircraft& aircraft = panel_.aircraft();
    switch (c.kind) {
      case Kind::kLoad: {
        std::string why;
        if (!panel_.Open(options_.panel, c.gauges, &why)) return Error(c, why);
        return true;
      }
      case Kind::kSet: panel_.host().vars().Set(c.id, c.number); return true;
      case Kind::kSetBcd: panel_.host().vars().SetInteger(c.id, c.bits); return true;
      case Kind::kHold: aircraft.Hold(c.id, c.number); return true;
      case Kind::kHoldBcd: aircraft.HoldInteger(c.id, c.bits); return true;
      case Kind::kRelease: aircraft.Release(c.id); return true;
      case Kind::kNamed: panel_.SetNamed(c.text, static_cast<int32_t>(c.count)); return true;
      case Kind::kUnregister: panel_.UnregisterNamed(c.text); return true;
      case Kind::kPartner:
        if (c.text == "pfd") {
          aircraft.SetPfdPresent(c.on);
        } else {
          aircraft.SetDimmerPresent(c.on);
        }
        return true;
      case Kind::kPower: aircraft.SetBattery(c.on); return true;
      case Kind::kAvionics: aircraft.SetAvionics(c.on); return true;
      case Kind::kLights: aircraft.SetPanelLights(c.on); return true;
      case Kind::kEngine: aircraft.SetEngine(static_cast<int>(c.count), c.on); return true;
      case Kind::kDimmer: aircraft.SetDimmer(static_cast<int>(c.count)); return true;
      case Kind::kAmbient: ambient_ = c.ambient; return true;
      case Kind::kUpdate: Updates(c); return true;
      case Kind::kClick: return Click(c);
      case Kind::kClickRandom: return ClickRandom(c);
      case Kind::kKey: aircraft.OnKeyEvent(c.id, 0); return true;
      case Kind::kSeed:
        seed_ = static_cast<uint64_t>(c.count);
        seeded_ = false;
        seed_set_ = true;
        return true;
      case Kind::kShow: Show(c); return true;
      case Kind::kEcho: Print("%s\n", Visible(c.text).c_str()); return true;
      case Kind::kSnapshot: return Snapshot(c);
      case Kind::kExpect: return Check(c);
    }
    return true;
  }

  void Updates(const Command& c) {
    const bool paced = c.realtime && options_.realtime;
    const auto period = std::chrono::duration<double>(1.0 / 18.0);
    const auto start = std::chrono::steady_clock::now();
    const bool report = paced && options_.progress != nullptr && c.count >= 18;
    if (report && options_.out != nullptr) std::fflush(options_.out);
    if (report && !options_.progress_is_terminal) {
      std::fprintf(options_.progress, "%s:%d: %" PRId64 " updates in real time (%.1f s)\n",
                   where_.c_str(), c.line, c.count, static_cast<double>(c.count) / 18.0);
    }
    for (int64_t i = 0; i < c.count; ++i) {
      if (paced) {
        std::this_thread::sleep_until(
            start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        period * static_cast<double>(i)));
      }
      panel_.Update();
      ++result_->updates;
      if (report && options_.progress_is_terminal && (i % 6 == 5 || i + 1 == c.count)) {
        std::fprintf(options_.progress, "\r%s:%d: update %" PRId64 " of %" PRId64 " (%.1f of %.1f s)",
                     where_.c_str(), c.line, i + 1, c.count,
                     static_cast<double>(i + 1) / 18.0, static_cast<double>(c.count) / 18.0);
        std::fflush(options_.progress);
      }
    }
    if (report && options_.progress_is_terminal) std::fprintf(options_.progress, "\n");
  }

  void StartClick(const std::string& what) {
    click_start_ = panel_.host().log().size();
    keys_taken_ = 0;
    sounds_taken_ = 0;
    clicked_ = true;
    last_click_ = what;
  }

  bool Click(const Command& c) {
    host::Gauge* gauge = GaugeOf(c);
    if (gauge == nullptr) return false;
    int32_t x = c.x, y = c.y;
    if (c.by_area) {
      const std::vector<const MouseRect*> areas = gauge->MouseAreas();
      if (c.count > static_cast<int64_t>(areas.size())) {
        return Error(c, c.gauge + " has " + std::to_string(areas.size()) + " mouse areas; there is no area " +
                            std::to_string(c.count));
      }
      const host::Point centre = host::AreaCentre(*areas[static_cast<size_t>(c.count - 1)]);
      x = centre.x;
      y = centre.y;
    }
    char what[96];
    std::snprintf(what, sizeof what, "%s at (%d, %d)", c.gauge.c_str(), x, y);
    StartClick(what);
    const int taken = panel_.Press(*gauge, x, y, c.repeats);
    if (taken == 0) last_click_ += ", where no mouse area took it";
    return true;
  }

  uint64_t Random() {
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

  bool ClickRandom(const Command& c) {
    host::Gauge* gauge = GaugeOf(c);
    if (gauge == nullptr) return false;
    const std::vector<const MouseRect*> areas = gauge->MouseAreas();
    if (areas.empty()) return Error(c, c.gauge + " has no mouse areas to click");
    Random();
    result_->random = true;
    result_->seed = seed_;
    Print("%s:%d: %" PRId64 " random clicks on %s with seed %" PRIu64 "\n", where_.c_str(),
          c.line, c.count, c.gauge.c_str(), seed_);
    StartClick(std::to_string(c.count) + " random clicks on " + c.gauge);
    for (int64_t i = 0; i < c.count; ++i) {
      const MouseRect& area = *areas[Random() % areas.size()];
      const int32_t x = area.x + static_cast<int32_t>(Random() % static_cast<uint64_t>(std::max(1, area.width)));
      const int32_t y = area.y + static_cast<int32_t>(Random() % static_cast<uint64_t>(std::max(1, area.height)));
      const bool repeat = (area.event_mask & kMouseRepeat) != 0 && Random() % 3 == 0;
      panel_.Click(*gauge, x, y, repeat ? kMouseRepeat : kMousePress);
    }
    return true;
  }

  void Show(const Command& c) {
    if (options_.out == nullptr) return;
    for (host::Gauge* gauge : panel_.gauges()) {
      if (!c.gauge.empty() && gauge->name() != c.gauge) continue;
      Print("%s:%d: %s after %" PRIu64 " updates\n", where_.c_str(), c.line,
            gauge->name().c_str(), panel_.updates());
      PrintFrame(options_.out, panel_.LastFrame(*gauge));
    }
  }

  bool Snapshot(const Command& c) {
    RenderOptions render;
    render.ambient = ambient_;
    render.scale = c.scale;
    render.mouse_overlay = c.overlay;
    Image image;
    if (c.gauge.empty()) {
      image = panel_.RenderPanel(render);
    } else {
      host::Gauge* gauge = GaugeOf(c);
      if (gauge == nullptr) return false;
      image = panel_.Render(*gauge, render);
    }
    if (image.empty()) return Error(c, "cannot draw the snapshot: " + panel_.render_error());
    std::filesystem::path file = c.text;
    if (file.is_relative()) file = options_.out_dir / file;
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    std::string why;
    if (!WritePng(image, file, &why)) return Error(c, why);
    result_->snapshots.push_back(file.string());
    return true;
  }

  // What the last click sent of one kind, from the entry `taken` on.
  std::vector<const host::LogEntry*> Sent(host::LogKind kind) {
    std::vector<const host::LogEntry*> entries;
    const std::vector<host::LogEntry>& log = panel_.host().log();
    for (size_t i = click_start_; clicked_ && i < log.size(); ++i) {
      if (log[i].kind == kind) entries.push_back(&log[i]);
    }
    return entries;
  }

  std::string ClickContext() const {
    return clicked_ ? "the last click (" + last_click_ + ")" : "no click so far";
  }

  // The element a reference names, or null with the reason.
  const host::DrawnElement* FindElement(const host::Frame& frame, const ElementRef& ref,
                                        const std::string& gauge, std::string* label,
                                        std::string* why) {
    const auto& elements = frame.elements;
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

  bool Check(const Command& c) {
    ++result_->expectations;
    host::Host& host = panel_.host();
    switch (c.expect) {
      case Expect::kKey: {
        const auto sent = Sent(host::LogKind::kKeyEvent);
        if (keys_taken_ >= sent.size()) {
          Fail(c, "expected key event " + KeyText(c.id) + ", but " + ClickContext() + " sent " +
                      (sent.empty() ? "none" : "no more"));
        } else if (sent[keys_taken_]->id != c.id) {
          Fail(c, "expected key event " + KeyText(c.id) + ", saw " + KeyText(sent[keys_taken_]->id) +
                      " from " + ClickContext());
        }
        ++keys_taken_;
        return true;
      }
      case Expect::kNoKey: {
        const auto sent = Sent(host::LogKind::kKeyEvent);
        if (keys_taken_ < sent.size()) {
          Fail(c, "expected no more key events, saw " + KeyText(sent[keys_taken_]->id) + " from " +
                      ClickContext());
        }
        return true;
      }
      case Expect::kClick: {
        const auto sent = Sent(host::LogKind::kPlaySound);
        if (sounds_taken_ >= sent.size()) {
          Fail(c, "expected the click " + Quote(c.text) + ", but " + ClickContext() + " played " +
                      (sent.empty() ? "none" : "no more"));
        } else if (sent[sounds_taken_]->name != c.text) {
          Fail(c, "expected the click " + Quote(c.text) + ", saw " + Quote(sent[sounds_taken_]->name) +
                      " from " + ClickContext());
        } else if (sent[sounds_taken_]->resolved.empty()) {
          Fail(c, "the click " + Quote(c.text) + " was played, but the sound library found no such "
                  "file under " + options_.panel.sound_root.string() +
                  " (lay out dist/ with tools/dist.sh, or give the simulator folder with --sound-root)");
        }
        ++sounds_taken_;
        return true;
      }
      case Expect::kNoClick: {
        const auto sent = Sent(host::LogKind::kPlaySound);
        if (sounds_taken_ < sent.size()) {
          Fail(c, "expected no more clicks, saw " + Quote(sent[sounds_taken_]->name) + " from " +
                      ClickContext());
        }
        return true;
      }
      case Expect::kNamed: {
        const int32_t* value = host.vars().Named(c.text);
        if (c.none) {
          if (value != nullptr) {
            Fail(c, "expected " + Quote(c.text) + " to be unregistered, it is registered with " +
                        std::to_string(*value));
          }
        } else if (value == nullptr) {
          Fail(c, "expected " + Quote(c.text) + " to hold " + std::to_string(c.count) +
                      ", but no gauge has registered it");
        } else if (*value != c.count) {
          Fail(c, "expected " + Quote(c.text) + " to hold " + std::to_string(c.count) + ", saw " +
                      std::to_string(*value));
        }
        return true;
      }
      case Expect::kVar: {
        host::Variables& vars = host.vars();
        if (!vars.Has(c.id)) {
          Fail(c, "expected variable " + Hex(c.id) + " to hold " +
                      (c.integer ? Hex(c.bits) : Number(c.number)) + ", but the bench does not "
                      "simulate it");
        } else if (c.integer) {
          if (vars.GetInteger(c.id) != c.bits) {
            Fail(c, "expected variable " + Hex(c.id) + " to hold " + Hex(c.bits) + ", saw " +
                        Hex(vars.GetInteger(c.id)));
          }
        } else {
          const double value = vars.Get(c.id);
          const bool same = std::isnan(c.number) ? std::isnan(value)
                                                 : std::fabs(value - c.number) <= c.tolerance;
          if (!same) {
            Fail(c, "expected variable " + Hex(c.id) + " to hold " + Number(c.number) +
                        (c.tolerance > 0 ? " within " + Number(c.tolerance) : "") + ", saw " +
                        Number(value));
          }
        }
        return true;
      }
      case Expect::kBaro: {
        const int expected = static_cast<int>(std::lround(c.number * 100.0));
        if (panel_.aircraft().baro_hundredths() != expected) {
          char text[96];
          std::snprintf(text, sizeof text, "expected the altimeter setting %.2f inHg, saw %.2f",
                        expected / 100.0, panel_.aircraft().baro_inhg());
          Fail(c, text);
        }
        return true;
      }
      case Expect::kNote: {
        for (const std::string& note : host.notes()) {
          if (note.find(c.text) != std::string::npos) return true;
        }
        std::string seen;
        for (const std::string& note : host.notes()) seen += "\n    " + note;
        Fail(c, "expected a host note with " + Quote(c.text) + ", saw " +
                    (seen.empty() ? std::string("none") : seen));
        return true;
      }
      default:
        break;
    }

    // Expectations about what a gauge shows, as of its last draw.
    host::Gauge* gauge = GaugeOf(c);
    if (gauge == nullptr) return false;
    const host::Frame& frame = panel_.LastFrame(*gauge);
    if (c.expect == Expect::kNeedle) {
      for (const host::DrawnElement& drawn : frame.elements) {
        if (drawn.kind != kNeedle) continue;
        if (!(std::fabs(drawn.value - c.number) <= c.tolerance)) {
          Fail(c, "expected " + c.gauge + "'s needle at " + Number(c.number) +
                      (c.tolerance > 0 ? " within " + Number(c.tolerance) : "") + ", saw " +
                      Number(drawn.value));
        }
        return true;
      }
      return Error(c, c.gauge + " has no needle");
    }
    std::string label, why;
    const host::DrawnElement* drawn = FindElement(frame, c.element, c.gauge, &label, &why);
    if (drawn == nullptr) return Error(c, why);
    switch (c.expect) {
      case Expect::kText:
        if (drawn->kind != kString) return Error(c, label + " is not a text");
        if (drawn->text != c.text) {
          Fail(c, "expected " + label + " to read " + Quote(c.text) + ", saw " + Quote(drawn->text) +
                      (drawn->hidden() ? " (hidden)" : ""));
        }
        return true;
      case Expect::kHidden:
      case Expect::kShown:
        if (drawn->hidden() != (c.expect == Expect::kHidden)) {
          Fail(c, "expected " + label + " to be " +
                      (c.expect == Expect::kHidden ? "hidden, it is shown" : "shown, it is hidden") +
                      (drawn->kind == kString ? " (" + Quote(drawn->text) + ")" : ""));
        }
        return true;
      case Expect::kLit:
        if (drawn->lit() != c.on) {
          Fail(c, "expected " + label + " to be drawn " + (c.on ? "lit, it is unlit" : "unlit, it is lit"));
        }
        return true;
      case Expect::kPicture:
      case Expect::kLamp: {
        if (drawn->kind != kIcon) return Error(c, label + " is not a picture (icon) element");
        if (c.expect == Expect::kPicture) {
          const bool same = std::isnan(c.number) ? std::isnan(drawn->value) : drawn->value == c.number;
          if (!same) {
            Fail(c, "expected " + label + " to show picture " + Number(c.number) + ", saw " +
                        Number(drawn->value));
          }
          return true;
        }
        const double value = drawn->value;
        const bool whole = value >= 0.0 && value < 4096.0 && value == std::floor(value);
        if (!whole) {
          Fail(c, "expected " + label + " " + (c.on ? "on" : "off") +
                      ", but it shows no picture (result " + Number(value) + ")");
        } else if ((value >= 1.0) != c.on) {
          Fail(c, "expected " + label + " " + (c.on ? "on" : "off") + ", it is " +
                      (c.on ? "off (picture 0)" : "on (picture " + Number(value) + ")"));
        }
        return true;
      }
      default:
        return true;
    }
  }

  ScenarioOptions options_;
  ScenarioResult* result_;
  std::string where_;  // the file as messages name it
  Panel panel_;
  Ambient ambient_ = Ambient::kDay;
  size_t click_start_ = 0;
  bool clicked_ = false;
  size_t keys_taken_ = 0;
  size_t sounds_taken_ = 0;
  std::string last_click_;
  std::mt19937_64 rng_;
  bool seeded_ = false;
  bool seed_set_ = false;
  uint64_t seed_ = 0;
};

}  // namespace

void Run(const std::vector<Command>& commands, const ScenarioOptions& options,
         ScenarioResult* result) {
  Runner(options, result).Run(commands);
}

}  // namespace bench::script
