#include "viewer/live_server.h"

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/status.hpp>
#include <chrono>
#include <list>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "viewer/http_adaptor.h"
#include "viewer/live_api.h"
#include "viewer/listener.h"

namespace viewer {
namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

constexpr auto kReadTimeout = std::chrono::seconds(1);     // for each part of a request
constexpr auto kRequestTimeout = std::chrono::seconds(5);  // for the whole of it
constexpr auto kWriteTimeout = std::chrono::seconds(2);    // a client that stops reading
constexpr auto kKeepAlive = std::chrono::seconds(1);       // an idle connection, between requests
constexpr size_t kKeepAliveRequests = 100;
// The request line and headers; the body has its own bound (413).
constexpr size_t kLargestHead = 16 * 1024;
constexpr size_t kLargestBody = 64 * 1024;
// Connections open at once. Each costs a socket and a few kilobytes, no
// thread; at the bound a new one closes the oldest that is only waiting for
// (or reading) a request, so a flood of connections can neither exhaust the
// process's file descriptors nor keep the page's new one out.
constexpr size_t kMaxConnections = 256;
// Threads that answer requests (draw pictures, take the panel's lock) so the
// one thread doing the sockets' I/O never waits on either.
constexpr int kWorkers = 2;
// After a refusal the connection takes in what the client still sends, up
// to this much for up to this long, so that the refusal is read instead of
// lost to a reset.
constexpr size_t kLargestDrain = 256 * 1024;
constexpr auto kDrainTime = std::chrono::seconds(1);
// When the process is out of file descriptors, accepting waits this long.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

std::string JsonError(const std::string& what) { return nlohmann::json{{"error", what}}.dump(); }

std::string Head(int status) {
  const auto reason = http::obsolete_reason(http::int_to_status(static_cast<unsigned>(status)));
  return "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
}

// Why `address`:`port` cannot be listened on, from the error binding gave.
std::string WhyNotListen(const std::string& address, int port, const error_code& ec) {
  const std::string where = address + ":" + std::to_string(port);
  if (ec == asio::error::address_in_use) {
    return "port " + std::to_string(port) + " is in use on " + address +
           " (another server listens there: choose another with --port, or --port 0 for any "
           "free port)";
  }
  if (ec == boost::system::errc::address_not_available) {
    return "cannot listen on " + where +
           ": the address is not one of this machine's (give one with --address, e.g. 127.0.0.1)";
  }
  if (ec == asio::error::access_denied) {
    return "cannot listen on " + where +
           ": that port needs privileges (choose one above 1023 with --port)";
  }
  if (!ec) return "cannot listen on " + where;
  return "cannot listen on " + where + ": " + ec.message();
}

}  // namespace

class Connection;

struct LiveServer::Impl {
  bench::Panel& panel;
  std::unique_ptr<LiveApi> api;
  ServerOptions options;
  std::atomic<bool> running{false};
  std::atomic<bool> stopped{false};

  asio::io_context io{1};
  tcp::acceptor acceptor{io};
  asio::steady_timer accept_pause{io};
  asio::thread_pool workers{kWorkers};
  // The open connections, oldest first; touched on the I/O thread only.
  std::list<std::shared_ptr<Connection>> connections;
  // Of those, the event streams (told when the API has news for them).
  std::list<Connection*> streams;

  explicit Impl(bench::Panel& p) : panel(p) {}

  void Accept();
  void Accepted(tcp::socket socket);
  void TellStreams();
  void CloseAll();

  void Simulate() {
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options.updates_per_second));
    auto next = Clock::now();
    while (running) {
      api->Update();
      next += period;
      const auto now = Clock::now();
      if (next < now) next = now;  // fell behind: do not race to catch up
      std::this_thread::sleep_until(next);
    }
  }
};

