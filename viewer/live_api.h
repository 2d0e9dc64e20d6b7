// The live panel's requests and answers, apart from the sockets: the bench's
// panel running at the simulator's rate, its pictures drawn only when they
// change, and the page told of each change on an event stream.
//
// HTTP interface (JSON unless said otherwise; docs/live-panel.md):
//   GET  /                          the page; /app.js, /style.css its assets
//   GET  /api/panel                 gauges: name, size, mouse areas
//   GET  /api/state                 switches, partner variables, update count
//   GET  /api/events                text/event-stream: picture versions, the
//                                   state and new log entries (a played
//                                   sound with its address), on each change
//   GET  /api/gauge/<name>.png      the gauge now (?scale=1..4, ?overlay=1);
//                                   ETag, 304 to a matching If-None-Match
//   GET  /api/log?since=N           what the gauges sent after entry N (and
//                                   how many of those the log no longer holds)
//   GET  /sound/<name>.wav          a click the gauges play, from the sound
//                                   folder (viewer/sounds.h); ETag, 304
//   POST /api/click                 {"gauge","x","y","event":"press"|"repeat"}
//   POST /api/control               {"name","value"}
// Anything else gets a 4xx answer with a JSON {"error": "..."} body: so does
// a request addressed to another host than the server listens as (a page
// of another site that had its name point here), one from another site's
// page (its Origin, or what the browser says of it in Sec-Fetch-Site), and
// a POST whose body is not application/json (which a page of any site could
// send without asking).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "bench/panel.h"

#include <chrono>
#include <functional>

#include "viewer/http_message.h"

namespace viewer {

// Event streams open at once. One more ends the oldest, which tells its
// page so: a page left frozen, or a client that stopped reading, never keeps
// a new page out.
inline constexpr int kMaxEventStreams = 4;
// An event stream with nothing to tell sends the state this often (the
// update count moves), which also finds out that its page has gone.
inline constexpr std::chrono::seconds kEventHeartbeat{1};

// What pulling an event stream gave.
enum class StreamStep {
  kNothing,  // nothing new: pull again when told of news, or at the heartbeat
  kMessage,  // a message to send
  kLast,     // a message to send, and then the stream ends (it was replaced)
  kEnd,      // the stream is over (the server is stopping): end it
};

// Whether only this machine can reach `address` (as given to --address, or
// the host of a request): "localhost" in any letter case, 127.0.0.0/8, ::1,
// and 127.0.0.0/8 written as an IPv6 address (::ffff:127.0.0.1, which is
// also ::ffff:7f00:1).
bool IsLoopbackAddress(const std::string& address);

// What the server listens as: the address it was bound to and its port.
// Requests are answered only when addressed to a name it listens as.
struct Listening {
  std::string address;
  int port = 0;
};

class LiveApi {
 public:
  LiveApi(bench::Panel& panel, std::filesystem::path web_dir, double updates_per_second,
          Listening listening);
  ~LiveApi();

  // Answers one request as the server parsed it (method, path, query
  // parameters, headers, body). Never throws. For an event stream the
  // answer holds the stream; its messages are pulled with Pull().
  void Handle(const Request& request, Answer& answer);

  // The stream's next message, appended to `message`: kNothing if nothing
  // moved since its last (unless `heartbeat`, when the state goes out
  // anyway). Never blocks for long: it takes the panel's lock as a request
  // does. Never throws.
  StreamStep Pull(const EventStream& stream, bool heartbeat, std::string* message);
  // The stream's client has gone: it no longer counts among the open ones.
  void EndStream(const EventStream& stream);
  // Called, from whichever thread moved something and holding the API's
  // lock (so it must only hand the news on, e.g. post it to an event loop),
  // whenever a stream may have something new to pull.
  void OnStreamNews(std::function<void()> news);

  // One simulator update, applied between requests; the pictures that
  // changed get a new version and the event streams hear of it.
  void Update();

  // Ends every event stream (its next Pull() says kEnd) and refuses new ones.
  void Close();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace viewer
