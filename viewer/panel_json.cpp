#include "viewer/panel_json.h"

#include <algorithm>

#include "bench/drawing/image.h"
#include "bench/probe/area_probe.h"
#include "bench/text.h"
#include "host/text_format.h"
#include "viewer/sounds.h"

namespace viewer {
namespace {

constexpr size_t kLogEntriesPerAnswer = 1000;

// The aircraft's switches that the page works, each under one name for its
// control and its part of the state.
struct Switch {
  const char* name;
  bool (*get)(const bench::Aircraft&);
  void (*set)(bench::Aircraft&, bool on);
};
constexpr Switch kSwitches[] = {
    {"battery", [](const bench::Aircraft& a) { return a.battery(); },
     [](bench::Aircraft& a, bool on) { a.SetBattery(on); }},
    {"avionics", [](const bench::Aircraft& a) { return a.avionics(); },
     [](bench::Aircraft& a, bool on) { a.SetAvionics(on); }},
    {"lights", [](const bench::Aircraft& a) { return a.panel_lights(); },
     [](bench::Aircraft& a, bool on) { a.SetPanelLights(on); }},
    {"engine1", [](const bench::Aircraft& a) { return a.engine(1); },
     [](bench::Aircraft& a, bool on) { a.SetEngine(1, on); }},
    {"engine2", [](const bench::Aircraft& a) { return a.engine(2); },
     [](bench::Aircraft& a, bool on) { a.SetEngine(2, on); }},
    {"pfd", [](const bench::Aircraft& a) { return a.pfd_present(); },
     [](bench::Aircraft& a, bool on) { a.SetPfdPresent(on); }},
    {"dimmer_present", [](const bench::Aircraft& a) { return a.dimmer_present(); },
     [](bench::Aircraft& a, bool on) { a.SetDimmerPresent(on); }},
};

// What each gauge shows in words: the texts it shows and its needle.
json Shows(bench::Panel& panel) {
  json shows = json::object();
  for (host::Gauge* gauge : panel.gauges()) {
    json texts = json::array();
    json needle = nullptr;
    for (const host::DrawnElement& drawn : gauge->last_drawing().elements) {
      if (drawn.kind == kString && !drawn.hidden()) texts.push_back(std::string(drawn.text));
      if (drawn.kind == kNeedle) needle = drawn.value;
    }
    shows[gauge->name()] = {{"texts", texts}, {"needle", needle}};
  }
  return shows;
}

}  // namespace

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json PanelJson(bench::Panel& panel, bench::PanelPictures& drawing, double updates_per_second) {
  json gauges = json::array();
  for (host::Gauge* gauge : panel.gauges()) {
    // The gauge's size is its face's: draw it once to know.
    const bench::Image image = drawing.Render(*gauge, bench::RenderOptions{});
    const int width = image.width(), height = image.height();
    json areas = json::array();
    // What each area sends, for the page to name it on hover: a key event
    // by its name where the bench knows it ("COM2 swap, key 0x1038C").
    const std::vector<std::string> labels = bench::MouseAreaLabels(*gauge);
    for (const MouseRect* area : gauge->MouseAreas()) {
      const size_t index = areas.size();
      std::string sends = index < labels.size() ? labels[index] : "";
      uint32_t key = 0;
      if (!sends.empty() && bench::WholeWord(sends, 16, &key)) {
        const std::string name = bench::Aircraft::KeyEventName(key);
        sends = (name.empty() ? "" : name + ", ") + "key " + host::Hex(key);
      }
      areas.push_back({{"sends", sends},
                       {"x", area->x},
                       {"y", area->y},
                       {"width", area->width},
                       {"height", area->height},
                       {"cursor", area->cursor},
                       {"mask", area->event_mask},
                       {"repeats", (area->event_mask & kMouseRepeat) != 0}});
    }
    gauges.push_back(
        {{"name", gauge->name()}, {"width", width}, {"height", height}, {"areas", areas}});
  }
  return {{"gauges", gauges}, {"updates_per_second", updates_per_second}};
}

json StateJson(bench::Panel& panel, bench::Ambient ambient, uint64_t updates) {
  const bench::Aircraft& aircraft = panel.aircraft();
  json state = {{"dimmer", aircraft.dimmer() == bench::Dimmer::kDim ? "dim" : "bright"},
                {"ambient", bench::AmbientName(ambient)},
                {"baro_inhg", aircraft.baro_inhg()},
                {"updates", updates},
                {"shows", Shows(panel)}};
  for (const Switch& control : kSwitches) state[control.name] = control.get(aircraft);
  for (const char* name : bench::Aircraft::kPartnerNames) {
    const int32_t* value = panel.host().vars().Named(name);
    state[name] = value != nullptr ? json(*value) : json(nullptr);
  }
  return state;
}

json LogJson(const host::Log& log, uint64_t since) {
  json entries = json::array();
  const uint64_t from = std::max(since, log.first());
  uint64_t end = log.next();
  if (from < end && end - from > kLogEntriesPerAnswer) end = from + kLogEntriesPerAnswer;
  auto kept = log.From(from);
  for (uint64_t i = from; i < end; ++i, ++kept) {
    const host::LogEntry& entry = *kept;
    if (entry.kind == host::LogKind::kNamedBind || entry.kind == host::LogKind::kLookup) continue;
    json item = {{"seq", i + 1}, {"gauge", entry.gauge}, {"kind", host::LogKindName(entry.kind)},
                 {"text", entry.Describe()}};
    if (entry.kind == host::LogKind::kKeyEvent) {
      item["id"] = host::Hex(entry.id);
      item["name"] = bench::Aircraft::KeyEventName(entry.id);
    }
    if (entry.kind == host::LogKind::kPlaySound) {
      item["file"] = entry.name;
      item["found"] = !entry.resolved.empty();
      // Where the page gets it to play, if it is a .wav of the sound folder.
      const std::string address = SoundAddress(entry.name);
      item["sound"] = address.empty() ? json(nullptr) : json(address);
    }
    entries.push_back(item);
  }
  return {{"entries", entries}, {"next", end}, {"dropped", from - since}};
}

bool SetControl(bench::Panel& panel, bench::Ambient* ambient, const std::string& name,
                const json& value, std::string* error) {
  bench::Aircraft& aircraft = panel.aircraft();
  for (const Switch& control : kSwitches) {
    if (name != control.name) continue;
    if (!value.is_boolean()) {
      *error = "'" + name + "' takes true or false";
      return false;
    }
    control.set(aircraft, value.get<bool>());
    return true;
  }
  if (name == "dimmer") {
    if (value == "bright" || value == "dim") {
      aircraft.SetDimmer(value == "dim" ? bench::Dimmer::kDim : bench::Dimmer::kBright);
      return true;
    }
    *error = "'dimmer' takes \"bright\" or \"dim\"";
    return false;
  }
  if (name == "ambient") {
    if (value.is_string() && bench::ParseAmbient(value.get<std::string>(), ambient)) return true;
    *error = "'ambient' takes \"day\", \"dusk\" or \"night\"";
    return false;
  }
  *error = "no control named '" + name.substr(0, 40) + "'";
  return false;
}

}  // namespace viewer