// One accepted connection: its requests read with their bounds, answered
// by a worker, written back; or, once it asked for one, an event stream.
// Everything but the handler's work runs on the I/O thread.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  enum class State { kReading, kAnswering, kStreaming, kDraining, kClosed };

  Connection(LiveServer::Impl& server, tcp::socket socket)
      : server_(server), socket_(std::move(socket)), timer_(server.io), beat_(server.io) {}

  State state() const { return state_; }
  void set_place(std::list<std::shared_ptr<Connection>>::iterator place) { place_ = place; }

  void Start() {
    error_code ec;
    // Head and body may go out in separate writes: with Nagle's algorithm
    // the second would wait for the client's delayed acknowledgement.
    socket_.set_option(tcp::no_delay(true), ec);
    ReadNext();
  }

  // Ends the connection now (a stream is forgotten by the API).
  void Close() {
    if (state_ == State::kClosed) return;
    if (listed_) server_.streams.erase(stream_place_);
    if (stream_) server_.api->EndStream(stream_);
    state_ = State::kClosed;
    ++timer_generation_;
    ++beat_generation_;
    error_code ec;
    timer_.cancel();
    beat_.cancel();
    socket_.shutdown(tcp::socket::shutdown_both, ec);
    socket_.close(ec);
    server_.connections.erase(place_);  // may drop the last owner but for a handler's
  }

  // The API may have something new for this stream.
  void News() {
    if (state_ == State::kStreaming) Pump(false);
  }

 private:
  // ---- reading a request -----------------------------------------------------

  void ReadNext() {
    state_ = State::kReading;
    parser_.emplace();
    parser_->header_limit(kLargestHead);
    parser_->body_limit(kLargestBody);
    started_ = buffer_.size() > 0;  // the next request's bytes already came
    if (started_) deadline_ = Clock::now() + kRequestTimeout;
    Parse();
  }

  // Parses what has come; reads more if the request is not whole yet.
  void Parse() {
    error_code ec;
    while (buffer_.size() > 0 && !parser_->is_done()) {
      const size_t used = parser_->put(buffer_.data(), ec);
      buffer_.consume(used);
      if (ec == http::error::need_more) {
        ec = {};
        break;
      }
      if (ec) return Refused(ec);
      if (used == 0) break;
    }
    if (parser_->is_done()) return Answer();
    ReadSome();
  }

  void ReadSome() {
    const auto now = Clock::now();
    if (started_ && now >= deadline_) return TooSlow();
    // Before its first byte a request may be waited for as long as an idle
    // connection is kept; after it, a second for each part, and 5 s in all.
    Arm(started_ ? std::min<Clock::time_point>(now + kReadTimeout, deadline_) : now + kKeepAlive);
    const size_t room = std::min<size_t>(4096, buffer_.max_size() - buffer_.size());
    // Only a part the parser cannot take in whole (a chunk's line of
    // endless extensions) could fill the buffer.
    if (room == 0) return Refuse(400, "bad request");
    socket_.async_read_some(buffer_.prepare(room),
                            [self = shared_from_this()](const error_code& ec, size_t got) {
                              self->Read(ec, got);
                            });
  }

  void Read(const error_code& ec, size_t got) {
    if (state_ == State::kClosed) return;
    ++timer_generation_;
    timer_.cancel();
    if (timed_out_) {
      timed_out_ = false;
      return started_ ? TooSlow() : Close();  // a request too slow, or an idle connection
    }
    if (ec) return Close();  // the client went (mid-request or not)
    buffer_.commit(got);
    if (!started_) {
      started_ = true;
      deadline_ = Clock::now() + kRequestTimeout;
    }
    Parse();
  }

  // Cancels the pending read or write at `when`, which then ends with
  // `timed_out_` set.
  void Arm(Clock::time_point when) {
    const uint64_t generation = ++timer_generation_;
    timer_.expires_at(when);
    timer_.async_wait([self = shared_from_this(), generation](const error_code& ec) {
      if (ec || generation != self->timer_generation_ || self->state_ == State::kClosed) return;
      self->timed_out_ = true;
      error_code ignored;
      self->socket_.cancel(ignored);
    });
  }

  void TooSlow() {
    Refuse(408, "the request arrived too slowly (the whole of it must arrive within " +
                    std::to_string(kRequestTimeout.count()) + " s, with no pause over " +
                    std::to_string(kReadTimeout.count()) + " s)");
  }

  void Refused(const error_code& ec) {
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
      return Refuse(431, "the request's line and headers are larger than " +
                             std::to_string(kLargestHead / 1024) + " KiB");
    }
    if (ec == http::error::body_limit) return Refuse(413, "the request is too large");
    // Where a next request would start is anyone's guess.
    Refuse(400, "bad request");
  }

  // Answers with the reason and ends the connection.
  void Refuse(int status, const std::string& why) {
    const std::string body = JsonError(why);
    Write(Head(status) + "Content-Type: application/json\r\nContent-Length: " +
              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
          [](Connection& self) { self.Drain(); });
  }

  // ---- answering -------------------------------------------------------------

  void Answer() {
    state_ = State::kAnswering;
    ParsedRequest parsed = parser_->release();
    const bool keep = parsed.keep_alive() && ++served_ < kKeepAliveRequests;
    const bool head = parsed.method() == http::verb::head;
    auto request = std::make_shared<Request>(FromParsed(parsed));
    asio::post(server_.workers, [self = shared_from_this(), request, keep, head] {
      auto answer = std::make_shared<viewer::Answer>();
      self->server_.api->Handle(*request, *answer);
      asio::post(self->server_.io, [self, answer, keep, head] {
        if (self->state_ != State::kClosed) self->Send(*answer, keep, head);
      });
    });
  }

  void Send(viewer::Answer& answer, bool keep, bool head) {
    std::string out = Head(answer.status);
    for (const auto& [name, value] : answer.headers) out += name + ": " + value + "\r\n";
    if (!answer.content_type.empty()) out += "Content-Type: " + answer.content_type + "\r\n";
    if (answer.stream) {
      stream_ = std::move(answer.stream);
      out += "Transfer-Encoding: chunked\r\n\r\n";
      if (head) return Write(std::move(out), [](Connection& self) { self.Drain(); });
      return Write(std::move(out), [](Connection& self) { self.StartStream(); });
    }
    const bool bodiless = answer.status == 304 || answer.status == 204;
    if (!bodiless) out += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
    out += keep ? "Connection: keep-alive\r\nKeep-Alive: timeout=" +
                      std::to_string(kKeepAlive.count()) +
                      ", max=" + std::to_string(kKeepAliveRequests - served_) + "\r\n\r\n"
                : "Connection: close\r\n\r\n";
    if (!head && !bodiless) out += answer.body;
    Write(std::move(out), keep ? +[](Connection& self) { self.ReadNext(); }
                               : +[](Connection& self) { self.Drain(); });
  }

  // Writes `text`, then `then`; a write that cannot go on for kWriteTimeout
  // ends the connection.
  void Write(std::string text, void (*then)(Connection&)) {
    auto out = std::make_shared<std::string>(std::move(text));
    Arm(Clock::now() + kWriteTimeout);
    asio::async_write(socket_, asio::buffer(*out),
                      [self = shared_from_this(), out, then](const error_code& ec, size_t) {
                        if (self->state_ == State::kClosed) return;
                        ++self->timer_generation_;
                        self->timer_.cancel();
                        if (ec || self->timed_out_) return self->Close();
                        then(*self);
                      });
  }

  // Ends the connection after an answer that ends it: what the client still
  // sends is taken in and dropped (bounded), so it reads the answer rather
  // than a reset.
  void Drain() {
    state_ = State::kDraining;
    error_code ec;
    socket_.shutdown(tcp::socket::shutdown_send, ec);
    drain_left_ = kLargestDrain;
    Arm(Clock::now() + kDrainTime);
    DrainSome();
  }

  void DrainSome() {
    socket_.async_read_some(asio::buffer(scratch_),
                            [self = shared_from_this()](const error_code& ec, size_t got) {
                              if (self->state_ == State::kClosed) return;
                              if (ec || self->timed_out_ || got >= self->drain_left_) {
                                return self->Close();
                              }
                              self->drain_left_ -= got;
                              self->DrainSome();
                            });
  }

  // ---- an event stream ---------------------------------------------------------

  void StartStream() {
    state_ = State::kStreaming;
    server_.streams.push_back(this);
    stream_place_ = std::prev(server_.streams.end());
    listed_ = true;
    Watch();
    Pump(false);
  }

  // Reads (and drops) what the client sends on a stream: only to hear it go.
  void Watch() {
    socket_.async_read_some(asio::buffer(scratch_),
                            [self = shared_from_this()](const error_code& ec, size_t) {
                              if (self->state_ == State::kClosed) return;
                              if (ec) return self->Close();
                              self->Watch();
                            });
  }

  // Pulls the stream's next message on a worker (it takes the panel's lock)
  // and sends it. One at a time: news during one pulls again after it.
  void Pump(bool heartbeat) {
    if (busy_) {
      again_ = true;
      beat_due_ = beat_due_ || heartbeat;
      return;
    }
    heartbeat = heartbeat || beat_due_;
    busy_ = true;
    again_ = false;
    beat_due_ = false;
    asio::post(server_.workers, [self = shared_from_this(), heartbeat] {
      auto message = std::make_shared<std::string>();
      const StreamStep step = self->server_.api->Pull(self->stream_, heartbeat, message.get());
      asio::post(self->server_.io, [self, step, message] { self->Pulled(step, *message); });
    });
  }

  void Pulled(StreamStep step, const std::string& message) {
    if (state_ != State::kStreaming) return;
    if (step == StreamStep::kNothing) {
      busy_ = false;
      if (again_) return Pump(false);
      return;
    }
    std::string chunk;
    if (!message.empty()) {
      char size[20];
      std::snprintf(size, sizeof size, "%zx\r\n", message.size());
      chunk = size + message + "\r\n";
    }
    if (step != StreamStep::kMessage) chunk += "0\r\n\r\n";  // the stream's end
    const bool last = step != StreamStep::kMessage;
    Write(std::move(chunk), last ? +[](Connection& self) { self.Finish(); }
                                 : +[](Connection& self) { self.Sent(); });
  }

  // Ends the stream's connection once its client has read the end (the
  // watch hears it close) or after kDrainTime.
  void Finish() {
    state_ = State::kDraining;
    error_code ec;
    socket_.shutdown(tcp::socket::shutdown_send, ec);
    Arm(Clock::now() + kDrainTime);
  }

  void Sent() {
    busy_ = false;
    // Nothing new for a while: the state goes out anyway at the heartbeat.
    const uint64_t generation = ++beat_generation_;
    beat_.expires_after(kEventHeartbeat);
    beat_.async_wait([self = shared_from_this(), generation](const error_code& ec) {
      if (ec || generation != self->beat_generation_) return;
      self->Pump(true);
    });
    if (again_) Pump(false);
  }

  LiveServer::Impl& server_;
  tcp::socket socket_;
  std::list<std::shared_ptr<Connection>>::iterator place_;
  State state_ = State::kReading;

  // What the client sent that is not parsed yet: a request's head (and
  // the start of a next one) at most, as the parser takes bodies in.
  boost::beast::flat_buffer buffer_{kLargestHead + 4096};
  std::optional<http::request_parser<http::string_body>> parser_;
  bool started_ = false;  // the request's first byte came
  Clock::time_point deadline_;
  size_t served_ = 0;

  // A read's or a write's deadline (a handler whose generation is gone does
  // nothing: its wait ended as the read or write did).
  asio::steady_timer timer_;
  uint64_t timer_generation_ = 0;
  bool timed_out_ = false;
  char scratch_[4096];
  size_t drain_left_ = 0;

  // Of an event stream:
  EventStream stream_;
  asio::steady_timer beat_;
  uint64_t beat_generation_ = 0;
  bool busy_ = false;   // a message being pulled or sent
  bool again_ = false;  // news came meanwhile
  bool beat_due_ = false;  // and the heartbeat
  std::list<Connection*>::iterator stream_place_;  // in the server's streams
  bool listed_ = false;
};

