// Pictures of a panel's gauges as they were last drawn: the drawing layer
// over bench::Panel. It keeps what drawing needs and the panel does not (the
// fonts, each gauge's bitmaps read from its .gau file in the panel's
// picture folder), and reads the panel only through its const accessors.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/drawing/render.h"
#include "bench/panel.h"

namespace bench {

class PanelPictures {
 public:
  // [the panel must outlive this]
  explicit PanelPictures(const Panel& panel) : panel_(panel) {}
  PanelPictures(const PanelPictures&) = delete;
  PanelPictures& operator=(const PanelPictures&) = delete;

  // One gauge of the panel. On failure the image is empty and error() says
  // why.
  Image Render(host::Gauge& gauge, const RenderOptions& options);
  // The same into an image the caller keeps (its memory reused): false
  // (and error() says why) where Render gives an empty image.
  bool Render(host::Gauge& gauge, const RenderOptions& options, Image* image);
  // All the panel's gauges side by side, labelled.
  Image RenderPanel(const RenderOptions& options);
  // The same into an image the caller keeps, with the gauges drawn into
  // images this keeps: drawn again and again, no memory is asked for anew.
  // False (and error() says why) where RenderPanel gives an empty image.
  bool RenderPanel(const RenderOptions& options, Image* panel);
  const std::string& error() const { return error_; }

 private:
  // The fonts, and the bitmaps of the gauge named `name`; null after
  // setting error_.
  const GaugePictures* Prepare(const std::string& name);

  const Panel& panel_;
  Fonts fonts_;
  bool fonts_ready_ = false;
  std::map<std::string, GaugePictures> pictures_;  // by gauge name
  std::vector<std::pair<std::string, Image>> drawn_;  // RenderPanel's gauges, kept
  std::string error_;
};

}  // namespace bench
