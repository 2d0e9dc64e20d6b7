// A request as the live panel's handler sees it and the answer it gives,
// apart from how either travels: the server fills a Request from what its
// HTTP parser read and sends the Answer back.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace viewer {

// Header names compare without regard to letter case.
struct NameLess {
  bool operator()(std::string_view a, std::string_view b) const;
  using is_transparent = void;
};
using Headers = std::multimap<std::string, std::string, NameLess>;

struct Request {
  std::string method;  // "GET", "POST", ... as sent
  std::string path;    // the target before its '?', percent-decoded
  std::multimap<std::string, std::string> params;  // the query, decoded
  Headers headers;
  std::string body;

  bool has_header(std::string_view name) const { return headers.find(name) != headers.end(); }
  // The first header of that name; "" if there is none.
  std::string header(std::string_view name) const;
  bool has_param(const std::string& name) const { return params.count(name) != 0; }
  // The first query parameter of that name; "" if there is none.
  std::string param(const std::string& name) const;
};

// An event stream the handler opened; what it says next is pulled from the
// LiveApi (viewer/live_api.h).
struct EventCursor;
using EventStream = std::shared_ptr<EventCursor>;

struct Answer {
  int status = 200;
  Headers headers;
  std::string body;
  std::string content_type;
  // Set for an event stream: the answer's head goes out, then each message
  // of the stream as it comes.
  EventStream stream;

  void set_content(std::string content, std::string type) {
    body = std::move(content);
    content_type = std::move(type);
  }
  void set_header(std::string name, std::string value) {
    headers.emplace(std::move(name), std::move(value));
  }
};

// %XX decoded (a malformed escape is kept as it is); with `plus_is_space`,
// as in a query, '+' is a space.
std::string PercentDecoded(std::string_view text, bool plus_is_space);

// A request's target ("/path?name=value&...") into `path` and `params`.
void SplitTarget(std::string_view target, Request* request);

}  // namespace viewer
