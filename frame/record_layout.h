// Where every field of every record lies, for both pointer widths: the 32-bit
// module the simulator loads ("narrow"), and a 64-bit native build ("wide"),
// which keeps the same fields in the same order with 8-byte pointers that stay
// 4-byte aligned under pack(4).
//
// One table per record, one row per field in the record's order: the field's
// offset in each layout; SIZE is the record's size. Each record's header
// asserts its table right after the record (GAUGE_ASSERT_LAYOUT): every row
// against the record as compiled, and both columns against the fields' sizes
// with pointers of 4 and of 8 bytes, so that a build of either width catches
// a wrong number in either column. Whoever reads records as bytes
// (gauge-check, the tests) takes the offsets from here by name,
// `record_layout::GaugeHeader::mouse_rects`, for either width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace record_layout {

// A field's offset, or a record's size, in each layout.
struct Bytes {
  uint32_t narrow;
  uint32_t wide;
  constexpr uint32_t In(bool wide_pointers) const { return wide_pointers ? wide : narrow; }
  // In the layout of the build that compiles this.
  constexpr uint32_t Native() const { return In(sizeof(void*) == 8); }
};

// A pointer, and so each entry of a list of pointers.
inline constexpr Bytes kPointer = {4, 8};

}  // namespace record_layout

//                                                   narrow  wide
#define GAUGE_LAYOUT_ModuleLinkage(FIELD, SIZE)                       \
  FIELD(module_id,                                      0,     0)    \
  FIELD(module_init,                                    4,     4)    \
  FIELD(module_deinit,                                  8,    12)    \
  FIELD(reserved_1,                                    12,    20)    \
  FIELD(reserved_2,                                    16,    24)    \
  FIELD(module_version,                                20,    28)    \
  FIELD(gauge_headers,                                 24,    32)    \
  SIZE(                                                32,    48)

#define GAUGE_LAYOUT_ImportEntry(FIELD, SIZE)                         \
  FIELD(service_id,                                     0,     0)    \
  FIELD(service_table,                                  4,     4)    \
  SIZE(                                                 8,    12)

#define GAUGE_LAYOUT_GaugeHeader(FIELD, SIZE)                         \
  FIELD(header_version,                                 0,     0)    \
  FIELD(gauge_name,                                     4,     4)    \
  FIELD(element_list,                                   8,    12)    \
  FIELD(reserved_pointers,                             12,    20)    \
  FIELD(default_size,                                  44,    84)    \
  FIELD(reserved_words,                                48,    88)    \
  FIELD(mouse_rects,                                   80,   120)    \
  FIELD(gauge_callback,                                84,   128)    \
  FIELD(host_fields,                                   88,   136)    \
  SIZE(                                               196,   244)

#define GAUGE_LAYOUT_HostServices(FIELD, SIZE)                        \
  FIELD(slots_0_to_35,                                  0,     0)    \
  FIELD(trigger_key_event,                            144,   288)    \
  FIELD(slots_37_and_38,                              148,   296)    \
  FIELD(initialize_var_by_name,                       156,   312)    \
  FIELD(lookup_var,                                   160,   320)    \
  SIZE(                                               164,   328)

#define GAUGE_LAYOUT_ModuleVar(FIELD, SIZE)                           \
  FIELD(var_id,                                         0,     0)    \
  FIELD(value_ptr,                                      4,     4)    \
  FIELD(var_type,                                       8,    12)    \
  FIELD(value,                                         12,    16)    \
  FIELD(previous_value,                                20,    24)    \
  SIZE(                                                28,    32)

#define GAUGE_LAYOUT_FailureRecord(FIELD, SIZE)                       \
  FIELD(words,                                          0,     0)    \
  SIZE(                                                12,    12)

#define GAUGE_LAYOUT_ElementHead(FIELD, SIZE)                         \
  FIELD(element_kind,                                   0,     0)    \
  FIELD(resource_id,                                    4,     4)    \
  FIELD(position_x,                                     8,     8)    \
  FIELD(position_y,                                    12,    12)    \
  FIELD(host_words,                                    16,    16)    \
  FIELD(offset_x,                                      24,    24)    \
  FIELD(offset_y,                                      28,    28)    \
  FIELD(gauge_header,                                  32,    32)    \
  FIELD(host_pointer,                                  36,    40)    \
  FIELD(children,                                      40,    48)    \
  FIELD(failure_list,                                  44,    56)    \
  FIELD(image_flags,                                   48,    64)    \
  FIELD(reserved,                                      52,    68)    \
  SIZE(                                                60,    76)

