// The live panel's request parsing and handler fed requests made from the
// input, without sockets: the first line is the method and the target ("GET
// /api/gauge/orlahyd.png?scale=2"; "TICK" runs one update instead), then
// headers ("Host: 127.0.0.1:8018", as the API listens there) up to an empty
// line, then the body. Each is read by the server's HTTP parser (what it
// refuses ends there) and made the handler's request as the server makes
// it. Every answer must be one the interface names, with a
// reason for each refusal; an event stream must give its first message, and
// none is opened for a request a browser says another origin's page made.
#include <boost/beast/http/parser.hpp>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <string_view>

#include "viewer/http_adaptor.h"
#include "viewer/live_api.h"

namespace {

viewer::LiveApi& Api() {
  static bench::Panel* const panel = [] {
    auto* opened = new bench::Panel;  // lives as long as the fuzzer
    std::string error;
    if (!opened->Open(bench::DefaultPanelOptions(), {}, &error)) {
      std::fprintf(stderr, "fuzz_live_requests: %s\n", error.c_str());
      std::abort();
    }
    return opened;
  }();
  static auto* const api =
      new viewer::LiveApi(*panel, std::filesystem::path(SOURCE_DIR) / "viewer" / "web", 18.0,
                          viewer::Listening{"127.0.0.1", 8018});
  return *api;
}

std::string_view Line(std::string_view* rest) {
  const size_t end = rest->find('\n');
  const std::string_view line = rest->substr(0, end);
  rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
  return line;
}

void Fail(const viewer::Request& req, const viewer::Answer& res, const char* what) {
  std::fprintf(stderr, "%s %s: %s (status %d, body %.200s)\n", req.method.c_str(),
               req.path.c_str(), what, res.status, res.body.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  viewer::LiveApi& api = Api();
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view first = Line(&rest);
  if (first == "TICK") {
    api.Update();
    return 0;
  }
  // The request as it would come on the wire, read by the server's parser
  // with the server's bounds; what it refuses never reaches the handler.
  std::string wire = std::string(first) + " HTTP/1.1\r\n";
  for (std::string_view header = Line(&rest); !header.empty(); header = Line(&rest)) {
    wire += std::string(header) + "\r\n";
  }
  if (!rest.empty()) wire += "Content-Length: " + std::to_string(rest.size()) + "\r\n";
  wire += "\r\n" + std::string(rest);
  boost::beast::http::request_parser<boost::beast::http::string_body> parser;
  parser.header_limit(16 * 1024);
  parser.body_limit(64 * 1024);
  boost::beast::error_code ec;
  std::string_view unread = wire;
  while (!unread.empty() && !parser.is_done()) {
    const size_t used = parser.put(boost::asio::buffer(unread.data(), unread.size()), ec);
    if (ec || used == 0) break;
    unread.remove_prefix(used);
  }
  if (ec || !parser.is_done()) return 0;
  viewer::ParsedRequest parsed = parser.release();
  const viewer::Request req = viewer::FromParsed(parsed);

  viewer::Answer res;
  api.Handle(req, res);
  switch (res.status) {
    case 200:
    case 304:
      break;
    case 400:
    case 403:
    case 404:
    case 415:
    case 503:
      if (res.body.find("\"error\"") == std::string::npos) Fail(req, res, "a refusal without a reason");
      break;
    default:
      Fail(req, res, "an answer the interface does not give");
  }
  if (res.stream) {
    if (req.has_header("Sec-Fetch-Site")) {
      std::string site = req.header("Sec-Fetch-Site");
      for (char& c : site) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (site != "same-origin" && site != "none") {
        Fail(req, res, "another origin's page got an event stream");
      }
    }
    std::string sent;
    const viewer::StreamStep step = api.Pull(res.stream, false, &sent);
    api.EndStream(res.stream);
    if (step != viewer::StreamStep::kMessage || sent.find("data: {") == std::string::npos) {
      Fail(req, res, "the event stream gave no first message");
    }
  }
  return 0;
}
