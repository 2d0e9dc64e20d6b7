#include "viewer/live_server.h"

#include <httplib.h>
#include <png.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

namespace viewer {
namespace {

using json = nlohmann::json;

constexpr int kMaxScale = 4;

// The switches as the page sees them; the server is the only one that
// changes them while it serves.
struct Controls {
  bool battery = false;
  bool avionics = false;
  bool lights = false;
  bool engine1 = false;
  bool engine2 = false;
  int dimmer = 1;  // 1 bright, 2 dim
  bool pfd_present = true;
  bool dimmer_present = true;
  bench::Ambient ambient = bench::Ambient::kDay;
};

bool EncodePng(const bench::Image& image, std::string* out) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width());
  png.height = static_cast<png_uint_32>(image.height());
  png.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(png, size, 0, image.pixels().data(), 0, nullptr)) {
    return false;
  }
  out->resize(size);
  return png_image_write_to_memory(&png, out->data(), &size, 0, image.pixels().data(), 0,
                                   nullptr) != 0;
}

void Error(httplib::Response& res, int status, const std::string& what) {
  res.status = status;
  res.set_content(json{{"error", what}}.dump(), "application/json");
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

}  // namespace

struct LiveServer::Impl {
  bench::Panel& panel;
  httplib::Server http;
  std::mutex mutex;  // the panel: one update, click or drawing at a time
  Controls controls;
  uint64_t updates = 0;
  std::atomic<bool> running{false};
  ServerOptions options;

  explicit Impl(bench::Panel& p) : panel(p) {}

  void ApplyControls() {
    bench::Aircraft& aircraft = panel.aircraft();
    aircraft.SetBattery(controls.battery);
    aircraft.SetAvionics(controls.avionics);
    aircraft.SetPanelLights(controls.lights);
    aircraft.SetEngine(1, controls.engine1);
    aircraft.SetEngine(2, controls.engine2);
    aircraft.SetDimmer(controls.dimmer);
    aircraft.SetPfdPresent(controls.pfd_present);
    aircraft.SetDimmerPresent(controls.dimmer_present);
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
    json state = {{"battery", controls.battery},
                  {"avionics", controls.avionics},
                  {"lights", controls.lights},
                  {"engine1", controls.engine1},
                  {"engine2", controls.engine2},
                  {"dimmer", controls.dimmer == 2 ? "dim" : "bright"},
                  {"pfd", controls.pfd_present},
                  {"dimmer_present", controls.dimmer_present},
                  {"ambient", bench::AmbientName(controls.ambient)},
                  {"baro_inhg", panel.aircraft().baro_inhg()},
                  {"updates", updates},
                  {"shows", Shows()}};
    for (const char* name : {"temp", "millibars", "dhset", "ratest", "dimbrtb"}) {
      const int32_t* value = panel.host().vars().Named(name);
      state[name] = value != nullptr ? json(*value) : json(nullptr);
    }
    return state;
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
    return {{"gauges", gauges}, {"updates_per_second", options.updates_per_second}};
  }

