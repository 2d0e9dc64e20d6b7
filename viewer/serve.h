// `panel-bench serve`: the live panel, until Ctrl-C.
#pragma once

#include "bench/panel.h"
#include "viewer/live_server.h"

namespace viewer {

// Opens the panel, serves it and prints its address; returns the exit code.
int Serve(const bench::PanelOptions& panel_options, ServerOptions options);

// The page's assets in the source tree.
std::filesystem::path DefaultWebDir();

}  // namespace viewer
