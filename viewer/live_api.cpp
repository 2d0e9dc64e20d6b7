#include "viewer/live_api.h"

#include <arpa/inet.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <list>
#include <map>
#include <mutex>
#include <new>
#include <nlohmann/json.hpp>

#include "bench/drawing/frame_key.h"
#include "bench/drawing/image.h"
#include "formats/file_read.h"
#include "host/text_format.h"

namespace viewer {
namespace {

using json = nlohmann::json;

constexpr uint64_t kMaxScale = 4;
// Clicks are in gauge pixels; no gauge is anywhere near this large.
constexpr int64_t kLargestCoordinate = 32767;
// An event stream with nothing to tell sends the state this often (the
// update count moves), which also finds out that its page has gone.
constexpr auto kHeartbeat = std::chrono::seconds(1);
using Clock = std::chrono::steady_clock;
// A picture asked for this recently is drawn and encoded by the update that
// changes it; a request finding it being encoded waits at most kAheadWait.
constexpr auto kAskedRecently = std::chrono::seconds(3);
constexpr auto kAheadWait = std::chrono::seconds(2);
// What a new event stream gets of the log that was there before it, and
// the most one answer carries.
constexpr size_t kFirstLogEntries = 200;
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

// JSON text of anything, with bytes that are not UTF-8 (in what a request
// sent, or in a gauge's text) shown as U+FFFD rather than refused.
std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void Error(httplib::Response& res, int status, const std::string& what) {
  res.status = status;
  res.set_content(Dump(json{{"error", what}}), "application/json");
}

const char* KindName(host::LogKind kind) {
  switch (kind) {
    case host::LogKind::kKeyEvent: return "key";
    case host::LogKind::kPlaySound: return "click";
    case host::LogKind::kStopSound: return "stop";
    case host::LogKind::kTerminateSounds: return "terminate";
    case host::LogKind::kTrappedSlot: return "trap";
    case host::LogKind::kNamedBind: return "bind";
    case host::LogKind::kLookup: return "lookup";
    case host::LogKind::kFpStateChanged: return "fp-state";
  }
  return "?";
}

// A query parameter that is a whole number from `low` to `high` (`*value`
// is left alone when the parameter is absent). False with the reason.
bool QueryNumber(const httplib::Request& req, const char* name, uint64_t low, uint64_t high,
                 uint64_t* value, std::string* error) {
  if (!req.has_param(name)) return true;
  const std::string text = req.get_param_value(name);
  uint64_t number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || number < low ||
      number > high) {
    *error = "'" + std::string(name) + "' must be a whole number from " + std::to_string(low) +
             " to " + std::to_string(high) + " (got '" + text.substr(0, 40) + "')";
    return false;
  }
  *value = number;
  return true;
}

// A member of a JSON body that is a whole number from `low` to `high`.
bool BodyInteger(const json& body, const char* name, int64_t low, int64_t high, int64_t* value) {
  const auto member = body.find(name);
  if (member == body.end()) return false;
  if (member->is_number_unsigned()) {
    const uint64_t number = member->get<uint64_t>();
    if (number > static_cast<uint64_t>(high)) return false;
    *value = static_cast<int64_t>(number);
  } else if (member->is_number_integer()) {
    *value = member->get<int64_t>();
  } else {
    return false;
  }
  return *value >= low && *value <= high;
}

// What an event stream has told its page so far.
struct Cursor {
  bool started = false;
  uint64_t changes = 0;
  uint64_t log = 0;       // the log's sequence number
  bool replaced = false;  // a newer stream took its place
  bool ended = false;     // and its page was told
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower;
}

// What a request sent, shortened for an error message.
std::string Clip(const std::string& text) { return text.substr(0, 80); }

// The bytes of an IP address written out ("127.0.0.1", "::1"); empty if
// `text` is not one.
std::string IpBytes(const std::string& text) {
  unsigned char bytes[16];
  if (inet_pton(AF_INET, text.c_str(), bytes) == 1) return {reinterpret_cast<char*>(bytes), 4};
  if (inet_pton(AF_INET6, text.c_str(), bytes) == 1) return {reinterpret_cast<char*>(bytes), 16};
  return {};
}

bool IsLoopback(const std::string& ip) {
  return (ip.size() == 4 && ip[0] == 127) || ip == std::string(15, '\0') + '\1';
}

// The host (lower case; an IPv6 address without its brackets) and port of
// a Host header or of an origin after its "http://": "name:port",
// "[v6]:port", port 80 when left out. False if it is neither.
bool SplitAuthority(std::string_view text, std::string* host, int* port) {
  std::string_view name, rest;
  if (text.starts_with('[')) {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    name = text.substr(1, close - 1);
    if (IpBytes(std::string(name)).size() != 16) return false;
    rest = text.substr(close + 1);
  } else {
    const size_t colon = text.find(':');
    name = text.substr(0, colon);
    if (colon != std::string_view::npos) rest = text.substr(colon);
  }
  if (name.empty()) return false;
  *port = 80;
  if (!rest.empty()) {
    if (rest.front() != ':') return false;
    rest.remove_prefix(1);
    unsigned number = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
    if (rest.empty() || ec != std::errc() || end != rest.data() + rest.size() || number == 0 ||
        number > 65535) {
      return false;
    }
    *port = static_cast<int>(number);
  }
  *host = Lower(name);
  return true;
}

}  // namespace

