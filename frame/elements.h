// Drawing elements: a chain of records reached from `GaugeHeader`, each drawn
// over the ones before it. The module owns the records; at run time the host
// writes only its own fields, and update callbacks only `image_flags` and a
// string's text.
#pragma once

#include "frame/linkage.h"
#include "frame/module_var.h"

#pragma pack(push, 4)

enum ElementKind : uint32_t {
  kStaticImage = 0,
  kNeedle = 1,
  kString = 2,
  kIcon = 4,
};

// `image_flags` bits.
inline constexpr uint32_t kFlagsAtLoad = 0x83;        // host's drawing options
inline constexpr uint32_t kFlagLit = 0x4;             // drawn as a light source
inline constexpr uint32_t kFlagHidden = 0x40000000;   // not drawn
inline constexpr uint32_t kNoResource = 0xFFFFFFFF;   // a string's resource id

// [draw] Called while the host updates an element for drawing. Returns the
// picture index (icon), the value to show (needle) or 0.0 (string).
using ElementUpdateCallback = double(GAUGE_CALL*)(ElementHead* element);

// An element's failure list: a list that ends at once.
struct FailureRecord {
  uint32_t words[3];                // 0
};
GAUGE_ASSERT_LAYOUT(FailureRecord);

// The first 60 bytes of every element.
struct ElementHead {
  uint32_t element_kind;            // module: ElementKind
  uint32_t resource_id;             // module: bitmap (icon: first picture)
  int32_t position_x;               // module: face pixels (needle: pivot)
  int32_t position_y;               // module
  uint32_t host_words[2];           // host's
  int32_t offset_x;                 // module: needle pivot in its bitmap
  int32_t offset_y;                 // module
  GaugeHeader* gauge_header;        // module: the owning gauge
  void* host_pointer;               // host's
  ElementHead** children;           // module: null-ended list, or null
  FailureRecord* failure_list;      // module: the element's own
  uint32_t image_flags;             // module 0x83; callbacks set 0x4, 0x40000000
  uint32_t reserved[2];             // 0
};
GAUGE_ASSERT_LAYOUT(ElementHead);

// The gauge face; only the root is a static image.
struct StaticImageElement {
  ElementHead head;
  uint32_t reserved[9];             // 0
};
GAUGE_ASSERT_LAYOUT(StaticImageElement);

// A picture chosen from a run of bitmaps by the update callback's result.
struct IconElement {
  ElementHead head;
  ModuleVar source_var;             // module: var_id 0 (callback decides)
  uint32_t reserved_1;              // 0
  uint32_t icon_mode;               // module: 3
  uint32_t reserved_2[4];           // 0
  uint32_t picture_count;           // module: 2, 3 or 4
  uint32_t reserved_3[4];           // 0
  ElementUpdateCallback update_callback;  // module: [draw]
  uint32_t reserved_4;              // 0
};
GAUGE_ASSERT_LAYOUT(IconElement);

// One calibration point of a needle: at `value` it points at (x, y).
struct NeedleScalePoint {
  int32_t x;                        // module: face pixels
  int32_t y;                        // module
  double value;                     // module: ascending through the table
  double angle;                     // host's; 0 in the record
};
GAUGE_ASSERT_LAYOUT(NeedleScalePoint);

// A bitmap turned about a pivot; drawn pointing right (+x) in its bitmap.
struct NeedleElement {
  ElementHead head;
  ModuleVar source_var;             // module: var_id 0 (callback decides)
  uint32_t reserved_1[6];           // 0
  NeedleScalePoint* scale_table;    // module
  uint32_t scale_point_count;       // module
  uint32_t reserved_2[26];          // 0
  ElementUpdateCallback update_callback;  // module: [draw]
  uint32_t reserved_3[2];           // 0
};
GAUGE_ASSERT_LAYOUT(NeedleElement);

// A line of text in a box. The host supplies `text_buffer` of at least
// kStringTextCapacity bytes; the update callback writes the text into it.
inline constexpr int kStringTextCapacity = 11;
inline constexpr uint32_t kStringStyle = 0x4240;

struct StringElement {
  ElementHead head;                 // resource_id 0xFFFFFFFF; box top-left
  ModuleVar source_vars[3];         // module: [0] may name the shown variable
  uint32_t reserved_1[10];          // 0
  char* text_buffer;                // host: supplied before each callback
  uint32_t reserved_2;              // 0
  int32_t box_width;                // module: pixels
  int32_t box_height;               // module: pixels
  uint32_t reserved_3[2];           // 0
  uint32_t text_colour;             // module: 0x00BBGGRR
  uint32_t background_colour;       // module: 0
  uint32_t highlight_colour;        // module: 0
  uint32_t reserved_4[7];           // 0
  char font_name[32];               // module: NUL-terminated face name
  uint32_t font_weight;             // module: 500 or 100
  uint32_t font_charset;            // module: 1
  uint32_t reserved_5;              // 0
  uint32_t string_style;            // module: 0x4240, the host's meaning
  uint32_t reserved_6[4];           // 0
  ElementUpdateCallback update_callback;  // module: [draw]
  uint32_t reserved_7[2];           // 0
};
GAUGE_ASSERT_LAYOUT(StringElement);

#pragma pack(pop)

// Builders for the module tables. Every element starts with 0x83.
constexpr ElementHead MakeHead(ElementKind kind, uint32_t resource_id, int32_t x, int32_t y,
                               GaugeHeader* gauge, ElementHead** children,
                               FailureRecord* failures) {
  ElementHead head{};
  head.element_kind = kind;
  head.resource_id = resource_id;
  head.position_x = x;
  head.position_y = y;
  head.gauge_header = gauge;
  head.children = children;
  head.failure_list = failures;
  head.image_flags = kFlagsAtLoad;
  return head;
}

constexpr StaticImageElement MakeFace(GaugeHeader* gauge, ElementHead** children,
                                      FailureRecord* failures) {
  return {MakeHead(kStaticImage, 0x100, 0, 0, gauge, children, failures), {}};
}

constexpr IconElement MakeIcon(ElementHead head, uint32_t picture_count,
                               ElementUpdateCallback callback) {
  IconElement icon{};
  icon.head = head;
  icon.icon_mode = 3;
  icon.picture_count = picture_count;
  icon.update_callback = callback;
  return icon;
}

inline void SetFlag(ElementHead* element, uint32_t flag, bool on) {
  element->image_flags = on ? (element->image_flags | flag) : (element->image_flags & ~flag);
}