#define GAUGE_LAYOUT_StaticImageElement(FIELD, SIZE)                  \
  FIELD(head,                                           0,     0)    \
  FIELD(reserved,                                      60,    76)    \
  SIZE(                                                96,   112)

#define GAUGE_LAYOUT_IconElement(FIELD, SIZE)                         \
  FIELD(head,                                           0,     0)    \
  FIELD(source_var,                                    60,    76)    \
  FIELD(reserved_1,                                    88,   108)    \
  FIELD(icon_mode,                                     92,   112)    \
  FIELD(reserved_2,                                    96,   116)    \
  FIELD(picture_count,                                112,   132)    \
  FIELD(reserved_3,                                   116,   136)    \
  FIELD(update_callback,                              132,   152)    \
  FIELD(reserved_4,                                   136,   160)    \
  SIZE(                                               140,   164)

#define GAUGE_LAYOUT_NeedleScalePoint(FIELD, SIZE)                    \
  FIELD(x,                                              0,     0)    \
  FIELD(y,                                              4,     4)    \
  FIELD(value,                                          8,     8)    \
  FIELD(angle,                                         16,    16)    \
  SIZE(                                                24,    24)

#define GAUGE_LAYOUT_NeedleElement(FIELD, SIZE)                       \
  FIELD(head,                                           0,     0)    \
  FIELD(source_var,                                    60,    76)    \
  FIELD(reserved_1,                                    88,   108)    \
  FIELD(scale_table,                                  112,   132)    \
  FIELD(scale_point_count,                            116,   140)    \
  FIELD(reserved_2,                                   120,   144)    \
  FIELD(update_callback,                              224,   248)    \
  FIELD(reserved_3,                                   228,   256)    \
  SIZE(                                               236,   264)

#define GAUGE_LAYOUT_StringElement(FIELD, SIZE)                       \
  FIELD(head,                                           0,     0)    \
  FIELD(source_vars,                                   60,    76)    \
  FIELD(reserved_1,                                   144,   172)    \
  FIELD(text_buffer,                                  184,   212)    \
  FIELD(reserved_2,                                   188,   220)    \
  FIELD(box_width,                                    192,   224)    \
  FIELD(box_height,                                   196,   228)    \
  FIELD(reserved_3,                                   200,   232)    \
  FIELD(text_colour,                                  208,   240)    \
  FIELD(background_colour,                            212,   244)    \
  FIELD(highlight_colour,                             216,   248)    \
  FIELD(reserved_4,                                   220,   252)    \
  FIELD(font_name,                                    248,   280)    \
  FIELD(font_weight,                                  280,   312)    \
  FIELD(font_charset,                                 284,   316)    \
  FIELD(reserved_5,                                   288,   320)    \
  FIELD(string_style,                                 292,   324)    \
  FIELD(reserved_6,                                   296,   328)    \
  FIELD(update_callback,                              312,   344)    \
  FIELD(reserved_7,                                   316,   352)    \
  SIZE(                                               324,   360)

#define GAUGE_LAYOUT_MouseRect(FIELD, SIZE)                           \
  FIELD(rect_kind,                                      0,     0)    \
  FIELD(x,                                              4,     4)    \
  FIELD(y,                                              8,     8)    \
  FIELD(width,                                         12,    12)    \
  FIELD(height,                                        16,    16)    \
  FIELD(cursor,                                        20,    20)    \
  FIELD(help_id,                                       24,    24)    \
  FIELD(event_mask,                                    28,    28)    \
  FIELD(key_event,                                     32,    32)    \
  FIELD(mouse_callback,                                36,    36)    \
  FIELD(callback_data,                                 40,    44)    \
  SIZE(                                                44,    48)

// Each table as a struct of named offsets: record_layout::MouseRect::cursor,
// record_layout::MouseRect::size.
#define GAUGE_LAYOUT_NAMED_FIELD(field, narrow, wide) static constexpr Bytes field = {narrow, wide};
#define GAUGE_LAYOUT_NAMED_SIZE(narrow, wide) static constexpr Bytes size = {narrow, wide};
#define GAUGE_LAYOUT_NAMED(type)                                        \
  struct type {                                                         \
    GAUGE_LAYOUT_##type(GAUGE_LAYOUT_NAMED_FIELD, GAUGE_LAYOUT_NAMED_SIZE) \
  };

