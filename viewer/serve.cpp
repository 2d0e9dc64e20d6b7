#include "viewer/serve.h"

#include <csignal>
#include <cstdio>
#include <thread>

namespace viewer {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
void RequestStop(int) { stopRequested = 1; }

}  // namespace

std::filesystem::path DefaultWebDir() { return std::filesystem::path(SOURCE_DIR) / "viewer" / "web"; }

int Serve(const bench::PanelOptions& panel_options, ServerOptions options) {
  bench::Panel panel;
  std::string error;
  if (!panel.Open(panel_options, {}, &error)) {
    std::fprintf(stderr, "panel-bench serve: %s\n", error.c_str());
    return 1;
  }
  if (options.web_dir.empty()) options.web_dir = DefaultWebDir();
  if (!std::filesystem::exists(options.web_dir / "index.html")) {
    std::fprintf(stderr, "panel-bench serve: the page is missing: no %s (give --web DIR)\n",
                 (options.web_dir / "index.html").string().c_str());
    return 1;
  }
  LiveServer server(panel);
  if (!server.Bind(options, &error)) {
    std::fprintf(stderr, "panel-bench serve: %s\n", error.c_str());
    return 1;
  }
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  std::thread watcher([&server] {
    while (stopRequested == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
  });
  std::printf("The panel is live at http://%s:%d/  (Ctrl-C stops it)\n", options.address.c_str(),
              server.port());
  std::fflush(stdout);
  server.Run();
  stopRequested = 1;
  watcher.join();
  std::printf("\nStopped.\n");
  return 0;
}

}  // namespace viewer
