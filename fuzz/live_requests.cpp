// The live panel's request handler fed requests made from the input, without
// sockets: the first line is the method and the target ("GET
// /api/gauge/orlahyd.png?scale=2"; "TICK" runs one update instead), then
// headers ("Host: 127.0.0.1:8018", as the API listens there) up to an empty
// line, then the body. Every answer must be one the interface names, with a
// reason for each refusal; an event stream must give its first message, and
// none is opened for a request a browser says another origin's page made.
#include <httplib.h>

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <string_view>

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

void Fail(const httplib::Request& req, const httplib::Response& res, const char* what) {
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
  httplib::Request req;
  const size_t space = first.find(' ');
  req.method = std::string(first.substr(0, space));
  const std::string_view target =
      space == std::string_view::npos ? std::string_view() : first.substr(space + 1);
  const size_t question = target.find('?');
  req.path = std::string(target.substr(0, question));
  if (question != std::string_view::npos) {
    std::string_view query = target.substr(question + 1);
    while (!query.empty()) {
      const size_t amp = query.find('&');
      const std::string_view pair = query.substr(0, amp);
      const size_t equals = pair.find('=');
      req.params.emplace(std::string(pair.substr(0, equals)),
                         equals == std::string_view::npos ? "" : std::string(pair.substr(equals + 1)));
      query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
    }
  }
  for (std::string_view header = Line(&rest); !header.empty(); header = Line(&rest)) {
    const size_t colon = header.find(':');
    std::string_view value =
        colon == std::string_view::npos ? std::string_view() : header.substr(colon + 1);
    while (value.starts_with(' ')) value.remove_prefix(1);
    req.headers.emplace(std::string(header.substr(0, colon)), std::string(value));
  }
  req.body = std::string(rest);

  httplib::Response res;
  api.Handle(req, res);
  switch (res.status == -1 ? 200 : res.status) {  // -1: left for the server to make 200
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
  if (res.content_provider_) {
    if (req.has_header("Sec-Fetch-Site")) {
      std::string site = req.get_header_value("Sec-Fetch-Site");
      for (char& c : site) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (site != "same-origin" && site != "none") {
        Fail(req, res, "another origin's page got an event stream");
      }
    }
    std::string sent;
    httplib::DataSink sink;
    sink.write = [&sent](const char* bytes, size_t length) {
      sent.append(bytes, length);
      return true;
    };
    sink.is_writable = [] { return true; };
    sink.done = [] {};
    if (!res.content_provider_(0, 0, sink) || sent.find("data: {") == std::string::npos) {
      Fail(req, res, "the event stream gave no first message");
    }
  }
  return 0;
}
