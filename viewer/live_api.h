// The live panel's requests and answers, apart from the sockets: the bench's
// panel running at the simulator's rate, its pictures drawn only when they
// change, and the page told of each change on an event stream.
//
// HTTP interface (JSON unless said otherwise; docs/live-panel.md):
//   GET  /                          the page; /app.js, /style.css its assets
//   GET  /api/panel                 gauges: name, size, mouse areas
//   GET  /api/state                 switches, partner variables, update count
//   GET  /api/events                text/event-stream: picture versions, the
//                                   state and new log entries, on each change
//   GET  /api/gauge/<name>.png      the gauge now (?scale=1..4, ?overlay=1);
//                                   ETag, 304 to a matching If-None-Match
//   GET  /api/log?since=N           what the gauges sent after entry N
//   POST /api/click                 {"gauge","x","y","event":"press"|"repeat"}
//   POST /api/control               {"name","value"}
// Anything else gets a 4xx answer with a JSON {"error": "..."} body.
#pragma once

#include <filesystem>
#include <memory>

#include "bench/panel.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace viewer {

// Event streams open at once; one more is refused (each holds a thread of
// the server for as long as it is open).
inline constexpr int kMaxEventStreams = 4;

class LiveApi {
 public:
  LiveApi(bench::Panel& panel, std::filesystem::path web_dir, double updates_per_second);
  ~LiveApi();

  // Answers one request as the server parsed it (method, path, query
  // parameters, headers, body). Never throws.
  void Handle(const httplib::Request& request, httplib::Response& response);

  // One simulator update, applied between requests; the pictures that
  // changed get a new version and the event streams hear of it.
  void Update();

  // Ends every event stream at its next wake-up and refuses new ones.
  void Close();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace viewer
