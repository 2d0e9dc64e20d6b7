// A request as Boost.Beast parsed it, made the handler's Request.
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include "viewer/http_message.h"

namespace viewer {

using ParsedRequest = boost::beast::http::request<boost::beast::http::string_body>;

// Moves the body out of `parsed`.
Request FromParsed(ParsedRequest& parsed);

}  // namespace viewer
