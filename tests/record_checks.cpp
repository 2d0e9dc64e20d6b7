#include "tests/record_checks.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/gauge_fixture.h"

namespace testing_support {

std::string Key(uint32_t id) { return Format("key 0x%X value 0", id); }

std::vector<uint32_t> LookedUp(const host::Host& host) {
  std::vector<uint32_t> ids;
  for (const host::LogEntry& entry : host.log()) {
    if (entry.kind == host::LogKind::kLookup) ids.push_back(entry.id);
  }
  return ids;
}

std::vector<std::string> NamedBinds(const host::Host& host) {
  std::vector<std::string> binds;
  for (const host::LogEntry& entry : host.log()) {
    if (entry.kind == host::LogKind::kNamedBind) binds.push_back(entry.Describe());
  }
  return binds;
}

std::string Describe(const ElementHead& head) {
  std::string line = Format("kind %u resource 0x%X at %d,%d pivot %d,%d flags 0x%X",
                            head.element_kind, head.resource_id, head.position_x,
                            head.position_y, head.offset_x, head.offset_y, head.image_flags);
  if (head.element_kind == kIcon) {
    const auto& icon = reinterpret_cast<const IconElement&>(head);
    line += Format(" source %u mode %u pictures %u", icon.source_var.var_id, icon.icon_mode,
                   icon.picture_count);
  } else if (head.element_kind == kNeedle) {
    const auto& needle = reinterpret_cast<const NeedleElement&>(head);
    line += Format(" source %u scale points %u", needle.source_var.var_id,
                   needle.scale_point_count);
    const NeedleScalePoint* scale = Copy(needle.scale_table);
    if (scale == nullptr) return line + " no scale table";
    for (uint32_t i = 0; i < needle.scale_point_count && i < 8; ++i) {
      line += Format(" (%d, %d) %g angle %g", scale[i].x, scale[i].y, scale[i].value,
                     scale[i].angle);
    }
  } else if (head.element_kind == kString) {
    const auto& s = reinterpret_cast<const StringElement&>(head);
    line += Format(
        " box %dx%d font \"%.32s\" weight %u charset %u colour 0x%X background 0x%X"
        " highlight 0x%X style 0x%X sources 0x%X 0x%X 0x%X",
        s.box_width, s.box_height, s.font_name, s.font_weight, s.font_charset, s.text_colour,
        s.background_colour, s.highlight_colour, s.string_style, s.source_vars[0].var_id,
        s.source_vars[1].var_id, s.source_vars[2].var_id);
  }
  return line;
}

std::string Describe(const MouseRect& rect) {
  return Format("kind %u box %d,%d %dx%d cursor 0x%X help %u mask 0x%X key %u data %u %s",
                rect.rect_kind, rect.x, rect.y, rect.width, rect.height, rect.cursor,
                rect.help_id, rect.event_mask, rect.key_event, rect.callback_data,
                Copy(rect.mouse_callback) != nullptr ? "callback" : "no callback");
}

std::string IconLine(uint32_t resource, int32_t x, int32_t y, uint32_t pictures) {
  return Format("kind 4 resource 0x%X at %d,%d pivot 0,0 flags 0x83 source 0 mode 3 pictures %u",
                resource, x, y, pictures);
}

std::string StringLine(int32_t x, int32_t y, int32_t width, int32_t height, const char* font,
                       uint32_t weight, uint32_t colour, uint32_t source) {
  return Format("kind 2 resource 0xFFFFFFFF at %d,%d pivot 0,0 flags 0x83 box %dx%d font \"%s\""
                " weight %u charset 1 colour 0x%X background 0x0 highlight 0x0 style 0x4240"
                " sources 0x%X 0x0 0x0",
                x, y, width, height, font, weight, colour, source);
}

std::string MarkerLine(uint32_t kind) {
  return Format("kind %u box 0,0 0x0 cursor 0xFFFFFFFF help 0 mask 0x0 key 0 data 0 no callback",
                kind);
}

std::string ChildLine(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t cursor,
                      uint32_t mask) {
  return Format("kind 2 box %d,%d %dx%d cursor 0x%X help 0 mask 0x%X key 0 data 0 callback", x,
                y, width, height, cursor, mask);
}

std::vector<std::string> DescribeChain(GaugeHeader& header) {
  std::vector<std::string> lines;
  std::set<const FailureRecord*> failure_lists;
  for (ElementHead* e = *header.element_list; e != nullptr && lines.size() < 64;
       e = e->children != nullptr ? e->children[0] : nullptr) {
    lines.push_back(Describe(*e));
    SCOPED_TRACE(lines.back());
    if (e->children != nullptr) {
      EXPECT_NE(e->children[0], nullptr) << "a child list without a child";
      EXPECT_EQ(e->children[1], nullptr) << "a second child";
    }
    EXPECT_EQ(Copy(e->gauge_header), &header);
    EXPECT_EQ(AnyBits(e->reserved), 0u);
    const FailureRecord* failures = Copy(e->failure_list);
    EXPECT_TRUE(failures != nullptr && AnyBits(failures->words) == 0u) << "no empty failure list";
    EXPECT_TRUE(failure_lists.insert(failures).second) << "failure list of an earlier element";
    if (e->element_kind == kStaticImage) {
      EXPECT_EQ(AnyBits(reinterpret_cast<const StaticImageElement&>(*e).reserved), 0u);
    } else if (e->element_kind == kIcon) {
      const auto& icon = reinterpret_cast<const IconElement&>(*e);
      EXPECT_NE(Copy(icon.update_callback), nullptr);
      EXPECT_EQ(icon.reserved_1 | icon.reserved_4 | AnyBits(icon.reserved_2) |
                    AnyBits(icon.reserved_3),
                0u);
    } else if (e->element_kind == kNeedle) {
      const auto& needle = reinterpret_cast<const NeedleElement&>(*e);
      EXPECT_NE(Copy(needle.update_callback), nullptr);
      EXPECT_EQ(AnyBits(needle.reserved_1) | AnyBits(needle.reserved_2) |
                    AnyBits(needle.reserved_3),
                0u);
    } else if (e->element_kind == kString) {
      const auto& s = reinterpret_cast<const StringElement&>(*e);
      EXPECT_EQ(Copy(s.text_buffer), nullptr) << "the text buffer is the host's";
      EXPECT_NE(Copy(s.update_callback), nullptr);
      EXPECT_EQ(s.reserved_2 | s.reserved_5 | AnyBits(s.reserved_1) | AnyBits(s.reserved_3) |
                    AnyBits(s.reserved_4) | AnyBits(s.reserved_6) | AnyBits(s.reserved_7),
                0u);
    }
  }
  return lines;
}

std::vector<std::string> DescribeMouseList(const GaugeHeader& header) {
  std::vector<std::string> lines;
  const MouseRect* rects = Copy(header.mouse_rects);
  for (size_t i = 0; rects != nullptr && i < 50; ++i) {
    lines.push_back(Describe(rects[i]));
    if (rects[i].rect_kind == 0) break;
  }
  return lines;
}

void ExpectModuleRecords(host::Module& module, const char* gauge_name) {
  const ModuleLinkage& linkage = module.linkage();
  EXPECT_EQ(linkage.module_id, 0x13u);
  EXPECT_EQ(linkage.module_version, 0x800u);
  EXPECT_EQ(linkage.reserved_1 | linkage.reserved_2, 0u);
  EXPECT_NE(Copy(linkage.module_init), nullptr);
  EXPECT_NE(Copy(linkage.module_deinit), nullptr);
  EXPECT_EQ(Copy(linkage.gauge_headers[1]), nullptr) << "more than one gauge";
  EXPECT_EQ(module.import_table()[0].service_id, 0x0Fu);
  EXPECT_EQ(module.import_table()[1].service_id, 0u);
  EXPECT_EQ(Copy(module.import_table()[1].service_table), nullptr);

  const GaugeHeader& header = module.header();
  EXPECT_EQ(header.header_version, 0x320u);
  EXPECT_STREQ(Copy(header.gauge_name), gauge_name);
  EXPECT_EQ(header.default_size, 100u);
  EXPECT_NE(Copy(header.element_list), nullptr);
  EXPECT_NE(Copy(header.mouse_rects), nullptr);
  EXPECT_NE(Copy(header.gauge_callback), nullptr);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Copy(header.reserved_pointers[i]), nullptr) << "pointer slot " << i;
  }
  EXPECT_EQ(AnyBits(header.reserved_words), 0u);
  EXPECT_EQ(AnyBits(header.host_fields), 0u) << "host run-time fields";
}

}  // namespace testing_support
