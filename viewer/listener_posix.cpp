#include "viewer/listener.h"

namespace viewer {

// SO_REUSEADDR alone lets the port be bound again while closed connections
// linger in TIME_WAIT, and never lets two servers listen on it (which
// SO_REUSEPORT would).
void PrepareListener(boost::asio::ip::tcp::acceptor& acceptor, boost::system::error_code& ec) {
  acceptor.set_option(boost::asio::socket_base::reuse_address(true), ec);
}

}  // namespace viewer
