#include "viewer/live_api.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <new>

#include <boost/asio/ip/address.hpp>

#include "bench/drawing/image.h"
#include "formats/file_read.h"
#include "host/text_format.h"
#include "viewer/panel_json.h"
#include "viewer/picture_cache.h"
#include "viewer/sounds.h"

namespace viewer {
namespace {

constexpr uint64_t kMaxScale = 4;
// Clicks are in gauge pixels; no gauge is anywhere near this large.
constexpr int64_t kLargestCoordinate = 32767;
// What a new event stream gets of the log that was there before it.
constexpr size_t kFirstLogEntries = 200;

void Error(Answer& res, int status, const std::string& what) {
  res.status = status;
  res.set_content(Dump(json{{"error", what}}), "application/json");
}

// A query parameter that is a whole number from `low` to `high` (`*value`
// is left alone when the parameter is absent). False with the reason.
bool QueryNumber(const Request& req, const char* name, uint64_t low, uint64_t high,
                 uint64_t* value, std::string* error) {
  if (!req.has_param(name)) return true;
  const std::string text = req.param(name);
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

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower;
}

// What a request sent, quoted in an error message.
std::string Clip(const std::string& text) { return host::Quoted(text, 80); }

// The bytes of an IP address written out ("127.0.0.1", "::1"); empty if
// `text` is not one.
std::string IpBytes(const std::string& text) {
  boost::system::error_code ec;
  const auto address = boost::asio::ip::make_address(text, ec);
  // Only the plain written forms: no IPv6 scope ("%eth0").
  if (ec || (address.is_v6() && address.to_v6().scope_id() != 0)) return {};
  if (address.is_v4()) {
    const auto bytes = address.to_v4().to_bytes();
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
  }
  const auto bytes = address.to_v6().to_bytes();
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
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

// Why a browser's request comes from a page other than the panel's own,
// by what the browser says of it (Fetch Metadata); empty if it does not.
// Sec-Fetch-Site "same-origin" is the panel's page, "none" the user (the
// address bar, a bookmark). "cross-site" and "same-site" (another port or
// name of this machine) are other pages: an image, frame, script or link of
// theirs sends no Origin with a GET, and could take the page's event
// stream or keep the server drawing for it. Of those only a link followed
// to the page at the top of a window is taken (Sec-Fetch-Mode "navigate",
// Sec-Fetch-Dest "document"): the page then asks for the rest as its own
// origin. A value browsers do not send is refused like another origin.
// Without the header the request is a program's (curl, a test), which
// could reach the panel anyway. Browsers send it only to loopback and
// https addresses: a page reaching the panel at a network address is
// checked by its Host and Origin only.
std::string ForeignPage(const Request& req) {
  if (!req.has_header("Sec-Fetch-Site")) return {};
  const std::string site = Lower(req.header("Sec-Fetch-Site"));
  if (site == "same-origin" || site == "none") return {};
  const std::string dest = Lower(req.header("Sec-Fetch-Dest"));
  if ((req.method == "GET" || req.method == "HEAD") && req.path == "/" &&
      Lower(req.header("Sec-Fetch-Mode")) == "navigate" && dest == "document") {
    return {};
  }
  return "requests from a page of another origin are refused (this one: Sec-Fetch-Site '" +
         Clip(site) + "', Sec-Fetch-Dest '" + Clip(dest) + "')";
}

}  // namespace

// What an event stream has told its page so far.
struct EventCursor {
  bool started = false;
  uint64_t changes = 0;
  uint64_t log = 0;       // the log's sequence number
  bool replaced = false;  // a newer stream took its place
  bool ended = false;     // and its page was told
};

bool IsLoopbackAddress(const std::string& address) {
  if (Lower(address) == "localhost") return true;
  const std::string ip = IpBytes(address);
  if (ip.size() == 4) return ip[0] == 127;
  static const std::string kMappedV4 = std::string(10, '\0') + "\xff\xff";
  if (ip.size() == 16 && ip.starts_with(kMappedV4)) return ip[12] == 127;
  return ip == std::string(15, '\0') + '\1';
}

struct LiveApi::Impl {
  bench::Panel& panel;
  const std::filesystem::path web_dir;
  // The simulator's folder, as the sound library has it: its sound/ holds
  // the clicks the page plays.
  const std::filesystem::path sound_root;
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
  // Told (holding the lock) when an event stream has something new to
  // pull: `changes` moved, a stream was replaced, or closing.
  std::function<void()> news;
  // The light the panel is seen in: the page's, not the aircraft's.
  bench::Ambient ambient = bench::Ambient::kDay;
  uint64_t updates = 0;
  PictureCache pictures;
  std::string last_state;   // the state at the last look, less the update count
  uint64_t last_log = 0;  // the log's next() at the last look
  uint64_t changes = 0;
  bool closing = false;
  // The open event streams, oldest first.
  std::list<EventStream> following;

