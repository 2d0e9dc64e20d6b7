// `panel-bench serve`: the live panel, served to a browser.
#include <string>
#include <vector>

#include "apps/panel-bench/full_bench.h"
#include "viewer/serve.h"

namespace panel_bench {
namespace serve_command {

// What the line gave serve's options (-1 or "": the default).
struct Given {
  int port = -1;
  std::string address, web;
};
Given given;

void AddOptions(CLI::App* command, std::vector<std::string>*) {
  NumberOption(command, "--port", &given.port, 0, 65535);
  command->add_option("--address", given.address);
  command->add_option("--web", given.web);
}

int Run(const Line& line) {
  if (!line.words.empty()) return UsageError("serve takes no arguments", line.command);
  viewer::ServerOptions options;
  if (given.port >= 0) options.port = given.port;
  if (!given.address.empty()) options.address = given.address;
  if (!given.web.empty()) options.web_dir = given.web;
  const int code = viewer::Serve(PanelOptionsFrom(line), options);
  return code == 0 ? kExitOk : kExitCannot;
}

}  // namespace serve_command

extern const Command kServeCommand = {
    "serve",
    "run the panel live at 18 updates a second and serve it to a browser",
    "usage: panel-bench serve [options]\n"
    "\n"
    "Runs the four gauges on the bench's aircraft at the simulator's pace and\n"
    "serves them to a browser on this machine (docs/live-panel.md) until Ctrl-C.\n"
    "The page plays the gauges' clicks (\"Mute clicks\" silences them); the bench\n"
    "itself plays none aloud.\n"
    "\n"
    "  --port N        the port (default 8018; 0 for any free one, printed)\n"
    "  --address A     the address to listen on (default 127.0.0.1)\n"
    "  --web DIR       the page's files (default: web/ beside the program, else viewer/web\n"
    "                  of the source tree)\n",
    serve_command::AddOptions, serve_command::Run};

}  // namespace panel_bench