struct LiveApi::Impl {
  // One gauge's picture: a version that moves whenever what it draws
  // changes, and the PNGs encoded at that version.
  struct Slot {
    std::string key;
    uint64_t version = 0;
    struct Encoded {
      uint64_t version = 0;
      std::shared_ptr<const std::string> png;
      bool pending = false;  // being encoded ahead by the update
    };
    std::map<int, Encoded> encoded;  // by Variant()
    std::map<int, Clock::time_point> asked;  // when each variant was last asked for
  };
  // A picture drawn by the update, to be encoded before anyone asks.
  struct Ahead {
    size_t index;
    uint64_t version;
    int variant;
    bench::Image image;
  };
  static int Variant(int scale, bool overlay) { return scale * 2 + (overlay ? 1 : 0); }

  bench::Panel& panel;
  const std::filesystem::path web_dir;
  const double updates_per_second;
  const Listening listening;
  const std::string listening_ip;  // the address's bytes, if it is an IP address
  // Bound to every address of the machine (0.0.0.0, ::): any of them may be
  // in a request's Host, so any IP address is taken, and of the names only
  // "localhost". (A name is what a page of another site would have to use
  // to reach the panel through the browser, by pointing it at this machine.)
  const bool everywhere;
  const bool loopback;
  // Set apart this server's picture versions from an earlier one's that a
  // browser may still hold.
  const std::string instance;

  // The panel and everything below: one update, click, control change or
  // drawing at a time. Encoding and sending happen outside it.
  std::mutex mutex;
  std::condition_variable changed;  // `changes` moved, or closing
  std::condition_variable encoded_ahead;  // a pending picture is ready
  // The light the panel is seen in: the page's, not the aircraft's.
  bench::Ambient ambient = bench::Ambient::kDay;
  uint64_t updates = 0;
  std::vector<Slot> slots;  // one per gauge, the panel's order
  std::string last_state;   // the state at the last look, less the update count
  uint64_t last_log = 0;  // the log's next() at the last look
  uint64_t changes = 0;
  bool closing = false;
  // The open event streams, oldest first.
  std::list<std::shared_ptr<Cursor>> following;

  Impl(bench::Panel& p, std::filesystem::path web, double rate, Listening where)
      : panel(p),
        web_dir(std::move(web)),
        updates_per_second(rate),
        listening(std::move(where)),
        listening_ip(IpBytes(listening.address)),
        everywhere(listening.address.empty() ||
                   (!listening_ip.empty() &&
                    listening_ip.find_first_not_of('\0') == std::string::npos)),
        loopback(Lower(listening.address) == "localhost" || IsLoopback(listening_ip)),
        instance(std::to_string(
            std::chrono::system_clock::now().time_since_epoch().count() % 1000000007)),
        slots(p.gauges().size()) {}

