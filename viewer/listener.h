// What a listening socket is set to before it binds, by platform
// (listener_posix.cpp, listener_win32.cpp).
#pragma once

#include <boost/asio/ip/tcp.hpp>

namespace viewer {

// A second server on the same port must fail to bind, not share it; a
// server started again right after one stopped must bind despite the old
// one's connections still closing.
void PrepareListener(boost::asio::ip::tcp::acceptor& acceptor, boost::system::error_code& ec);

}  // namespace viewer
