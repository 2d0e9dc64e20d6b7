// The live panel's server: the LiveApi on a socket of this machine, with the
// bench's panel updated at the simulator's 18 a second. One thread does all
// the sockets' work without blocking (Boost.Asio; requests read by
// Boost.Beast's parser), two workers answer the requests, and an event
// stream is written as the panel changes, holding no thread. What one client
// can hold is bounded (5 s for a whole request and a second for each part of
// it, 2 s for a write that cannot go on, a few event streams, a bound on the
// connections open at once), so idle, slow or stalled clients never keep the
// page's own requests waiting.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

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

  // Binds the address and port; false with the reason if it cannot (the
  // port in use, an address that does not resolve or is not this machine's).
  bool Bind(const ServerOptions& options, std::string* error);
  int port() const { return port_; }
  // Serves (and runs the aircraft) until Stop(). Blocks: the calling thread
  // is the one doing the sockets' work.
  void Run();
  // Safe from any thread and from a signal's flag watcher.
  void Stop();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace viewer
