#include "viewer/http_adaptor.h"

namespace viewer {

Request FromParsed(ParsedRequest& parsed) {
  Request request;
  request.method = std::string(parsed.method_string());
  SplitTarget(parsed.target(), &request);
  for (const auto& field : parsed) {
    request.headers.emplace(std::string(field.name_string()), std::string(field.value()));
  }
  request.body = std::move(parsed.body());
  return request;
}

}  // namespace viewer
