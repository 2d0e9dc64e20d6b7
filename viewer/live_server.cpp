#include "viewer/live_server.h"

#include <httplib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
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
using Clock = std::chrono::steady_clock;
constexpr auto kReadTimeout = std::chrono::seconds(1);     // for each part of a request
constexpr auto kRequestTimeout = std::chrono::seconds(5);  // for the whole of it
constexpr auto kWriteTimeout = std::chrono::seconds(2);    // a client that stops reading
constexpr auto kKeepAlive = std::chrono::seconds(1);       // an idle connection, between requests
constexpr size_t kKeepAliveRequests = 100;
// The request line and headers; the body has its own bound (413).
constexpr size_t kLargestHead = 16 * 1024;
constexpr size_t kLargestBody = 64 * 1024;

int Milliseconds(Clock::duration d) {
  return static_cast<int>(std::max<int64_t>(
      0, std::chrono::duration_cast<std::chrono::milliseconds>(d).count()));
}

// Waits up to `wait` for `events` on `sock`; false on a timeout or an error.
bool Await(int sock, short events, Clock::duration wait) {
  pollfd p{sock, events, 0};
  int rc;
  do {
    rc = poll(&p, 1, Milliseconds(wait));
  } while (rc < 0 && errno == EINTR);
  return rc > 0 && (p.revents & (events | POLLHUP | POLLERR)) != 0;
}

// One accepted connection as httplib reads and writes it, with the bounds
// its own socket stream lacks: a deadline for a whole request (its read
// timeout is for each read, so a client sending a byte a second was never
// cut off), a bound on the request's head, and a write that cannot move for
// kWriteTimeout ends the connection.
class Connection final : public httplib::Stream {
 public:
  enum class Cut { kNone, kTimeout, kTooLarge };

  explicit Connection(int sock) : sock_(sock) {}

  // A new request's clock starts; called when its first byte is there.
  void StartRequest() {
    deadline_ = Clock::now() + kRequestTimeout;
    head_ = 0;
    in_head_ = true;
    matched_ = 0;
    written_ = false;
    cut_ = Cut::kNone;
  }
  // Why the present request was cut off, if it was before any answer.
  Cut cut() const { return written_ ? Cut::kNone : cut_; }
  bool HasBuffered() const { return begin_ < end_; }

  bool is_readable() const override {
    return HasBuffered() || Await(sock_, POLLIN, std::min<Clock::duration>(
                                                     kReadTimeout, deadline_ - Clock::now()));
  }
  bool is_writable() const override { return Await(sock_, POLLOUT, kWriteTimeout); }

  ssize_t read(char* ptr, size_t size) override {
    if (!HasBuffered()) {
      const auto now = Clock::now();
      if (now >= deadline_) {
        cut_ = Cut::kTimeout;
        return -1;
      }
      if (!Await(sock_, POLLIN, std::min<Clock::duration>(kReadTimeout, deadline_ - now))) {
        cut_ = Cut::kTimeout;
        return -1;
      }
      const ssize_t got = recv(sock_, buffer_, sizeof buffer_, 0);
      if (got <= 0) return got;
      begin_ = 0;
      end_ = static_cast<size_t>(got);
    }
    size_t n = std::min(size, end_ - begin_);
    if (in_head_) {
      // Up to the blank line that ends the head, and no further than the bound.
      static constexpr char kEnd[] = "\r\n\r\n";
      size_t i = 0;
      while (i < n && in_head_) {
        const char c = buffer_[begin_ + i++];
        matched_ = c == kEnd[matched_] ? matched_ + 1 : c == '\r' ? 1 : 0;
        in_head_ = matched_ < 4;
      }
      n = i;
      head_ += n;
      if (head_ > kLargestHead) {
        cut_ = Cut::kTooLarge;
        return -1;
      }
    }
    std::memcpy(ptr, buffer_ + begin_, n);
    begin_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    written_ = true;
    if (!is_writable()) return -1;
    ssize_t sent;
    do {
      sent = send(sock_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : sent;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      Name(address, length, &ip, &port);
    }
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      Name(address, length, &ip, &port);
    }
  }
  socket_t socket() const override { return sock_; }

 private:
  static void Name(const sockaddr_storage& address, socklen_t length, std::string* ip, int* port) {
    char host[NI_MAXHOST], service[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host,
                    service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
      *ip = host;
      *port = std::atoi(service);
    }
  }

  int sock_;
  Clock::time_point deadline_ = Clock::now() + kRequestTimeout;
  // Of the present request:
  size_t head_ = 0;      // bytes of its head read so far
  bool in_head_ = true;  // its blank line not yet read
  int matched_ = 0;      // of that blank line's CR LF CR LF
  bool written_ = false;
  Cut cut_ = Cut::kNone;
  char buffer_[4096];
  size_t begin_ = 0, end_ = 0;
};

// Set by the error handler, on the thread serving the connection, when its
// request was malformed: where a next request would start is anyone's
// guess, so the connection ends (httplib would read on).
thread_local bool end_connection = false;

// The answer to a request cut off before httplib could answer it.
void SendCut(int sock, Connection::Cut cut) {
  const bool timeout = cut == Connection::Cut::kTimeout;
  const std::string body =
      nlohmann::json{{"error", timeout ? "the request arrived too slowly (the whole of it must "
                                             "arrive within " +
                                             std::to_string(kRequestTimeout.count()) +
                                             " s, with no pause over " +
                                             std::to_string(kReadTimeout.count()) + " s)"
                                       : "the request's line and headers are larger than " +
                                             std::to_string(kLargestHead / 1024) + " KiB"}}
          .dump();
  const std::string answer = std::string(timeout ? "HTTP/1.1 408 Request Timeout"
                                                 : "HTTP/1.1 431 Request Header Fields Too Large") +
                             "\r\nContent-Type: application/json\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  send(sock, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// httplib's server with each connection served through a Connection.
class Server final : public httplib::Server {
 private:
  bool process_and_close_socket(socket_t sock) override {
    // Headers and body go out in separate writes: with Nagle's algorithm
    // the second waited for the client's delayed acknowledgement (about
    // 40 ms for every request after a connection's first).
    const int yes = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    Connection connection(sock);
    bool ok = false;
    for (size_t left = kKeepAliveRequests; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
      if (!connection.HasBuffered() && !Await(sock, POLLIN, kKeepAlive)) break;
      connection.StartRequest();
      end_connection = false;
      bool closed = false;
      ok = process_request(connection, left == 1, closed, nullptr);
      if (connection.cut() != Connection::Cut::kNone) SendCut(sock, connection.cut());
      if (!ok || closed || end_connection) break;
    }
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return ok;
  }
};

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
  Server http;
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
        if (res.status == 400) {
          res.set_header("Connection", "close");
          end_connection = true;
        }
      }
    });
    http.set_payload_max_length(kLargestBody);
    http.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    // Connection serves these; httplib only names them in its answers.
    http.set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(kKeepAlive).count());
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
  impl_->api = std::make_unique<LiveApi>(impl_->panel, options.web_dir,
                                         options.updates_per_second,
                                         Listening{options.address, port_});
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
