#include <winsock2.h>

#include "viewer/listener.h"

namespace viewer {
namespace {

// SO_EXCLUSIVEADDRUSE as Asio sets a socket option.
class ExclusiveAddressUse {
 public:
  template <typename Protocol>
  int level(const Protocol&) const { return SOL_SOCKET; }
  template <typename Protocol>
  int name(const Protocol&) const { return SO_EXCLUSIVEADDRUSE; }
  template <typename Protocol>
  const int* data(const Protocol&) const { return &value_; }
  template <typename Protocol>
  std::size_t size(const Protocol&) const { return sizeof value_; }

 private:
  int value_ = 1;
};

}  // namespace

// Windows' SO_REUSEADDR would let a second server take over the port; its
// SO_EXCLUSIVEADDRUSE refuses one, and a closed connection's lingering
// state never keeps the port from being bound again.
void PrepareListener(boost::asio::ip::tcp::acceptor& acceptor, boost::system::error_code& ec) {
  acceptor.set_option(ExclusiveAddressUse(), ec);
}

}  // namespace viewer