void LiveServer::Impl::Accept() {
  acceptor.async_accept([this](const error_code& ec, tcp::socket socket) {
    if (!acceptor.is_open()) return;
    if (ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space ||
        ec == asio::error::no_memory) {
      // Try again in a while rather than spin on the same failure.
      accept_pause.expires_after(kAcceptPause);
      accept_pause.async_wait([this](const error_code& wait) {
        if (!wait) Accept();
      });
      return;
    }
    if (!ec) Accepted(std::move(socket));
    Accept();
  });
}

void LiveServer::Impl::Accepted(tcp::socket socket) {
  if (connections.size() >= kMaxConnections) {
    // The oldest connection that is only waiting for a request (or reading
    // one, or being closed) makes room; one being answered or streaming is
    // left alone.
    const auto oldest = std::find_if(connections.begin(), connections.end(), [](const auto& c) {
      return c->state() == Connection::State::kReading ||
             c->state() == Connection::State::kDraining;
    });
    if (oldest == connections.end()) {
      const std::string body = JsonError("the server is busy (" +
                                         std::to_string(kMaxConnections) +
                                         " connections are open); try again");
      const std::string answer = Head(503) +
                                 "Content-Type: application/json\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                                 body;
      error_code ec;
      socket.non_blocking(true, ec);
      socket.write_some(asio::buffer(answer), ec);
      socket.close(ec);
      return;
    }
    const std::shared_ptr<Connection> evicted = *oldest;  // alive while it closes
    evicted->Close();
  }
  auto connection = std::make_shared<Connection>(*this, std::move(socket));
  connections.push_back(connection);
  connection->set_place(std::prev(connections.end()));
  connection->Start();
}