  Impl(bench::Panel& p, std::filesystem::path web, double rate, Listening where)
      : panel(p),
        web_dir(std::move(web)),
        sound_root(p.options().sound_root),
        updates_per_second(rate),
        listening(std::move(where)),
        listening_ip(IpBytes(listening.address)),
        everywhere(listening.address.empty() ||
                   (!listening_ip.empty() &&
                    listening_ip.find_first_not_of('\0') == std::string::npos)),
        loopback(IsLoopbackAddress(listening.address)),
        instance(std::to_string(
            std::chrono::system_clock::now().time_since_epoch().count() % 1000000007)),
        pictures(p, mutex) {}

  // Gives each gauge whose picture would differ from the last a new
  // version, and wakes the event streams if anything they tell moved.
  // Called (holding the lock) after everything that can change the panel.
  // Returns the gauges whose version moved.
  std::vector<size_t> Refresh() {
    std::vector<size_t> redrawn = pictures.Refresh(ambient);
    bool moved = !redrawn.empty();
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
      Tell();
    }
    return redrawn;
  }

  void Tell() {
    if (news) news();
  }

  json State() { return StateJson(panel, ambient, updates); }
  json Log(uint64_t since) { return LogJson(panel.host().log(), since); }

  json Versions() {
    json versions = json::object();
    for (size_t i = 0; i < pictures.size(); ++i) {
      versions[panel.gauges()[i]->name()] = pictures.version(i);
    }
    return versions;
  }

  // ---- the requests ----------------------------------------------------------

