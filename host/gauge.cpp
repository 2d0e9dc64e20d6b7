#include "host/gauge.h"

#include <cstring>

#include "formats/limits.h"
#include "host/services.h"

namespace host {

Gauge::Gauge(Host& host, Module& module)
    : host_(&host), module_(&module), header_(&module.header()), name_(module.name()) {
  elements_ = WalkChain(*header_->element_list);
  text_buffers_.assign(elements_.size(), {});
}

void Gauge::SendEvent(PanelServiceEvent event, uint32_t extra) {
  ServingScope scope(host_, this);
  header_->gauge_callback(header_, event, extra);
}

void Gauge::Kill() {
  SendEvent(kPanelKill);
  alive_ = false;
}

std::vector<ElementHead*> Gauge::Elements() const { return elements_; }

std::vector<ElementHead*> Gauge::WalkChain(ElementHead* root) {
  std::vector<ElementHead*> order;
  // Depth first, each element before its children, children in list order.
  std::vector<ElementHead*> pending{root};
  while (!pending.empty() && order.size() < formats::kMaxGaugeElements) {
    ElementHead* element = pending.back();
    pending.pop_back();
    order.push_back(element);
    if (element->children == nullptr) continue;
    size_t count = 0;
    while (count < formats::kMaxGaugeElements && element->children[count] != nullptr) ++count;
    for (size_t i = count; i-- > 0;) pending.push_back(element->children[i]);
  }
  return order;
}

const Drawing& Gauge::Draw() {
  SendEvent(kPanelDraw);
  ServingScope scope(host_, this);
  drawing_.elements.clear();
  for (size_t index = 0; index < elements_.size(); ++index) {
    ElementHead* element = elements_[index];
    DrawnElement drawn;
    drawn.record = element;
    drawn.kind = element->element_kind;
    drawn.resource_id = element->resource_id;
    drawn.x = element->position_x;
    drawn.y = element->position_y;
    ElementUpdateCallback callback = nullptr;
    switch (element->element_kind) {
      case kIcon:
        callback = reinterpret_cast<IconElement*>(element)->update_callback;
        break;
      case kNeedle:
        callback = reinterpret_cast<NeedleElement*>(element)->update_callback;
        break;
      case kString: {
        auto* text = reinterpret_cast<StringElement*>(element);
        if (text->source_vars[0].var_id != 0) {
          ServiceCalls::LookupVar(&text->source_vars[0]);
        }
        text->text_buffer = text_buffers_[index].data();
        callback = text->update_callback;
        break;
      }
      default:
        break;
    }
    if (callback != nullptr) drawn.value = callback(element);
    if (element->element_kind == kString) {
      auto& buffer = text_buffers_[index];
      buffer.back() = '\0';
      drawn.text = std::string_view(buffer.data(), std::strlen(buffer.data()));
    }
    drawn.flags = element->image_flags;
    drawing_.elements.push_back(drawn);
  }
  return drawing_;
}

std::vector<const MouseRect*> Gauge::MouseAreas() const {
  std::vector<const MouseRect*> areas;
  const MouseRect* rect = header_->mouse_rects;
  for (size_t i = 0;
       rect != nullptr && i < formats::kMaxMouseRects && rect[i].rect_kind != kRectEnd; ++i) {
    if (rect[i].rect_kind == kRectChild) areas.push_back(&rect[i]);
  }
  return areas;
}

const MouseRect* Gauge::HitTest(int32_t x, int32_t y, uint32_t mouse_event) const {
  for (const MouseRect* area : MouseAreas()) {
    const bool inside = x >= area->x && y >= area->y &&
                        static_cast<int64_t>(x) < static_cast<int64_t>(area->x) + area->width &&
                        static_cast<int64_t>(y) < static_cast<int64_t>(area->y) + area->height;
    if (inside && (area->event_mask & mouse_event) == mouse_event &&
        area->mouse_callback != nullptr) {
      return area;
    }
  }
  return nullptr;
}

bool Gauge::Click(int32_t x, int32_t y, uint32_t mouse_event) {
  const MouseRect* area = HitTest(x, y, mouse_event);
  if (area == nullptr) return false;
  CallMouse(*area, mouse_event);
  return true;
}

int32_t Gauge::CallMouse(const MouseRect& area, uint32_t mouse_event) {
  if (area.mouse_callback == nullptr) return 0;
  ServingScope scope(host_, this);
  return area.mouse_callback(0, mouse_event);
}

}  // namespace host
