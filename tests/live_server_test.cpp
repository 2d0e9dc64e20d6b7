// The live panel's HTTP interface: what it answers to requests good and bad,
// that nothing outside the page's assets and the sound folder's .wav files
// can be read, that a picture is sent again only when it changed, and that a
// busy port or idle and half-sent connections get a clear answer instead of
// a shared port or a stalled page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "viewer/live_api.h"
#include "viewer/serve.h"
#include "viewer/sounds.h"

namespace {

using ::testing::HasSubstr;
using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

using Headers = viewer::Headers;

// An answer as the client read it.
struct Reply {
  int status = 0;
  std::string body;
  Headers headers;
  std::string get_header_value(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
  }
};

// A request's answer, or why there was none.
class Result {
 public:
  explicit Result(Reply reply) : reply_(std::move(reply)) {}
  explicit Result(std::string error) : error_(std::move(error)) {}
  explicit operator bool() const { return reply_.has_value(); }
  const Reply* operator->() const { return &*reply_; }
  const std::string& error() const { return error_; }

 private:
  std::optional<Reply> reply_;
  std::string error_;
};

// One request on a connection of its own, as a program would send it (with
// Host 127.0.0.1:port unless `headers` name another), waiting for the
// answer for up to 30 s.
class Client {
 public:
  explicit Client(int port) : port_(port) {}

  Result Get(const std::string& path, const Headers& headers = {}) {
    return Send(boost::beast::http::verb::get, path, headers, "", nullptr);
  }
  Result Post(const std::string& path, const Headers& headers, const std::string& body,
              const char* type) {
    return Send(boost::beast::http::verb::post, path, headers, body, type);
  }

 private:
  Result Send(boost::beast::http::verb method, const std::string& path, const Headers& headers,
              const std::string& body, const char* type) {
    namespace beast = boost::beast;
    namespace http = beast::http;
    using boost::asio::ip::tcp;
    boost::asio::io_context io;
    beast::tcp_stream stream(io);
    stream.expires_after(std::chrono::seconds(30));
    beast::error_code ec;
    stream.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"),
                                 static_cast<uint16_t>(port_)), ec);
    if (ec) return Result("cannot connect: " + ec.message());
    http::request<http::string_body> request(method, path, 11);
    request.set(http::field::host, "127.0.0.1:" + std::to_string(port_));
    for (const auto& [name, value] : headers) request.set(name, value);
    if (type != nullptr) request.set(http::field::content_type, type);
    request.body() = body;
    request.prepare_payload();
    http::write(stream, request, ec);
    if (ec) return Result("cannot send: " + ec.message());
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(64 << 20);
    http::read(stream, buffer, parser, ec);
    if (ec) return Result("no answer: " + ec.message());
    Reply reply;
    reply.status = static_cast<int>(parser.get().result_int());
    reply.body = std::move(parser.get().body());
    for (const auto& field : parser.get()) {
      reply.headers.emplace(std::string(field.name_string()), std::string(field.value()));
    }
    return Result(std::move(reply));
  }

  int port_;
};