namespace record_layout {
GAUGE_LAYOUT_NAMED(ModuleLinkage)
GAUGE_LAYOUT_NAMED(ImportEntry)
GAUGE_LAYOUT_NAMED(GaugeHeader)
GAUGE_LAYOUT_NAMED(HostServices)
GAUGE_LAYOUT_NAMED(ModuleVar)
GAUGE_LAYOUT_NAMED(FailureRecord)
GAUGE_LAYOUT_NAMED(ElementHead)
GAUGE_LAYOUT_NAMED(StaticImageElement)
GAUGE_LAYOUT_NAMED(IconElement)
GAUGE_LAYOUT_NAMED(NeedleScalePoint)
GAUGE_LAYOUT_NAMED(NeedleElement)
GAUGE_LAYOUT_NAMED(StringElement)
GAUGE_LAYOUT_NAMED(MouseRect)

// Which table describes a record, for records that hold other records;
// GAUGE_ASSERT_LAYOUT names it.
template <typename Record>
struct TableOf;

// The size of a field of type T where pointers take `pointer` bytes: what the
// field's rows in the other layout must add up to.
template <uint32_t pointer, typename T>
constexpr size_t SizeWith() {
  using Element = std::remove_all_extents_t<T>;
  constexpr size_t count = sizeof(T) / sizeof(Element);
  if constexpr (std::is_pointer_v<Element>) {
    return count * pointer;
  } else if constexpr (std::is_class_v<Element>) {
    return count * TableOf<Element>::Table::size.In(pointer == 8);
  } else {
    return sizeof(T);
  }
}

// Whether the rows of one column, each with the size of its field, tile the
// record from offset 0 to its size: so no field lacks a row, the rows keep
// the record's order, and a column this build cannot check by offsetof adds
// up as well.
struct FieldSpan {
  size_t offset;
  size_t size;
};
template <size_t N>
constexpr bool Tiles(const FieldSpan (&fields)[N], size_t record_size) {
  size_t end = 0;
  for (const FieldSpan& field : fields) {
    if (field.offset != end) return false;
    end = field.offset + field.size;
  }
  return end == record_size;
}
}  // namespace record_layout

// Written right after a record of that name: asserts every row of its table
// for the pointer width being compiled, and that both columns tile the record.
#define GAUGE_ASSERT_LAYOUT(type)                                                 \
  template <>                                                                     \
  struct record_layout::TableOf<type> {                                           \
    using Table = record_layout::type;                                            \
  };                                                                              \
  struct type##LaidOut {                                                          \
    using Record = type;                                                          \
    using Table = record_layout::type;                                            \
    GAUGE_LAYOUT_##type(GAUGE_ASSERT_FIELD, GAUGE_ASSERT_SIZE)                    \
    static constexpr record_layout::FieldSpan kNarrow[] = {                       \
        GAUGE_LAYOUT_##type(GAUGE_NARROW_SPAN, GAUGE_NO_SIZE)};                   \
    static constexpr record_layout::FieldSpan kWide[] = {                         \
        GAUGE_LAYOUT_##type(GAUGE_WIDE_SPAN, GAUGE_NO_SIZE)};                     \
    static_assert(record_layout::Tiles(kNarrow, Table::size.narrow) &&            \
                      record_layout::Tiles(kWide, Table::size.wide),              \
                  #type ": its rows in frame/record_layout.h leave a gap or overlap"); \
  }
#define GAUGE_ASSERT_FIELD(field, narrow, wide)                                   \
  static_assert(offsetof(Record, field) == Table::field.Native(),                 \
                #field " is not at its offset in frame/record_layout.h");
#define GAUGE_ASSERT_SIZE(narrow, wide)                                           \
  static_assert(sizeof(Record) == Table::size.Native(),                           \
                "the record's size is not the one in frame/record_layout.h");
#define GAUGE_NARROW_SPAN(field, narrow, wide) \
  {narrow, record_layout::SizeWith<4, decltype(Record::field)>()},
#define GAUGE_WIDE_SPAN(field, narrow, wide) \
  {wide, record_layout::SizeWith<8, decltype(Record::field)>()},
#define GAUGE_NO_SIZE(narrow, wide)