  // Gives each gauge whose picture would differ from the last a new
  // version, and wakes the event streams if anything they tell moved.
  // Called (holding the lock) after everything that can change the panel.
  // Returns the gauges whose version moved.
  std::vector<size_t> Refresh() {
    std::vector<size_t> redrawn;
    bool moved = false;
    for (size_t i = 0; i < slots.size(); ++i) {
      std::string key = bench::FrameKey(panel.LastFrame(*panel.gauges()[i]));
      key += static_cast<char>(ambient);
      Slot& slot = slots[i];
      if (key == slot.key) continue;
      slot.key = std::move(key);
      ++slot.version;
      slot.encoded.clear();
      redrawn.push_back(i);
      moved = true;
    }
    json state = State();
    state.erase("updates");
    std::string dumped = Dump(state);
    if (dumped != last_state) {
      last_state = std::move(dumped);
      moved = true;
    }
    if (panel.host().log().next() != last_log) {
      last_log = panel.host().log().next();
      moved = true;
    }
    if (moved) {
      ++changes;
      changed.notify_all();
    }
    return redrawn;
  }

  // The pictures of the gauges that changed in the variants asked for in
  // the last few seconds, drawn now (holding the lock) to be encoded by
  // the update after it lets go: the page's request, sent when the event
  // reaches it, then finds the picture ready or nearly so.
  std::vector<Ahead> DrawAhead(const std::vector<size_t>& redrawn) {
    std::vector<Ahead> ahead;
    const auto now = Clock::now();
    for (size_t index : redrawn) {
      Slot& slot = slots[index];
      for (auto it = slot.asked.begin(); it != slot.asked.end();) {
        if (now - it->second > kAskedRecently) {
          it = slot.asked.erase(it);
          continue;
        }
        const bench::RenderOptions render{ambient, it->first / 2, it->first % 2 != 0};
        bench::Image image = panel.Render(*panel.gauges()[index], render);
        if (!image.empty()) {
          slot.encoded[it->first] = {slot.version, nullptr, true};
          ahead.push_back({index, slot.version, it->first, std::move(image)});
        }
        ++it;
      }
    }
    return ahead;
  }