// A connection that sends `text` (perhaps nothing) and then waits.
class RawClient {
 public:
  RawClient(int port, const std::string& text) : sock_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(sock_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 send(sock_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  ~RawClient() { close(sock_); }
  bool connected() const { return connected_; }
  // Reads until `what` arrives (at or after `from` in what was read) or
  // `seconds` pass; what was read is kept.
  bool Await(const std::string& what, int seconds = 10, size_t from = 0) {
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    timeval wait{1, 0};
    setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char buffer[4096];
    while (seen_.find(what, from) == std::string::npos) {
      if (Clock::now() > end) return false;
      const ssize_t got = recv(sock_, buffer, sizeof buffer, 0);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return false;
      if (got > 0) seen_.append(buffer, static_cast<size_t>(got));
    }
    return true;
  }
  // Sends `text` two bytes a second for as long as the server takes it; the
  // answer it got, or "" if none came within `seconds`.
  std::string Trickle(const std::string& text, int seconds) {
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    timeval wait{0, 500000};
    setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char buffer[4096];
    for (size_t i = 0; Clock::now() < end; ++i) {
      if (i < text.size()) send(sock_, &text[i], 1, MSG_NOSIGNAL);
      const ssize_t got = recv(sock_, buffer, sizeof buffer, 0);
      if (got > 0) return std::string(buffer, static_cast<size_t>(got));
      if (got == 0) return "closed without an answer";
    }
    return "";
  }
  const std::string& seen() const { return seen_; }
  // Whether the server sent anything (or closed) yet; does not wait.
  bool Answered() {
    char byte;
    const ssize_t got = recv(sock_, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
    return got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
  }
  int sock() const { return sock_; }

 private:
  int sock_;
  bool connected_ = false;
  std::string seen_;
};

// Connections that each send `text` a byte every quarter second, as long as
// they are kept: their first bytes are sent when it is made.
class SlowCrowd {
 public:
  SlowCrowd(int port, int size, std::string text) : text_(std::move(text)) {
    for (int i = 0; i < size; ++i) clients_.push_back(std::make_unique<RawClient>(port, ""));
    SendNext();
    sender_ = std::thread([this] {
      while (!done_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        SendNext();
      }
    });
  }
  ~SlowCrowd() {
    done_ = true;
    sender_.join();
  }
  // Why the crowd is not all connected and sending; "" if it is.
  std::string Trouble() {
    for (size_t i = 0; i < clients_.size(); ++i) {
      if (!clients_[i]->connected()) return "slow client " + std::to_string(i) + " did not connect";
    }
    return {};
  }
  // How many of them the server answered (or closed) so far.
  int Answered() {
    int answered = 0;
    for (auto& client : clients_) answered += client->Answered() ? 1 : 0;
    return answered;
  }

 private:
  void SendNext() {
    if (sent_ >= text_.size()) return;
    for (auto& client : clients_) send(client->sock(), &text_[sent_], 1, MSG_NOSIGNAL);
    ++sent_;
  }

  std::string text_;
  std::vector<std::unique_ptr<RawClient>> clients_;
  size_t sent_ = 0;
  std::atomic<bool> done_{false};
  std::thread sender_;
};

// Each row: an address and whether only this machine can reach it (what
// decides the network warning and which Host names the server answers).
TEST(LoopbackAddress, IsThisMachineOnly) {
  const struct {
    const char* address;
    bool loopback;
  } rows[] = {
      {"127.0.0.1", true},         {"127.1.2.3", true},         {"127.255.255.255", true},
      {"::1", true},               {"::ffff:127.0.0.1", true},  {"::ffff:127.1.2.3", true},
      {"::FFFF:7f00:1", true},     {"localhost", true},         {"LocalHost", true},
      {"10.0.0.1", false},         {"128.0.0.1", false},        {"::ffff:10.0.0.1", false},
      {"::ffff:7e00:1", false},    {"::2", false},              {"0.0.0.0", false},
      {"::", false},               {"", false},                 {"localhost.example", false},
      {"127.0.0.1:8018", false},   {"[::1]", false},            {"not an address", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(viewer::IsLoopbackAddress(row.address), row.loopback)
        << "'" << row.address << "': expected " << (row.loopback ? "loopback" : "not loopback");
  }
}

// Each row: the name a gauge gave its sound, and the address the page gets
// it at ("" for none: not a .wav directly in the sound folder).
TEST(SoundAddress, IsThatOfAWavInTheSoundFolder) {
  const struct {
    const char* played;
    const char* address;
  } rows[] = {
      {"sound\\orlaclick.wav", "/sound/orlaclick.wav"},
      {"Sound/VornQexClick.WAV", "/sound/VornQexClick.WAV"},
      {"sound\\key click#2.wav", "/sound/key%20click%232.wav"},
      {"sound\\..\\secret.wav", ""},   {"sound\\sub\\click.wav", ""},
      {"gauges\\click.wav", ""},       {"sound\\click.mp3", ""},
      {"orlaclick.wav", ""},            {"\\sound\\orlaclick.wav", ""},
      {"C:\\sound\\orlaclick.wav", ""}, {"sound\\.wav", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(viewer::SoundAddress(row.played), row.address) << "'" << row.played << "'";
  }
}

class LiveServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    // The simulator folder is the test's own: the bench's clicks in its
    // sound folder, with what the sound route must refuse beside them.
    namespace fs = std::filesystem;
    fs::remove_all(simulator_);
    fs::create_directories(simulator_ / "sound" / "folder.wav");
    for (const char* click : {"orlaclick.wav", "vornqexclick.wav"}) {
      fs::copy_file(fs::path(SOURCE_DIR) / "sound" / click, simulator_ / "sound" / click);
    }
    std::ofstream(simulator_ / "secret.wav") << "RIFF outside the sound folder";
    std::ofstream(simulator_ / "sound" / "notes.txt") << "not a sound";
    fs::create_symlink("../secret.wav", simulator_ / "sound" / "out.wav");
    std::ofstream(simulator_ / "sound" / "large.wav").close();
    fs::resize_file(simulator_ / "sound" / "large.wav", viewer::kLargestSound + 1);
    bench::PanelOptions panel_options = bench::DefaultPanelOptions();
    panel_options.sound_root = simulator_;
    ASSERT_TRUE(panel_.Open(panel_options, {}, &error)) << error;
    options_.port = 0;
    options_.web_dir = viewer::DefaultWebDir();
    server_ = std::make_unique<viewer::LiveServer>(panel_);
    ASSERT_TRUE(server_->Bind(options_, &error)) << error;
    thread_ = std::thread([this] { server_->Run(); });
    client_ = std::make_unique<Client>(server_->port());
  }
  void TearDown() override {
    if (server_) server_->Stop();
    if (thread_.joinable()) thread_.join();
    std::error_code ec;
    std::filesystem::remove_all(simulator_, ec);
  }

  Result Post(const std::string& path, const std::string& body, const Headers& headers = {},
                       const char* type = "application/json") {
    return client_->Post(path, headers, body, type);
  }

  const std::filesystem::path simulator_ =
      std::filesystem::temp_directory_path() / ("live_server_test-" + std::to_string(getpid()));
  bench::Panel panel_;
  viewer::ServerOptions options_;
  std::unique_ptr<viewer::LiveServer> server_;
  std::thread thread_;
  std::unique_ptr<Client> client_;
};

TEST_F(LiveServerTest, ServesThePageAndItsAssetsOnly) {
  auto page = client_->Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_THAT(page->body, HasSubstr("Business-jet panel"));
  for (const char* path : {"/app.js", "/style.css"}) {
    auto asset = client_->Get(path);
    ASSERT_TRUE(asset) << path;
    EXPECT_EQ(asset->status, 200) << path;
  }
  for (const char* path : {"/index.html/../../CMakeLists.txt", "/../CMakeLists.txt",
                           "/%2e%2e/CMakeLists.txt", "/viewer/web/app.js", "/etc/passwd",
                           "/api/gauge/../../x.png", "/api/nothing"}) {
    auto res = client_->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 404) << path;
    EXPECT_THAT(res->body, ::testing::Not(HasSubstr("cmake_minimum_required"))) << path;
  }
}

// Each row: a request or a situation, the status it gets and a fragment of
// its answer (for a refused Bind, status 0 and a fragment of the reason).
TEST_F(LiveServerTest, AnswersEveryRequestWithTheRightStatusAndReason) {
  struct Outcome {
    int status = -1;
    std::string text;
  };
  auto get = [this](const std::string& path, const Headers& headers = {}) {
    auto res = client_->Get(path, headers);
    return res ? Outcome{res->status, res->body + " " + res->get_header_value("ETag")}
               : Outcome{-1, "no answer: " + res.error()};
  };
  auto post = [this](const std::string& path, const std::string& body,
                     const Headers& headers = {}, const char* type = "application/json") {
    auto res = Post(path, body, headers, type);
    return res ? Outcome{res->status, res->body} : Outcome{-1, "no answer"};
  };
  const std::string own = "127.0.0.1:" + std::to_string(server_->port());
  const std::string battery_on = R"({"name":"battery","value":true})";
  // What a page of another site can send without asking first: a form's
  // POST or a plain fetch() of text.
  auto battery_after = [&](const Outcome& outcome) {
    return panel_.aircraft().battery() ? Outcome{-2, "it turned the battery on: " + outcome.text}
                                       : outcome;
  };
  auto bind = [this](const std::string& address, int port) {
    viewer::ServerOptions options = options_;
    options.address = address;
    options.port = port;
    viewer::LiveServer second(panel_);
    std::string error;
    return second.Bind(options, &error) ? Outcome{1, "bound"} : Outcome{0, error};
  };
  // The page's own request while `count` connections sit idle or half-sent.
  auto crowded = [&](int count, const std::string& sent) {
    std::vector<std::unique_ptr<RawClient>> crowd;
    for (int i = 0; i < count; ++i) {
      crowd.push_back(std::make_unique<RawClient>(server_->port(), sent));
      if (!crowd.back()->connected()) return Outcome{-1, "connection " + std::to_string(i) + " failed"};
    }
    return get("/api/state");
  };
  // The page's own request while `count` clients send theirs a byte every
  // quarter second: answered while every one of those is still being read
  // (none cut off yet, which frees whatever it held).
  auto among_slow = [&](int count) {
    SlowCrowd crowd(server_->port(), count,
                    "GET /api/state HTTP/1.1\r\nHost: " + own + "\r\nX-Slow: " + std::string(200, 'a'));
    if (const std::string trouble = crowd.Trouble(); !trouble.empty()) return Outcome{-1, trouble};
    Outcome outcome = get("/api/state");
    if (const int answered = crowd.Answered(); answered > 0) {
      return Outcome{-3, std::to_string(answered) + " slow clients were cut off before the page's "
                         "request was answered: " + outcome.text};
    }
    return outcome;
  };
  auto etag = [&](const std::string& path) {
    auto res = client_->Get(path);
    return res ? res->get_header_value("ETag") : std::string();
  };
  const std::string radio = "/api/gauge/VORN_Kestrel_FMC.png?scale=2";
  // A sound as the page plays it: the start of the file and how it is sent.
  auto sound = [this](const std::string& path, const Headers& headers = {}) {
    auto res = client_->Get(path, headers);
    return res ? Outcome{res->status, res->body.substr(0, 4) + " " +
                                          res->get_header_value("Content-Type") + " " +
                                          res->get_header_value("Cache-Control") + " " +
                                          res->get_header_value("ETag")}
               : Outcome{-1, "no answer: " + res.error()};
  };
  const std::string radio_press = R"({"gauge":"VORN_Kestrel_FMC","x":360,"y":66})";
  const int port = server_->port();
  const std::string in_use = "port " + std::to_string(port) + " is in use";

  struct Row {
    const char* what;
    std::function<Outcome()> run;
    int status;
    std::string fragment;
  };
  const std::string stream_request = "GET /api/events HTTP/1.1\r\nHost: " + own + "\r\n\r\n";
  // An event stream asked for with these headers: its status, and its
  // first message or the refusal's reason.
  auto stream = [&](const Headers& headers) {
    std::string request = "GET /api/events HTTP/1.1\r\nHost: " + own + "\r\n";
    for (const auto& [name, value] : headers) request += name + ": " + value + "\r\n";
    RawClient client(port, request + "\r\n");
    if (!client.Await("\r\n\r\n")) return Outcome{-1, "no answer: " + client.seen()};
    const int status = std::atoi(client.seen().substr(9, 3).c_str());
    client.Await(status == 200 ? "data: {" : "\"}");
    return Outcome{status, client.seen()};
  };
  // What a browser says of a request's page (Sec-Fetch-Site) and what the
  // request is for (Sec-Fetch-Mode, Sec-Fetch-Dest).
  auto fetched = [](const char* site, const char* mode, const char* dest) {
    return Headers{
        {"Sec-Fetch-Site", site}, {"Sec-Fetch-Mode", mode}, {"Sec-Fetch-Dest", dest}};
  };
  const Row rows[] = {
      {"control: text/plain from another site",
       [&] {
         return battery_after(post("/api/control", battery_on, {{"Origin", "http://evil.example"}},
                                   "text/plain"));
       },
       403, "another site's page are refused (this one came from 'http://evil.example')"},
      {"control: text/plain without an Origin",
       [&] { return battery_after(post("/api/control", battery_on, {}, "text/plain")); }, 415,
       "Content-Type application/json (this one was 'text/plain')"},
      {"click: a form's POST",
       [&] {
         return post("/api/click", "gauge=orlaaudio&x=1&y=2", {},
                     "application/x-www-form-urlencoded");
       },
       415, "application/json"},
      {"control: JSON from another site's page",
       [&] {
         return battery_after(post("/api/control", battery_on, {{"Origin", "http://evil.example"}}));
       },
       403, "another site's page are refused (this one came from 'http://evil.example')"},
      {"control: JSON from the same host on another port",
       [&] {
         return battery_after(post("/api/control", battery_on, {{"Origin", "http://127.0.0.1:1"}}));
       },
       403, "another site's page"},
      {"control: JSON from a page opened as a file",
       [&] { return battery_after(post("/api/control", battery_on, {{"Origin", "null"}})); }, 403,
       "'null'"},
      {"state: addressed to another name (DNS rebinding)",
       [&] { return get("/api/state", {{"Host", "rebound.example:" + std::to_string(port)}}); }, 403,
       "this panel answers only as http://127.0.0.1:" + std::to_string(port) + "/"},
      {"state: addressed to the right name on another port",
       [&] { return get("/api/state", {{"Host", "127.0.0.1:1"}}); }, 403, "answers only as"},
      {"state: addressed to localhost",
       [&] { return get("/api/state", {{"Host", "localhost:" + std::to_string(port)}}); }, 200,
       "\"shows\""},
      {"events: from another site's page",
       [&] { return get("/api/events", {{"Origin", "http://evil.example"}}); }, 403,
       "another site's page"},
      {"control: JSON from the page itself",
       [&] {
         return post("/api/control", R"({"name":"ambient","value":"day"})",
                     {{"Origin", "http://" + own}}, "application/json; charset=utf-8");
       },
       200, "\"ambient\":\"day\""},
      {"control: the page's own fetch(), as a browser sends it",
       [&] {
         Headers headers = fetched("same-origin", "cors", "empty");
         headers.emplace("Origin", "http://" + own);
         return post("/api/control", R"({"name":"ambient","value":"day"})", headers);
       },
       200, "\"ambient\":\"day\""},
      {"events: the page's own", [&] { return stream(fetched("same-origin", "cors", "empty")); },
       200, "data: {"},
      {"events: typed into the address bar",
       [&] { return stream(fetched("none", "navigate", "document")); }, 200, "data: {"},
      {"events: a program's, which says nothing of a page", [&] { return stream({}); }, 200,
       "data: {"},
      {"events: an image on another site's page",
       [&] { return stream(fetched("cross-site", "no-cors", "image")); }, 403,
       "a page of another origin are refused (this one: Sec-Fetch-Site 'cross-site', "
       "Sec-Fetch-Dest 'image'); the panel's own page is http://" + own + "/"},
      {"events: an image on a page of another port of this machine",
       [&] { return stream(fetched("same-site", "no-cors", "image")); }, 403,
       "Sec-Fetch-Site 'same-site', Sec-Fetch-Dest 'image'"},
      {"events: another site's script tag",
       [&] { return stream(fetched("cross-site", "no-cors", "script")); }, 403,
       "Sec-Fetch-Dest 'script'"},
      {"events: a link on another site's page, followed",
       [&] { return stream(fetched("cross-site", "navigate", "document")); }, 403,
       "Sec-Fetch-Site 'cross-site', Sec-Fetch-Dest 'document'"},
      {"events: a Sec-Fetch-Site no browser sends",
       [&] { return stream({{"Sec-Fetch-Site", "sideways"}}); }, 403, "Sec-Fetch-Site 'sideways'"},
      {"events: refused requests take no stream's place",
       [&] {
         std::vector<std::unique_ptr<RawClient>> streams;
         for (int i = 0; i < viewer::kMaxEventStreams; ++i) {
           streams.push_back(std::make_unique<RawClient>(port, stream_request));
           if (!streams.back()->Await("data: {")) return Outcome{-1, "a stream gave no first message"};
         }
         for (int i = 0; i < viewer::kMaxEventStreams; ++i) {
           const Outcome refused = stream(fetched("cross-site", "no-cors", "image"));
           if (refused.status != 403) return Outcome{-1, "taken: " + refused.text.substr(0, 200)};
         }
         // Each goes on: its next message (at least one a second) and no
         // "replaced" before it.
         for (size_t i = 0; i < streams.size(); ++i) {
           RawClient& open = *streams[i];
           const size_t from = open.seen().size();
           if (!open.Await("data: {", 30, from) ||
               open.seen().find("event: replaced") != std::string::npos) {
             return Outcome{-1, "stream " + std::to_string(i) + " ended: " + open.seen().substr(from)};
           }
         }
         return Outcome{200, "every stream went on"};
       },
       200, "every stream went on"},
      {"page: a link on another site's page, followed",
       [&] { return get("/", fetched("cross-site", "navigate", "document")); }, 200,
       "Business-jet panel"},
      {"page: in a frame of another site's page",
       [&] { return get("/", fetched("cross-site", "navigate", "iframe")); }, 403,
       "Sec-Fetch-Dest 'iframe'"},
      {"page: in a frame of a page of another port of this machine",
       [&] { return get("/", fetched("same-site", "navigate", "iframe")); }, 403,
       "Sec-Fetch-Site 'same-site'"},
      {"page: no browser frames it",
       [&] {
         auto res = client_->Get("/");
         return res ? Outcome{res->status, res->get_header_value("Content-Security-Policy") + " " +
                                               res->get_header_value("X-Frame-Options")}
                    : Outcome{-1, "no answer"};
       },
       200, "frame-ancestors 'none' DENY"},
      {"picture: an image on another site's page",
       [&] { return get("/api/gauge/orlahyd.png", fetched("cross-site", "no-cors", "image")); }, 403,
       "a page of another origin"},
      {"state: another site's fetch() without CORS",
       [&] { return get("/api/state", fetched("cross-site", "no-cors", "empty")); }, 403,
       "a page of another origin"},
      {"a request sent two bytes a second",
       [&] {
         RawClient slow(port, "");
         const std::string answer = slow.Trickle(
             "GET /api/state HTTP/1.1\r\nHost: " + own + "\r\nX-Slow: " + std::string(200, 'a'), 60);
         return Outcome{answer.empty() ? -1 : std::atoi(answer.substr(9, 3).c_str()), answer};
       },
       408, "arrived too slowly"},
      {"click: not JSON", [&] { return post("/api/click", "not json"); }, 400, "not a JSON object"},
      {"click: an array", [&] { return post("/api/click", "[1,2]"); }, 400, "not a JSON object"},
      {"click: no x, y", [&] { return post("/api/click", R"({"gauge":"orlaaudio"})"); }, 400, "needs"},
      {"click: x as text", [&] { return post("/api/click", R"({"gauge":"orlaaudio","x":"1","y":2})"); },
       400, "needs"},
      {"click: x = 2^64 - 1",
       [&] { return post("/api/click", R"({"gauge":"orlaaudio","x":18446744073709551615,"y":2})"); },
       400, "from -32767 to 32767"},
      {"click: y far below",
       [&] { return post("/api/click", R"({"gauge":"orlaaudio","x":1,"y":-2147483649})"); }, 400,
       "from -32767 to 32767"},
      {"click: no such gauge", [&] { return post("/api/click", R"({"gauge":"nope","x":1,"y":2})"); },
       404, "no gauge named 'nope'"},
      {"click: unknown event",
       [&] { return post("/api/click", R"({"gauge":"orlaaudio","x":1,"y":2,"event":"drag"})"); }, 400,
       "'event'"},
      {"control: unknown", [&] { return post("/api/control", R"({"name":"flaps","value":true})"); },
       400, "no control named 'flaps'"},
      {"control: not a flag", [&] { return post("/api/control", R"({"name":"battery","value":"yes"})"); },
       400, "true or false"},
      {"control: bad ambient", [&] { return post("/api/control", R"({"name":"ambient","value":"noon"})"); },
       400, "'ambient'"},
      {"control: no name", [&] { return post("/api/control", R"({"value":true})"); }, 400, "needs"},
      {"control: a body too large", [&] { return post("/api/control", std::string(100000, ' ')); },
       413, "too large"},
      {"picture: scale 0", [&] { return get("/api/gauge/orlahyd.png?scale=0"); }, 400,
       "'scale' must be a whole number from 1 to 4"},
      {"picture: scale 9", [&] { return get("/api/gauge/orlahyd.png?scale=9"); }, 400, "from 1 to 4"},
      {"picture: scale past 64 bits", [&] { return get("/api/gauge/orlahyd.png?scale=99999999999999999999"); },
       400, "from 1 to 4"},
      {"picture: scale x", [&] { return get("/api/gauge/orlahyd.png?scale=x"); }, 400, "from 1 to 4"},
      {"picture: no such gauge", [&] { return get("/api/gauge/nope.png"); }, 404, "no gauge named 'nope'"},
      {"picture: scale 2 with the areas", [&] { return get("/api/gauge/orlahyd.png?scale=2&overlay=1"); },
       200, "PNG"},
      {"picture: unchanged since its ETag", [&] { return get(radio, {{"If-None-Match", etag(radio)}}); },
       304, ""},
      {"picture: sent again once power changed it",
       [&] {
         const std::string before = etag(radio);
         post("/api/control", R"({"name":"battery","value":true})");
         post("/api/control", R"({"name":"avionics","value":true})");
         const auto end = Clock::now() + std::chrono::seconds(10);
         while (Clock::now() < end && etag(radio) == before) {
           std::this_thread::sleep_for(std::chrono::milliseconds(20));
         }
         return get(radio, {{"If-None-Match", before}});
       },
       200, "PNG"},
      {"click: its sound's entry names where the page gets it",
       [&] {
         const Outcome sent = post("/api/click", radio_press);
         const json reply = json::parse(sent.text, nullptr, false);
         if (sent.status != 200 || !reply.contains("entries")) return sent;
         for (const json& entry : reply["entries"]) {
           if (entry["kind"] == "click") {
             return Outcome{200, entry["file"].get<std::string>() + " at " + entry["sound"].dump()};
           }
         }
         return Outcome{-1, "no click: " + sent.text};
       },
       200, "sound\\vornqexclick.wav at \"/sound/vornqexclick.wav\""},
      {"events: a press's sound, with where the page gets it",
       [&] {
         RawClient events(port, stream_request);
         if (!events.Await("data: {")) return Outcome{-1, "no first message"};
         const size_t from = events.seen().size();
         post("/api/click", radio_press);
         return events.Await("\"sound\":\"/sound/", 10, from)
                    ? Outcome{200, events.seen().substr(from)}
                    : Outcome{-1, events.seen().substr(from)};
       },
       200, R"("sound":"/sound/vornqexclick.wav")"},
      {"sound: a click", [&] { return sound("/sound/vornqexclick.wav"); }, 200,
       "RIFF audio/wav no-cache \""},
      {"sound: in another letter case, found as the simulator's file system finds it",
       [&] { return sound("/sound/OrlaClick.WAV"); }, 200, "RIFF audio/wav"},
      {"sound: unchanged since its ETag",
       [&] {
         auto first = client_->Get("/sound/orlaclick.wav");
         if (!first) return Outcome{-1, "no answer"};
         return sound("/sound/orlaclick.wav", {{"If-None-Match", first->get_header_value("ETag")}});
       },
       304, ""},
      {"sound: the page's own, as a browser asks for it",
       [&] {
         Headers headers = fetched("same-origin", "no-cors", "audio");
         headers.emplace("Referer", "http://" + own + "/");
         return sound("/sound/orlaclick.wav", headers);
       },
       200, "RIFF audio/wav"},
      {"sound: missing", [&] { return get("/sound/nothing.wav"); }, 404,
       "no sound file 'nothing.wav' in the sound folder"},
      {"sound: '..'", [&] { return get("/sound/../secret.wav"); }, 400,
       "without '/', '\\\\', ':' or a leading '.' (asked for '../secret.wav')"},
      {"sound: '..' encoded", [&] { return get("/sound/%2e%2e%2fsecret.wav"); }, 400,
       "(asked for '../secret.wav')"},
      {"sound: '..' with backslashes", [&] { return get("/sound/..\\secret.wav"); }, 400,
       "a sound is asked for by the name of a file in the sound folder"},
      {"sound: '..' with encoded backslashes", [&] { return get("/sound/%2E%2E%5Csecret.wav"); },
       400, "a sound is asked for by the name of a file in the sound folder"},
      {"sound: an absolute name", [&] { return get("/sound//tmp/secret.wav"); }, 400,
       "a sound is asked for by the name of a file in the sound folder"},
      {"sound: a drive", [&] { return get("/sound/C:secret.wav"); }, 400,
       "a sound is asked for by the name of a file in the sound folder"},
      {"sound: not a .wav", [&] { return get("/sound/notes.txt"); }, 404,
       "only .wav files are served from the sound folder (asked for 'notes.txt')"},
      {"sound: a folder", [&] { return get("/sound/folder.wav"); }, 404,
       "no sound file 'folder.wav' in the sound folder"},
      {"sound: a link that leads out of the sound folder", [&] { return get("/sound/out.wav"); },
       403, "'out.wav' is a link that leads out of the sound folder"},
      {"sound: too large", [&] { return get("/sound/large.wav"); }, 403,
       "larger than any sound file (at most " + std::to_string(viewer::kLargestSound) + ")"},
      {"sound: addressed to another name (DNS rebinding)",
       [&] { return get("/sound/orlaclick.wav", {{"Host", "rebound.example:" + std::to_string(port)}}); },
       403, "this panel answers only as"},
      {"sound: from another site's page",
       [&] { return get("/sound/orlaclick.wav", {{"Origin", "http://evil.example"}}); }, 403,
       "another site's page are refused"},
      {"sound: an audio element on another site's page",
       [&] { return get("/sound/orlaclick.wav", fetched("cross-site", "no-cors", "audio")); }, 403,
       "Sec-Fetch-Site 'cross-site', Sec-Fetch-Dest 'audio'"},
      {"sound: an audio element on a page of another port of this machine",
       [&] { return get("/sound/orlaclick.wav", fetched("same-site", "no-cors", "audio")); }, 403,
       "Sec-Fetch-Site 'same-site', Sec-Fetch-Dest 'audio'"},
      {"log: what is left of entries the log no longer holds, and how many it dropped",
       [&] {
         // Each press of a key sends its key event and its click.
         const std::string press = R"({"gauge":"VORN_Kestrel_FMC","x":360,"y":66})";
         for (size_t i = 0; i < host::Log::kCapacity / 2 + 10; ++i) {
           if (auto res = Post("/api/click", press); !res || res->status != 200) {
             return Outcome{-1, "click " + std::to_string(i) + " failed"};
           }
         }
         auto res = client_->Get("/api/log?since=1");
         if (!res) return Outcome{-1, "no answer"};
         const json log = json::parse(res->body);
         const uint64_t dropped = log["dropped"].get<uint64_t>();
         const uint64_t first = log["entries"].empty() ? 0 : log["entries"][0]["seq"].get<uint64_t>();
         return Outcome{res->status, dropped > 0 && first == 1 + dropped + 1
                                         ? "dropped counted"
                                         : "dropped " + std::to_string(dropped) + ", first entry " +
                                               std::to_string(first)};
       },
       200, "dropped counted"},
      {"log: since -1", [&] { return get("/api/log?since=-1"); }, 400, "'since' must be a whole number"},
      {"log: since past 64 bits", [&] { return get("/api/log?since=18446744073709551616"); }, 400,
       "'since'"},
      {"events: one more than allowed ends the oldest, which is told why",
       [&] {
         std::vector<std::unique_ptr<RawClient>> streams;
         for (int i = 0; i <= viewer::kMaxEventStreams; ++i) {
           streams.push_back(std::make_unique<RawClient>(port, stream_request));
           if (!streams.back()->Await("data: {")) return Outcome{-1, "a stream gave no first message"};
         }
         if (!streams.front()->Await("event: replaced")) return Outcome{-1, "the oldest went on"};
         return Outcome{200, streams.front()->seen()};
       },
       200, "another page now follows this panel"},
      {"events: the page's stream while as many as allowed have stopped reading",
       [&] {
         std::vector<std::unique_ptr<RawClient>> stalled;
         for (int i = 0; i < viewer::kMaxEventStreams; ++i) {
           stalled.push_back(std::make_unique<RawClient>(port, stream_request));
           // Its first message, and then it reads no more.
           if (!stalled.back()->Await("data: {")) return Outcome{-1, "a stream gave no first message"};
         }
         RawClient page(port, stream_request);
         return page.Await("\"versions\"", 60) ? Outcome{200, page.seen()}
                                                      : Outcome{-1, page.seen()};
       },
       200, "200 OK"},
      {"bind: the same port again", [&] { return bind("127.0.0.1", port); }, 0, in_use},
      {"bind: an address that is not one",
       [&] { return bind("999.1.1.1", 0); }, 0, "cannot resolve the address '999.1.1.1'"},
      {"40 idle connections, then the page's request", [&] { return crowded(40, ""); }, 200,
       "\"shows\""},
      {"40 half-sent request lines, then the page's request",
       [&] { return crowded(40, "GET /api/sta"); }, 200, "\"shows\""},
      {"more half-sent request lines than the server holds open, then the page's request",
       [&] { return crowded(400, "GET /api/sta"); }, 200, "\"shows\""},
      {"100 clients sending a byte every quarter second, then the page's request",
       [&] { return among_slow(100); }, 200, "\"shows\""},
  };
  for (const Row& row : rows) {
    const Outcome outcome = row.run();
    EXPECT_EQ(outcome.status, row.status) << row.what << ": " << outcome.text.substr(0, 300);
    EXPECT_THAT(outcome.text, HasSubstr(row.fragment)) << row.what;
  }
}

TEST_F(LiveServerTest, AClickReachesTheGaugeAndComesBackInTheLog) {
  auto res = Post("/api/click", R"({"gauge":"VORN_Kestrel_FMC","x":360,"y":66})");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200) << res->body;
  const json reply = json::parse(res->body);
  EXPECT_TRUE(reply["hit"].get<bool>());
  ASSERT_GE(reply["entries"].size(), 2u);
  EXPECT_EQ(reply["entries"][0]["id"], "0x1038C");
  // The page styles each entry by its kind.
  EXPECT_EQ(reply["entries"][0]["kind"], "key");
  EXPECT_EQ(reply["entries"][1]["kind"], "click");
  auto miss = Post("/api/click", R"({"gauge":"orlahyd","x":10,"y":10})");
  ASSERT_TRUE(miss);
  EXPECT_FALSE(json::parse(miss->body)["hit"].get<bool>());
}

TEST_F(LiveServerTest, ControlsChangeTheAircraft) {
  auto res = Post("/api/control", R"({"name":"battery","value":true})");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200) << res->body;
  EXPECT_TRUE(json::parse(res->body)["battery"].get<bool>());
  EXPECT_TRUE(panel_.aircraft().battery());
  auto picture = client_->Get("/api/gauge/orlahyd.png?scale=2&overlay=1");
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 200);
  EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(picture->body.substr(1, 3), "PNG");
}

}  // namespace
