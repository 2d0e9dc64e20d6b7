#include "bench/drawing/panel_pictures.h"

#include <system_error>
#include <utility>
#include <vector>

namespace bench {

const GaugePictures* PanelPictures::Prepare(const std::string& name) {
  error_.clear();
  if (!fonts_ready_) {
    if (!fonts_.Init(&error_)) return nullptr;
    fonts_ready_ = true;
  }
  host::Gauge* gauge = panel_.Find(name);
  if (gauge == nullptr) {
    error_ = "the panel has no gauge '" + name + "'";
    return nullptr;
  }
  auto found = pictures_.find(name);
  if (found != pictures_.end()) return &found->second;
  const std::filesystem::path file = panel_.options().picture_dir / (name + ".gau");
  GaugePictures pictures;
  std::string why;
  // The very file the host loaded the module from (on Windows): its
  // bitmaps as the system's loader gives them, as the simulator takes them,
  // whatever the machine the file was built for. Any other file is read.
  std::error_code ec;
  const bool loaded = std::filesystem::equivalent(file, gauge->module().path(), ec);
  if (loaded ? !pictures.LoadModule(gauge->module(), &why) : !pictures.LoadFile(file, &why)) {
    error_ = why +
             " (build the Windows gauge files with tools/build-win32.sh, or give their folder "
             "with --pictures DIR)";
    return nullptr;
  }
  return &pictures_.emplace(name, std::move(pictures)).first->second;
}

bool PanelPictures::Render(host::Gauge& gauge, const RenderOptions& options, Image* image) {
  const GaugePictures* pictures = Prepare(gauge.name());
  if (pictures == nullptr) {
    image->Reset(0, 0);
    return false;
  }
  panel_.LastDrawing(gauge);
  return RenderGaugeInto(image, panel_.host(), gauge, *pictures, fonts_, options, &error_);
}

Image PanelPictures::Render(host::Gauge& gauge, const RenderOptions& options) {
  Image image;
  Render(gauge, options, &image);
  return image;
}

Image PanelPictures::RenderPanel(const RenderOptions& options) {
  Image panel;
  RenderPanel(options, &panel);
  return panel;
}

bool PanelPictures::RenderPanel(const RenderOptions& options, Image* panel) {
  panel->Reset(0, 0);
  const std::vector<host::Gauge*>& gauges = panel_.gauges();
  if (gauges.empty()) {
    error_ = "no gauges are loaded";
    return false;
  }
  drawn_.resize(gauges.size());
  for (size_t i = 0; i < gauges.size(); ++i) {
    drawn_[i].first = gauges[i]->name();
    if (!Render(*gauges[i], options, &drawn_[i].second)) return false;
  }
  return ComposePanelInto(panel, drawn_, fonts_, options.scale, &error_);
}

}  // namespace bench