  bool ListensAs(const std::string& host) const {
    const std::string ip = IpBytes(host);
    if (everywhere) return !ip.empty() || host == "localhost";
    if (!ip.empty()) return ip == listening_ip || (loopback && IsLoopbackAddress(host));
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
  // listens, one from another site's page (its Origin) or another origin's
  // (Sec-Fetch-Site), and a POST that is not JSON. A refused request never
  // reaches a route: it takes no event stream's place.
  // A POST without an Origin is taken: a browser sends one with every
  // POST, so only a program that is not a page (curl, a test) leaves it
  // out, and such a program on this machine could reach the panel anyway.
  bool Admit(const Request& req, Answer& res) {
    if (!req.has_header("Host")) {
      Error(res, 400, "the request has no Host header (HTTP/1.1 needs one)");
      return false;
    }
    std::string host;
    int port = 0;
    const std::string addressed = req.header("Host");
    if (!SplitAuthority(addressed, &host, &port) || port != listening.port || !ListensAs(host)) {
      Error(res, 403,
            "this panel answers only as " + Address() + "; the request was addressed to '" +
                Clip(addressed) + "' (open the address panel-bench serve printed)");
      return false;
    }
    if (req.has_header("Origin")) {
      const std::string origin = req.header("Origin");
      constexpr std::string_view kScheme = "http://";
      if (!Lower(origin).starts_with(kScheme) ||
          !SplitAuthority(std::string_view(origin).substr(kScheme.size()), &host, &port) ||
          port != listening.port || !ListensAs(host)) {
        Error(res, 403, "requests from another site's page are refused (this one came from '" +
                            Clip(origin) + "'); the panel's own page is " + Address());
        return false;
      }
    }
    if (const std::string foreign = ForeignPage(req); !foreign.empty()) {
      Error(res, 403, foreign + "; the panel's own page is " + Address());
      return false;
    }
    if (req.method == "POST") {
      const std::string type = req.header("Content-Type");
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

  void Route(const Request& req, Answer& res) {
    if (!Admit(req, res)) return;
    const std::string& path = req.path;
    if (req.method == "GET" || req.method == "HEAD") {
      if (path == "/") {
        // Never in another page's frame: its stream would be the page's own.
        // (Browsers that send Sec-Fetch-Dest have refused that already.)
        res.set_header("Content-Security-Policy", "frame-ancestors 'none'");
        res.set_header("X-Frame-Options", "DENY");
        return Asset("index.html", "text/html; charset=utf-8", res);
      }
      if (path == "/app.js") return Asset("app.js", "text/javascript; charset=utf-8", res);
      if (path == "/style.css") return Asset("style.css", "text/css; charset=utf-8", res);
      if (path == "/api/panel" || path == "/api/state") {
        std::lock_guard lock(mutex);
        const json answer = path == "/api/panel" ? PanelJson(panel, pictures.drawing(), updates_per_second) : State();
        return res.set_content(Dump(answer), "application/json");
      }
      if (path == "/api/log") return GetLog(req, res);
      if (path == "/api/events") return Events(res);
      if (path.starts_with(kSoundPrefix)) {
        return Sound(path.substr(std::string_view(kSoundPrefix).size()), req, res);
      }
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

  void Asset(const char* file_name, const char* type, Answer& res) {
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

  // A click the gauges play, from the sound folder (viewer/sounds.h); no
  // lock: the panel is not involved.
  void Sound(const std::string& name, const Request& req, Answer& res) {
    SoundFile sound = ReadSound(sound_root, name);
    if (sound.status != 200) return Error(res, sound.status, sound.error);
    const std::string etag = "\"" + sound.tag + "\"";
    res.set_header("ETag", etag);
    // The browser checks its copy whenever it fetches the sound again (the
    // page keeps one player per sound for its life): 304 while unchanged.
    res.set_header("Cache-Control", "no-cache");
    res.set_header("X-Content-Type-Options", "nosniff");
    if (req.header("If-None-Match").find(etag) != std::string::npos) {
      res.status = 304;
      return;
    }
    res.set_content(std::move(sound.bytes), "audio/wav");
  }

  void GetLog(const Request& req, Answer& res) {
    uint64_t since = 0;
    std::string error;
    if (!QueryNumber(req, "since", 0, UINT64_MAX, &since, &error)) return Error(res, 400, error);
    std::lock_guard lock(mutex);
    res.set_content(Dump(Log(since)), "application/json");
  }

  void Picture(const std::string& name, const Request& req, Answer& res) {
    uint64_t scale = 1;
    std::string error;
    if (!QueryNumber(req, "scale", 1, kMaxScale, &scale, &error)) return Error(res, 400, error);
    const bool overlay = req.has_param("overlay") && req.param("overlay") == "1";
    const int which = PictureCache::Variant(static_cast<int>(scale), overlay);

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
      const PictureCache::Found found = pictures.Ask(index, which, lock);
      gauge = panel.gauges()[index];  // a partner switch may have re-created it meanwhile
      version = found.version;
      etag = "\"" + instance + "-" + std::to_string(version) + "-" + std::to_string(scale) +
             (overlay ? "o" : "") + "\"";
      res.set_header("ETag", etag);
      res.set_header("Cache-Control", "no-cache");
      if (req.header("If-None-Match").find(etag) != std::string::npos) {
        res.status = 304;
        return;
      }
      if (found.png != nullptr) {
        png = found.png;
      } else {
        // Drawn here (it reads the gauge's records), encoded below without
        // the lock, so clicks and updates go on meanwhile.
        image = pictures.drawing().Render(*gauge, {ambient, static_cast<int>(scale), overlay});
        if (image.empty()) {
          return Error(res, 503, "cannot draw " + name + ": " + pictures.drawing().error());
        }
      }
    }
    if (png == nullptr) {
      std::string encoded;
      if (!bench::EncodePng(image, bench::PngSpeed::kFast, &encoded, &error)) {
        return Error(res, 503, "cannot encode the picture of " + name + ": " + error);
      }
      png = std::make_shared<const std::string>(std::move(encoded));
      pictures.Keep(index, which, version, png);
    }
    res.set_content(*png, "image/png");
  }

  void Events(Answer& res) {
    auto cursor = std::make_shared<EventCursor>();
    std::lock_guard lock(mutex);
    if (closing) return Error(res, 503, "the panel is stopping");
    // The oldest stream gives way (its page may be frozen, or its client
    // have stopped reading, which nothing on this side can tell from a
    // slow reader before its buffers fill, minutes later).
    if (following.size() >= static_cast<size_t>(kMaxEventStreams)) {
      following.front()->replaced = true;
      following.pop_front();
      Tell();
    }
    following.push_back(cursor);
    res.set_header("Cache-Control", "no-store");
    res.content_type = "text/event-stream";
    res.stream = std::move(cursor);
  }

  // What this stream has not told yet, if anything moved since its last
  // message (or `heartbeat`): every picture's version, the state, new log
  // entries.
  StreamStep Pull(EventCursor* cursor, bool heartbeat, std::string* message) {
    std::unique_lock lock(mutex);
    if (closing || cursor->ended) return StreamStep::kEnd;
    if (cursor->replaced) {
      cursor->ended = true;
      message->append("event: replaced\ndata: " +
                      Dump(json{{"error", "another page now follows this panel (at most " +
                                              std::to_string(kMaxEventStreams) +
                                              " at once); reload to follow it here again"}}) +
                      "\n\n");
      return StreamStep::kLast;
    }
    if (cursor->started && !heartbeat && changes == cursor->changes) return StreamStep::kNothing;
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
    return StreamStep::kMessage;
  }

  void Click(const Request& req, Answer& res) {
    const json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
      return Error(res, 400, "the body is not a JSON object");
    }
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
      if (body["event"] == "repeat") {
        event = kMouseRepeat;
      } else if (body["event"] != "press") {
        return Error(res, 400, "'event' is \"press\" or \"repeat\"");
      }
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

  void Control(const Request& req, Answer& res) {
    const json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("name") ||
        !body["name"].is_string() || !body.contains("value")) {
      return Error(res, 400, "a control change needs \"name\" and \"value\"");
    }
    std::lock_guard lock(mutex);
    std::string error;
    if (!SetControl(panel, &ambient, body["name"].get<std::string>(), body["value"], &error)) {
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

void LiveApi::Handle(const Request& request, Answer& response) {
  try {
    impl_->Route(request, response);
  } catch (const std::bad_alloc&) {
    Error(response, 503, "not enough memory to answer " + request.path.substr(0, 60));
  } catch (const std::exception& e) {
    Error(response, 500, std::string("internal error: ") + e.what());
  }
}

void LiveApi::Update() {
  std::vector<PictureCache::Ahead> ahead;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->panel.Update();
    ++impl_->updates;
    ahead = impl_->pictures.DrawAhead(impl_->Refresh(), impl_->ambient);
  }
  if (!ahead.empty()) impl_->pictures.EncodeAhead(ahead);
}

StreamStep LiveApi::Pull(const EventStream& stream, bool heartbeat, std::string* message) {
  try {
    return impl_->Pull(stream.get(), heartbeat, message);
  } catch (const std::exception&) {
    return StreamStep::kEnd;  // (out of memory) the page reconnects
  }
}

void LiveApi::EndStream(const EventStream& stream) {
  std::lock_guard lock(impl_->mutex);
  stream->ended = true;
  impl_->following.remove(stream);
}

void LiveApi::OnStreamNews(std::function<void()> news) {
  std::lock_guard lock(impl_->mutex);
  impl_->news = std::move(news);
}

void LiveApi::Close() {
  std::lock_guard lock(impl_->mutex);
  impl_->closing = true;
  impl_->Tell();
  impl_->pictures.Close();
}

}  // namespace viewer