  json Log(size_t since) {
    json entries = json::array();
    const auto& log = panel.host().log();
    for (size_t i = since; i < log.size(); ++i) {
      const host::LogEntry& entry = log[i];
      if (entry.kind == host::LogKind::kNamedBind || entry.kind == host::LogKind::kLookup) continue;
      json item = {{"seq", i + 1}, {"gauge", entry.gauge}, {"kind", KindName(entry.kind)},
                   {"text", entry.Describe()}};
      if (entry.kind == host::LogKind::kKeyEvent) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%" PRIX32, entry.id);
        item["id"] = id;
        item["name"] = bench::Aircraft::KeyEventName(entry.id);
      }
      if (entry.kind == host::LogKind::kPlaySound) {
        item["file"] = entry.file;
        item["found"] = !entry.resolved.empty();
      }
      entries.push_back(item);
    }
    return {{"entries", entries}, {"next", log.size()}};
  }

  bool SetControl(const std::string& name, const json& value, std::string* error) {
    auto flag = [&](bool* target) {
      if (!value.is_boolean()) {
        *error = "'" + name + "' takes true or false";
        return false;
      }
      *target = value.get<bool>();
      return true;
    };
    bool ok = false;
    if (name == "battery") ok = flag(&controls.battery);
    else if (name == "avionics") ok = flag(&controls.avionics);
    else if (name == "lights") ok = flag(&controls.lights);
    else if (name == "engine1") ok = flag(&controls.engine1);
    else if (name == "engine2") ok = flag(&controls.engine2);
    else if (name == "pfd") ok = flag(&controls.pfd_present);
    else if (name == "dimmer_present") ok = flag(&controls.dimmer_present);
    else if (name == "dimmer") {
      if (value == "bright" || value == "dim") {
        controls.dimmer = value == "dim" ? 2 : 1;
        ok = true;
      } else {
        *error = "'dimmer' takes \"bright\" or \"dim\"";
      }
    } else if (name == "ambient") {
      if (value.is_string() && bench::ParseAmbient(value.get<std::string>(), &controls.ambient)) {
        ok = true;
      } else {
        *error = "'ambient' takes \"day\", \"dusk\" or \"night\"";
      }
    } else {
      *error = "no control named '" + name + "'";
    }
    if (ok) ApplyControls();
    return ok;
  }

  void Routes() {
    static const std::map<std::string, std::pair<std::string, std::string>> kAssets = {
        {"/", {"index.html", "text/html; charset=utf-8"}},
        {"/app.js", {"app.js", "text/javascript; charset=utf-8"}},
        {"/style.css", {"style.css", "text/css; charset=utf-8"}},
    };
    for (const auto& [path, asset] : kAssets) {
      const auto file = options.web_dir / asset.first;
      const std::string type = asset.second;
      http.Get(path, [file, type](const httplib::Request&, httplib::Response& res) {
        std::ifstream in(file, std::ios::binary);
        if (!in) return Error(res, 404, "the page's asset " + file.string() + " is missing");
        res.set_content(std::string(std::istreambuf_iterator<char>(in), {}), type);
      });
    }
    http.Get("/api/panel", [this](const httplib::Request&, httplib::Response& res) {
      std::lock_guard lock(mutex);
      res.set_content(Panel().dump(), "application/json");
    });
    http.Get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
      std::lock_guard lock(mutex);
      res.set_content(State().dump(), "application/json");
    });
    http.Get("/api/log", [this](const httplib::Request& req, httplib::Response& res) {
      size_t since = 0;
      if (req.has_param("since")) {
        const std::string text = req.get_param_value("since");
        char* end = nullptr;
        const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
        if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0') {
          return Error(res, 400, "'since' must be a whole number, 0 or more");
        }
        since = static_cast<size_t>(value);
      }
      std::lock_guard lock(mutex);
      res.set_content(Log(since).dump(), "application/json");
    });
    http.Get(R"(/api/gauge/([A-Za-z0-9_]+)\.png)",
             [this](const httplib::Request& req, httplib::Response& res) {
      int scale = 1;
      if (req.has_param("scale")) {
        const std::string text = req.get_param_value("scale");
        if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kMaxScale) {
          return Error(res, 400, "'scale' must be 1 to " + std::to_string(kMaxScale));
        }
        scale = text[0] - '0';
      }
      std::string png;
      {
        std::lock_guard lock(mutex);
        host::Gauge* gauge = panel.Find(req.matches[1]);
        if (gauge == nullptr) return Error(res, 404, "no gauge named '" + req.matches[1].str() + "'");
        bench::RenderOptions render;
        render.scale = scale;
        render.ambient = controls.ambient;
        render.mouse_overlay = req.has_param("overlay") && req.get_param_value("overlay") == "1";
        const bench::Image image = panel.Render(*gauge, render);
        if (!EncodePng(image, &png)) return Error(res, 500, "could not encode the picture");
      }
      res.set_header("Cache-Control", "no-store");
      res.set_content(png, "image/png");
    });
    http.Post("/api/click", [this](const httplib::Request& req, httplib::Response& res) {
      const json body = json::parse(req.body, nullptr, false);
      if (body.is_discarded() || !body.is_object()) return Error(res, 400, "the body is not a JSON object");
      if (!body.contains("gauge") || !body["gauge"].is_string() || !body.contains("x") ||
          !body["x"].is_number_integer() || !body.contains("y") || !body["y"].is_number_integer()) {
        return Error(res, 400, "a click needs \"gauge\" (text), \"x\" and \"y\" (whole numbers)");
      }
      uint32_t event = kMousePress;
      if (body.contains("event")) {
        if (body["event"] == "repeat") event = kMouseRepeat;
        else if (body["event"] != "press") return Error(res, 400, "'event' is \"press\" or \"repeat\"");
      }
      std::lock_guard lock(mutex);  // applied between updates
      host::Gauge* gauge = panel.Find(body["gauge"].get<std::string>());
      if (gauge == nullptr) return Error(res, 404, "no gauge named '" + body["gauge"].get<std::string>() + "'");
      const size_t before = panel.host().log().size();
      const bool hit = panel.Click(*gauge, body["x"].get<int>(), body["y"].get<int>(), event);
      json reply = Log(before);
      reply["hit"] = hit;
      res.set_content(reply.dump(), "application/json");
    });
    http.Post("/api/control", [this](const httplib::Request& req, httplib::Response& res) {
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
      res.set_content(State().dump(), "application/json");
    });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (res.body.empty()) {
        res.set_content(json{{"error", res.status == 404 ? "no such page" : "bad request"}}.dump(),
                        "application/json");
      }
    });
    http.set_exception_handler([](const httplib::Request&, httplib::Response& res,
                                  std::exception_ptr) { Error(res, 500, "internal error"); });
    http.set_payload_max_length(64 * 1024);
  }

  void Simulate() {
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<clock::duration>(
        std::chrono::duration<double>(1.0 / options.updates_per_second));
    auto next = clock::now();
    while (running) {
      {
        std::lock_guard lock(mutex);
        panel.Update();
        ++updates;
      }
      next += period;
      const auto now = clock::now();
      if (next < now) next = now;  // fell behind: do not race to catch up
      std::this_thread::sleep_until(next);
    }
  }
};

LiveServer::LiveServer(bench::Panel& panel) : impl_(std::make_unique<Impl>(panel)) {}
LiveServer::~LiveServer() { Stop(); }

bool LiveServer::Bind(const ServerOptions& options, std::string* error) {
  impl_->options = options;
  impl_->Routes();
  impl_->ApplyControls();
  if (options.port == 0) {
    port_ = impl_->http.bind_to_any_port(options.address);
  } else if (impl_->http.bind_to_port(options.address, options.port)) {
    port_ = options.port;
  } else {
    port_ = -1;
  }
  if (port_ <= 0) {
    *error = "cannot listen on " + options.address + ":" + std::to_string(options.port) +
             " (in use? choose another with --port)";
    return false;
  }
  return true;
}

void LiveServer::Run() {
  impl_->running = true;
  std::thread simulation([this] { impl_->Simulate(); });
  impl_->http.listen_after_bind();
  impl_->running = false;
  simulation.join();
}

void LiveServer::Stop() {
  impl_->running = false;
  impl_->http.stop();
}

}  // namespace viewer