void LiveServer::Impl::TellStreams() {
  // (News() never closes a connection, so the list holds still meanwhile.)
  for (Connection* stream : streams) stream->News();
}

void LiveServer::Impl::CloseAll() {
  error_code ec;
  acceptor.close(ec);
  accept_pause.cancel();
  while (!connections.empty()) {
    const std::shared_ptr<Connection> first = connections.front();
    first->Close();
  }
}

LiveServer::LiveServer(bench::Panel& panel) : impl_(std::make_unique<Impl>(panel)) {}

LiveServer::~LiveServer() {
  Stop();
  impl_->workers.join();
}

bool LiveServer::Bind(const ServerOptions& options, std::string* error) {
  impl_->options = options;
  tcp::resolver resolver(impl_->io);
  error_code ec;
  const auto found = resolver.resolve(options.address, std::to_string(options.port),
                                      tcp::resolver::passive, ec);
  if (ec) {
    *error = "cannot resolve the address '" + options.address + "': " + ec.message() +
             " (give one of this machine's addresses with --address, e.g. 127.0.0.1)";
    return false;
  }
  error_code failed;
  tcp::acceptor& acceptor = impl_->acceptor;
  for (const auto& entry : found) {
    error_code ec;
    acceptor.open(entry.endpoint().protocol(), ec);
    if (!ec) PrepareListener(acceptor, ec);
    if (!ec) acceptor.bind(entry.endpoint(), ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (!ec) {
      port_ = acceptor.local_endpoint(ec).port();
      if (!ec) break;
    }
    failed = ec;
    error_code ignored;
    acceptor.close(ignored);
  }
  if (!acceptor.is_open()) {
    port_ = -1;
    *error = WhyNotListen(options.address, options.port, failed);
    return false;
  }
  impl_->api = std::make_unique<LiveApi>(impl_->panel, options.web_dir,
                                         options.updates_per_second,
                                         Listening{options.address, port_});
  // Told on whichever thread has news, holding the API's lock: handed on to
  // the I/O thread.
  impl_->api->OnStreamNews([impl = impl_.get()] {
    asio::post(impl->io, [impl] { impl->TellStreams(); });
  });
  return true;
}

void LiveServer::Run() {
  if (!impl_->api || impl_->stopped) return;  // not bound, or stopped already
  impl_->running = true;
  std::thread simulation([this] { impl_->Simulate(); });
  impl_->Accept();
  impl_->io.run();
  impl_->running = false;
  simulation.join();
}

void LiveServer::Stop() {
  if (impl_->stopped.exchange(true)) return;
  impl_->running = false;
  if (impl_->api) impl_->api->Close();
  asio::post(impl_->io, [impl = impl_.get()] {
    impl->CloseAll();
    impl->io.stop();
  });
}

}  // namespace viewer
