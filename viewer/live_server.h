// The live panel: the bench's panel running at the simulator's 18 updates a
// second, served to a browser on this machine. The page shows the gauges as
// the bench draws them and sends the user's clicks and switch changes back.
//
// HTTP interface (JSON unless said otherwise):
//   GET  /                          the page; /app.js, /style.css its assets
//   GET  /api/panel                 gauges: name, size, mouse areas
//   GET  /api/state                 switches, partner variables, update count
//   GET  /api/gauge/<name>.png      the gauge now (?scale=1..4, ?overlay=1)
//   GET  /api/log?since=N           what the gauges sent after entry N
//   POST /api/click                 {"gauge","x","y","event":"press"|"repeat"}
//   POST /api/control               {"name","value"}; names in docs/live-panel.md
// Anything else gets a 4xx answer with a JSON {"error": "..."} body.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "bench/panel.h"

namespace viewer {

struct ServerOptions {
  std::string address = "127.0.0.1";
  int port = 8018;                       // 0: any free port
  std::filesystem::path web_dir;         // the page's assets
  double updates_per_second = 18.0;
};

class LiveServer {
 public:
  explicit LiveServer(bench::Panel& panel);
  ~LiveServer();

  // Binds the address and port; false with a reason if it cannot.
  bool Bind(const ServerOptions& options, std::string* error);
  int port() const { return port_; }
  // Serves (and runs the aircraft) until Stop(). Blocks.
  void Run();
  // Safe from any thread and from a signal's flag watcher.
  void Stop();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace viewer
