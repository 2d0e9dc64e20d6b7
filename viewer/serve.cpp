#include "viewer/serve.h"

#include <csignal>
#include <cstdio>
#include <thread>

#include "host/host.h"
#include "viewer/live_api.h"

namespace viewer {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
void RequestStop(int) { stopRequested = 1; }

// The address to open in a browser (an IPv6 address in brackets), and a
// warning on stderr when other machines can reach the panel and drive it.
void PrintAddress(const std::string& address, int port) {
  const bool v6 = address.find(':') != std::string::npos;
  std::printf("The panel is live at http://%s%s%s:%d/  (Ctrl-C stops it)\n", v6 ? "[" : "",
              address.c_str(), v6 ? "]" : "", port);
  if (!IsLoopbackAddress(address)) {
    std::fprintf(stderr,
                 "panel-bench serve: warning: listening on %s, the panel is open to the network: "
                 "any machine that can reach this one can see it and press its keys "
                 "(--address 127.0.0.1 keeps it to this machine)\n",
                 address.c_str());
  }
}

}  // namespace

std::filesystem::path DefaultWebDir() {
  return host::BesideProgramElse("web", host::SourceDir() / "viewer" / "web");
}

int Serve(const bench::PanelOptions& panel_options, ServerOptions options) {
  auto fail = [](const std::string& why) {
    std::fprintf(stderr, "panel-bench serve: %s\n", why.c_str());
    return 1;
  };
  // The page plays the clicks (or keeps them muted, as its user chose): the
  // sound library only reports them, lest each be heard twice.
  bench::PanelOptions live = panel_options;
  live.sounds_aloud = false;
  bench::Panel panel;
  std::string error;
  if (!panel.Open(live, {}, &error)) return fail(error);
  if (options.web_dir.empty()) options.web_dir = DefaultWebDir();
  const std::filesystem::path page = options.web_dir / "index.html";
  if (!std::filesystem::exists(page)) {
    return fail("the page is missing: no " + page.string() + " (give --web DIR)");
  }
  LiveServer server(panel);
  if (!server.Bind(options, &error)) return fail(error);
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  std::thread watcher([&server] {
    while (stopRequested == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
  });
  PrintAddress(options.address, server.port());
  std::fflush(stdout);
  server.Run();
  stopRequested = 1;
  watcher.join();
  std::printf("\nStopped.\n");
  return 0;
}

}  // namespace viewer