  // Encodes (without the lock) what DrawAhead drew and hands it over.
  void EncodeAhead(std::vector<Ahead>& ahead) {
    std::vector<std::shared_ptr<const std::string>> pngs;
    for (const Ahead& picture : ahead) {
      std::string png, error;
      pngs.push_back(bench::EncodePng(picture.image, bench::PngSpeed::kFast, &png, &error)
                         ? std::make_shared<const std::string>(std::move(png))
                         : nullptr);
    }
    std::lock_guard lock(mutex);
    for (size_t i = 0; i < ahead.size(); ++i) {
      auto& encoded = slots[ahead[i].index].encoded;
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
    encoded_ahead.notify_all();
  }

  // What each gauge shows in words: the texts it shows and its needle.
  json Shows() {
    json shows = json::object();
    for (host::Gauge* gauge : panel.gauges()) {
      json texts = json::array();
      json needle = nullptr;
      for (const host::DrawnElement& drawn : gauge->last_frame().elements) {
        if (drawn.kind == kString && !drawn.hidden()) texts.push_back(std::string(drawn.text));
        if (drawn.kind == kNeedle) needle = drawn.value;
      }
      shows[gauge->name()] = {{"texts", texts}, {"needle", needle}};
    }
    return shows;
  }

  json State() {
    const bench::Aircraft& aircraft = panel.aircraft();
    json state = {{"dimmer", aircraft.dimmer() == bench::Dimmer::kDim ? "dim" : "bright"},
                  {"ambient", bench::AmbientName(ambient)},
                  {"baro_inhg", aircraft.baro_inhg()},
                  {"updates", updates},
                  {"shows", Shows()}};
    for (const Switch& control : kSwitches) state[control.name] = control.get(aircraft);
    for (const char* name : bench::Aircraft::kPartnerNames) {
      const int32_t* value = panel.host().vars().Named(name);
      state[name] = value != nullptr ? json(*value) : json(nullptr);
    }
    return state;
  }

  json Versions() {
    json versions = json::object();
    for (size_t i = 0; i < slots.size(); ++i) {
      versions[panel.gauges()[i]->name()] = slots[i].version;
    }
    return versions;
  }

  json Panel() {
    json gauges = json::array();
    for (host::Gauge* gauge : panel.gauges()) {
      // The gauge's size is its face's: draw it once to know.
      const bench::Image image = panel.Render(*gauge, bench::RenderOptions{});
      const int width = image.width(), height = image.height();
      json areas = json::array();
      for (const MouseRect* area : gauge->MouseAreas()) {
        areas.push_back({{"x", area->x},
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

  // What the gauges sent after entry `since` (entries count from 1, for the
  // whole life of the server), at most kLogEntriesPerAnswer of it; "next"
  // is where to go on from, "dropped" how many entries after `since` the
  // log, which keeps only the most recent, no longer holds.
  json Log(uint64_t since) {
    json entries = json::array();
    const host::Log& log = panel.host().log();
    const uint64_t from = std::max(since, log.first());
    uint64_t end = log.next();
    if (from < end && end - from > kLogEntriesPerAnswer) end = from + kLogEntriesPerAnswer;
    auto kept = log.From(from);
    for (uint64_t i = from; i < end; ++i, ++kept) {
      const host::LogEntry& entry = *kept;
      if (entry.kind == host::LogKind::kNamedBind || entry.kind == host::LogKind::kLookup) continue;
      json item = {{"seq", i + 1}, {"gauge", entry.gauge}, {"kind", KindName(entry.kind)},
                   {"text", entry.Describe()}};
      if (entry.kind == host::LogKind::kKeyEvent) {
        item["id"] = host::Hex(entry.id);
        item["name"] = bench::Aircraft::KeyEventName(entry.id);
      }
      if (entry.kind == host::LogKind::kPlaySound) {
        item["file"] = entry.name;
        item["found"] = !entry.resolved.empty();
      }
      entries.push_back(item);
    }
    return {{"entries", entries}, {"next", end}, {"dropped", from - since}};
  }

  bool SetControl(const std::string& name, const json& value, std::string* error) {
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
      if (value.is_string() && bench::ParseAmbient(value.get<std::string>(), &ambient)) return true;
      *error = "'ambient' takes \"day\", \"dusk\" or \"night\"";
      return false;
    }
    *error = "no control named '" + name.substr(0, 40) + "'";
    return false;
  }

  // ---- the requests ----------------------------------------------------------

  bool ListensAs(const std::string& host) const {
    const std::string ip = IpBytes(host);
    if (everywhere) return !ip.empty() || host == "localhost";
    if (!ip.empty()) return ip == listening_ip || (loopback && IsLoopback(ip));
    return host == "localhost" ? loopback : host == Lower(listening.address);
  }

  // Where the panel's page is, for a refusal to point at.
  std::string Address() const {
    const std::string port = std::to_string(listening.port);
    if (everywhere) return "http://localhost:" + port + "/ (or any address of this machine)";
    const bool v6 = listening_ip.size() == 16;
    return "http://" + (v6 ? "[" + listening.address + "]" : listening.address) + ":" + port + "/";
  }

  // Answers (and refuses) a request not addressed to the server as it
  // listens, one from another site's page, and a POST that is not JSON.
  // A POST without an Origin is taken: a browser sends one with every
  // POST, so only a program that is not a page (curl, a test) leaves it
  // out, and such a program on this machine could reach the panel anyway.
  bool Admit(const httplib::Request& req, httplib::Response& res) {
    if (!req.has_header("Host")) {
      Error(res, 400, "the request has no Host header (HTTP/1.1 needs one)");
      return false;
    }
    std::string host;
    int port = 0;
    const std::string addressed = req.get_header_value("Host");
    if (!SplitAuthority(addressed, &host, &port) || port != listening.port || !ListensAs(host)) {
      Error(res, 403,
            "this panel answers only as " + Address() + "; the request was addressed to '" +
                Clip(addressed) + "' (open the address panel-bench serve printed)");
      return false;
    }
    if (req.has_header("Origin")) {
      const std::string origin = req.get_header_value("Origin");
      constexpr std::string_view kScheme = "http://";
      if (!Lower(origin).starts_with(kScheme) ||
          !SplitAuthority(std::string_view(origin).substr(kScheme.size()), &host, &port) ||
          port != listening.port || !ListensAs(host)) {
        Error(res, 403, "requests from another site's page are refused (this one came from '" +
                            Clip(origin) + "'); the panel's own page is " + Address());
        return false;
      }
    }
    if (req.method == "POST") {
      const std::string type = req.get_header_value("Content-Type");
      std::string media = Lower(type.substr(0, type.find(';')));
      while (!media.empty() && (media.back() == ' ' || media.back() == '\t')) media.pop_back();
      if (media != "application/json") {
        Error(res, 415,
              "a POST's body must be sent as Content-Type application/json (this one was '" +
                  Clip(type) + "')");
        return false;
      }
    }
    return true;
  }

  void Route(const httplib::Request& req, httplib::Response& res) {
    if (!Admit(req, res)) return;
    const std::string& path = req.path;
    if (req.method == "GET" || req.method == "HEAD") {
      if (path == "/") return Asset("index.html", "text/html; charset=utf-8", res);
      if (path == "/app.js") return Asset("app.js", "text/javascript; charset=utf-8", res);
      if (path == "/style.css") return Asset("style.css", "text/css; charset=utf-8", res);
      if (path == "/api/panel" || path == "/api/state") {
        std::lock_guard lock(mutex);
        return res.set_content(Dump(path == "/api/panel" ? Panel() : State()), "application/json");
      }
      if (path == "/api/log") return GetLog(req, res);
      if (path == "/api/events") return Events(res);
      const std::string prefix = "/api/gauge/", suffix = ".png";
      if (path.size() > prefix.size() + suffix.size() && path.starts_with(prefix) &&
          path.ends_with(suffix)) {
        const std::string name =
            path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
        const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
          return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '_';
        });
        if (plain) return Picture(name, req, res);
      }
    } else if (req.method == "POST") {
      if (path == "/api/click") return Click(req, res);
      if (path == "/api/control") return Control(req, res);
    }
    Error(res, 404, "no such page");
  }

  void Asset(const char* file_name, const char* type, httplib::Response& res) {
    const std::filesystem::path file = web_dir / file_name;
    // The page's own files are a few kilobytes each.
    constexpr uint64_t kLargestAsset = 1 << 20;
    std::string content;
    formats::FileReadError error;
    if (!formats::ReadRegularFile(file, kLargestAsset, "page asset", &content, &error)) {
      return Error(res, error.kind == formats::FileReadError::Kind::kMissing ? 404 : 500,
                   "the page's asset " + file.string() + ": " + error.message);
    }
    res.set_content(std::move(content), type);
  }

  void GetLog(const httplib::Request& req, httplib::Response& res) {
    uint64_t since = 0;
    std::string error;
    if (!QueryNumber(req, "since", 0, UINT64_MAX, &since, &error)) return Error(res, 400, error);
    std::lock_guard lock(mutex);
    res.set_content(Dump(Log(since)), "application/json");
  }

  void Picture(const std::string& name, const httplib::Request& req, httplib::Response& res) {
    uint64_t scale = 1;
    std::string error;
    if (!QueryNumber(req, "scale", 1, kMaxScale, &scale, &error)) return Error(res, 400, error);
    const bool overlay = req.has_param("overlay") && req.get_param_value("overlay") == "1";
    const int which = Variant(static_cast<int>(scale), overlay);

    std::shared_ptr<const std::string> png;
    bench::Image image;
    size_t index = 0;
    uint64_t version = 0;
    std::string etag;
    {
      std::unique_lock lock(mutex);
      host::Gauge* gauge = panel.Find(name);
      if (gauge == nullptr) return Error(res, 404, "no gauge named '" + name.substr(0, 40) + "'");
      while (panel.gauges()[index] != gauge) ++index;
      Slot& slot = slots[index];
      slot.asked[which] = Clock::now();
      // Being encoded ahead: wait for it rather than do it twice.
      const auto deadline = Clock::now() + kAheadWait;
      for (auto it = slot.encoded.find(which);
           it != slot.encoded.end() && it->second.pending && !closing;
           it = slot.encoded.find(which)) {
        if (encoded_ahead.wait_until(lock, deadline) == std::cv_status::timeout) break;
      }
      gauge = panel.gauges()[index];  // a partner switch may have re-created it meanwhile
      version = slot.version;
      etag = "\"" + instance + "-" + std::to_string(version) + "-" + std::to_string(scale) +
             (overlay ? "o" : "") + "\"";
      res.set_header("ETag", etag);
      res.set_header("Cache-Control", "no-cache");
      if (req.get_header_value("If-None-Match").find(etag) != std::string::npos) {
        res.status = 304;
        return;
      }
      if (auto it = slot.encoded.find(which); it != slot.encoded.end() && it->second.png) {
        png = it->second.png;
      } else {
        // Drawn here (it reads the gauge's records), encoded below without
        // the lock, so clicks and updates go on meanwhile.
        image = panel.Render(*gauge, {ambient, static_cast<int>(scale), overlay});
        if (image.empty()) return Error(res, 503, "cannot draw " + name + ": " + panel.render_error());
      }
    }
    if (png == nullptr) {
      std::string encoded;
      if (!bench::EncodePng(image, bench::PngSpeed::kFast, &encoded, &error)) {
        return Error(res, 503, "cannot encode the picture of " + name + ": " + error);
      }
      png = std::make_shared<const std::string>(std::move(encoded));
      std::lock_guard lock(mutex);
      if (slots[index].version == version) slots[index].encoded[which] = {version, png, false};
    }
    res.set_content(*png, "image/png");
  }

  void Events(httplib::Response& res) {
    auto cursor = std::make_shared<Cursor>();
    {
      std::lock_guard lock(mutex);
      if (closing) return Error(res, 503, "the panel is stopping");
      // The oldest stream gives way (its page may be frozen, or its client
      // have stopped reading, which nothing on this side can tell from a
      // slow reader before its buffers fill, minutes later).
      if (following.size() >= static_cast<size_t>(kMaxEventStreams)) {
        following.front()->replaced = true;
        following.pop_front();
        changed.notify_all();
      }
      following.push_back(cursor);
    }
    auto forget = [this, cursor] {
      std::lock_guard lock(mutex);
      following.remove(cursor);
    };
    try {
      res.set_header("Cache-Control", "no-store");
      res.set_chunked_content_provider(
          "text/event-stream",
          [this, cursor](size_t, httplib::DataSink& sink) {
            std::string message;
            if (!NextEvent(cursor.get(), &message)) return false;
            return sink.write(message.data(), message.size());
          },
          [forget](bool) { forget(); });
    } catch (...) {
      forget();
      throw;
    }
  }

  // Waits for a change (or the heartbeat) and says what this stream has not
  // told yet: every picture's version, the state, new log entries. False
  // when the server is stopping.
  bool NextEvent(Cursor* cursor, std::string* message) {
    std::unique_lock lock(mutex);
    if (cursor->started) {
      changed.wait_for(lock, kHeartbeat, [&] {
        return closing || cursor->replaced || changes != cursor->changes;
      });
    }
    if (closing || cursor->ended) return false;
    if (cursor->replaced) {
      cursor->ended = true;
      message->append("event: replaced\ndata: " +
                      Dump(json{{"error", "another page now follows this panel (at most " +
                                              std::to_string(kMaxEventStreams) +
                                              " at once); reload to follow it here again"}}) +
                      "\n\n");
      return true;
    }
    const uint64_t log_next = panel.host().log().next();
    if (!cursor->started) {
      cursor->log = log_next > kFirstLogEntries ? log_next - kFirstLogEntries : 0;
      message->append("retry: 1000\n");
    }
    cursor->started = true;
    cursor->changes = changes;
    json event = {{"versions", Versions()}, {"state", State()}};
    json log = Log(cursor->log);
    event["entries"] = std::move(log["entries"]);
    event["dropped"] = log["dropped"];
    cursor->log = log["next"].get<uint64_t>();
    lock.unlock();
    message->append("data: " + Dump(event) + "\n\n");
    return true;
  }

  void Click(const httplib::Request& req, httplib::Response& res) {
    const json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) return Error(res, 400, "the body is not a JSON object");
    if (!body.contains("gauge") || !body["gauge"].is_string() || !body.contains("x") ||
        !body["x"].is_number_integer() || !body.contains("y") || !body["y"].is_number_integer()) {
      return Error(res, 400, "a click needs \"gauge\" (text), \"x\" and \"y\" (whole numbers)");
    }
    int64_t x = 0, y = 0;
    if (!BodyInteger(body, "x", -kLargestCoordinate, kLargestCoordinate, &x) ||
        !BodyInteger(body, "y", -kLargestCoordinate, kLargestCoordinate, &y)) {
      return Error(res, 400, "a click's \"x\" and \"y\" must be from " +
                                 std::to_string(-kLargestCoordinate) + " to " +
                                 std::to_string(kLargestCoordinate) + " (gauge pixels)");
    }
    uint32_t event = kMousePress;
    if (body.contains("event")) {
      if (body["event"] == "repeat") event = kMouseRepeat;
      else if (body["event"] != "press") return Error(res, 400, "'event' is \"press\" or \"repeat\"");
    }
    const std::string name = body["gauge"].get<std::string>();
    std::lock_guard lock(mutex);  // applied between updates
    host::Gauge* gauge = panel.Find(name);
    if (gauge == nullptr) return Error(res, 404, "no gauge named '" + name.substr(0, 40) + "'");
    const uint64_t before = panel.host().log().next();
    const bool hit = panel.Click(*gauge, static_cast<int>(x), static_cast<int>(y), event);
    json reply = Log(before);
    reply["hit"] = hit;
    Refresh();
    res.set_content(Dump(reply), "application/json");
  }

  void Control(const httplib::Request& req, httplib::Response& res) {
    const json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("name") ||
        !body["name"].is_string() || !body.contains("value")) {
      return Error(res, 400, "a control change needs \"name\" and \"value\"");
    }
    std::lock_guard lock(mutex);
    std::string error;
    if (!SetControl(body["name"].get<std::string>(), body["value"], &error)) {
      return Error(res, 400, error);
    }
    Refresh();
    res.set_content(Dump(State()), "application/json");
  }
};

LiveApi::LiveApi(bench::Panel& panel, std::filesystem::path web_dir, double updates_per_second,
                 Listening listening)
    : impl_(std::make_unique<Impl>(panel, std::move(web_dir), updates_per_second,
                                   std::move(listening))) {
  std::lock_guard lock(impl_->mutex);
  impl_->Refresh();
}

LiveApi::~LiveApi() = default;

void LiveApi::Handle(const httplib::Request& request, httplib::Response& response) {
  try {
    impl_->Route(request, response);
  } catch (const std::bad_alloc&) {
    Error(response, 503, "not enough memory to answer " + request.path.substr(0, 60));
  } catch (const std::exception& e) {
    Error(response, 500, std::string("internal error: ") + e.what());
  }
}

void LiveApi::Update() {
  std::vector<Impl::Ahead> ahead;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->panel.Update();
    ++impl_->updates;
    ahead = impl_->DrawAhead(impl_->Refresh());
  }
  if (!ahead.empty()) impl_->EncodeAhead(ahead);
}

void LiveApi::Close() {
  std::lock_guard lock(impl_->mutex);
  impl_->closing = true;
  impl_->changed.notify_all();
  impl_->encoded_ahead.notify_all();
}

}  // namespace viewer
