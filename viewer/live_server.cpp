#include "viewer/live_server.h"

#include <httplib.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <nlohmann/json.hpp>
#include <thread>

#include "viewer/live_api.h"

namespace viewer {
namespace {

// Threads answering requests. Each connection holds one while it is open:
// an event stream for its life, any other for at most a request and the
// keep-alive wait after it. Enough for the page's own requests beside
// kMaxEventStreams streams and dozens of idle or half-sent connections.
constexpr size_t kThreads = 48;
constexpr time_t kReadTimeoutSeconds = 1;   // for each part of a request
constexpr time_t kWriteTimeoutSeconds = 2;  // a client that stops reading
constexpr time_t kKeepAliveSeconds = 1;     // an idle connection, between requests
constexpr size_t kKeepAliveRequests = 100;

// Why `address`:`port` cannot be listened on, found by trying it.
std::string WhyNotListen(const std::string& address, int port) {
  const std::string where = address + ":" + std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (const int rc = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
      rc != 0) {
    return "cannot resolve the address '" + address + "': " + gai_strerror(rc) +
           " (give one of this machine's addresses with --address, e.g. 127.0.0.1)";
  }
  int error = 0;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const int sock = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (sock < 0) {
      error = errno;
      continue;
    }
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const bool bound = bind(sock, a->ai_addr, a->ai_addrlen) == 0 && listen(sock, 1) == 0;
    if (!bound) error = errno;
    close(sock);
    if (bound) {
      error = 0;
      break;
    }
  }
  freeaddrinfo(found);
  switch (error) {
    case EADDRINUSE:
      return "port " + std::to_string(port) + " is in use on " + address +
             " (another server listens there: choose another with --port, or --port 0 for any "
             "free port)";
    case EADDRNOTAVAIL:
      return "cannot listen on " + where + ": the address is not one of this machine's "
             "(give one with --address, e.g. 127.0.0.1)";
    case EACCES:
      return "cannot listen on " + where + ": that port needs privileges (choose one above 1023 "
             "with --port)";
    case 0:
      return "cannot listen on " + where;
    default:
      return "cannot listen on " + where + ": " + std::strerror(error);
  }
}

}  // namespace

struct LiveServer::Impl {
  bench::Panel& panel;
  std::unique_ptr<LiveApi> api;
  httplib::Server http;
  std::atomic<bool> running{false};
  ServerOptions options;

  explicit Impl(bench::Panel& p) : panel(p) {}

  // Everything but the LiveApi, which is made once the socket is bound (a
  // server that cannot bind never touches the panel).
  void Configure() {
    auto handle = [this](const httplib::Request& req, httplib::Response& res) {
      api->Handle(req, res);
    };
    http.Get(".*", handle);
    http.Post(".*", handle);
    // What the server refuses before a handler sees it (a malformed request,
    // a body too large) still gets a reason.
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (res.body.empty()) {
        res.set_content(nlohmann::json{{"error", res.status == 404   ? "no such page"
                                                 : res.status == 413 ? "the request is too large"
                                                                     : "bad request"}}
                            .dump(),
                        "application/json");
      }
    });
    http.set_payload_max_length(64 * 1024);
    http.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    http.set_read_timeout(kReadTimeoutSeconds, 0);
    http.set_write_timeout(kWriteTimeoutSeconds, 0);
    http.set_keep_alive_timeout(kKeepAliveSeconds);
    http.set_keep_alive_max_count(kKeepAliveRequests);
    // SO_REUSEADDR only: a second server on the same port must fail, not
    // share it (httplib's default also sets SO_REUSEPORT).
    http.set_socket_options([](socket_t sock) {
      const int yes = 1;
      setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
  }

  void Simulate() {
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<clock::duration>(
        std::chrono::duration<double>(1.0 / options.updates_per_second));
    auto next = clock::now();
    while (running) {
      api->Update();
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
  impl_->Configure();
  if (options.port == 0) {
    port_ = impl_->http.bind_to_any_port(options.address);
  } else if (impl_->http.bind_to_port(options.address, options.port)) {
    port_ = options.port;
  } else {
    port_ = -1;
  }
  if (port_ <= 0) {
    *error = WhyNotListen(options.address, options.port);
    return false;
  }
  impl_->api = std::make_unique<LiveApi>(impl_->panel, options.web_dir, options.updates_per_second);
  return true;
}

void LiveServer::Run() {
  if (!impl_->api) return;  // not bound
  impl_->running = true;
  std::thread simulation([this] { impl_->Simulate(); });
  impl_->http.listen_after_bind();
  impl_->running = false;
  simulation.join();
}

void LiveServer::Stop() {
  impl_->running = false;
  if (impl_->api) impl_->api->Close();
  impl_->http.stop();
}

}  // namespace viewer
