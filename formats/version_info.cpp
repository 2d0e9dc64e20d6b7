#include "formats/version_info.h"

#include <algorithm>
#include <cstring>

namespace formats {
namespace {

// The version resource is a tree of blocks, each: its length in bytes
// (itself included), its value's length, its value's type (1 text, 0
// binary), a NUL-terminated UTF-16 key, padding to 4 bytes, the value,
// padding, and its children up to its length.
struct Block {
  size_t begin = 0, end = 0;  // the block's bytes
  std::string key;
  size_t value = 0, value_end = 0;  // the value's bytes
  bool text = false;
  size_t children = 0;  // where the first child starts
};

constexpr size_t kHeader = 6;

size_t Align4(size_t at) { return (at + 3) & ~size_t{3}; }

class Parser {
 public:
  Parser(const std::vector<uint8_t>& bytes, std::string* why) : bytes_(bytes), why_(why) {}

  bool Fail(const std::string& what) {
    if (why_ != nullptr) *why_ = what;
    return false;
  }

  uint16_t U16(size_t at) const {
    uint16_t v;
    std::memcpy(&v, bytes_.data() + at, 2);
    return v;
  }
  uint32_t U32(size_t at) const {
    uint32_t v;
    std::memcpy(&v, bytes_.data() + at, 4);
    return v;
  }

  // UTF-16 text from `at` to its NUL or `end`, whichever comes first;
  // `*after` is just past the NUL (or `end`).
  std::string Text(size_t at, size_t end, size_t* after) const {
    std::string text;
    for (; at + 2 <= end; at += 2) {
      const uint16_t c = U16(at);
      if (c == 0) {
        at += 2;
        break;
      }
      text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    if (after != nullptr) *after = at;
    return text;
  }

  // The block at `at`, which must lie within `limit`.
  bool ReadBlock(size_t at, size_t limit, Block* block) {
    if (at + kHeader > limit) return Fail(Where(at) + "a block's header runs past its parent");
    const size_t length = U16(at);
    if (length < kHeader || at + length > limit) {
      return Fail(Where(at) + "a block of " + std::to_string(length) + " bytes, which its parent (" +
                  std::to_string(limit - at) + " bytes left) cannot hold");
    }
    block->begin = at;
    block->end = at + length;
    const uint16_t type = U16(at + 4);
    if (type > 1) return Fail(Where(at) + "a value of type " + std::to_string(type));
    block->text = type == 1;
    size_t after_key = 0;
    block->key = Text(at + kHeader, block->end, &after_key);
    // A text's length counts UTF-16 characters, a binary value's bytes.
    const size_t value_bytes = U16(at + 2) * (block->text ? size_t{2} : size_t{1});
    block->value = Align4(after_key);
    block->value_end = block->value + value_bytes;
    if (block->value_end > block->end) {
      return Fail(Where(at) + "'" + block->key + "' has a value of " + std::to_string(value_bytes) +
                  " bytes, past the end of its block");
    }
    block->children = std::min(Align4(block->value_end), block->end);
    return true;
  }

  // Calls `visit(child)` for each child of `parent`; fewer than a header's
  // bytes at the end are padding.
  template <typename Visit>
  bool Children(const Block& parent, Visit visit) {
    for (size_t at = parent.children; at + kHeader <= parent.end; at = Align4(at)) {
      Block child;
      if (!ReadBlock(at, parent.end, &child) || !visit(child)) return false;
      at = child.end;
    }
    return true;
  }

  static std::string Where(size_t at) { return "at byte " + std::to_string(at) + ": "; }

  const std::vector<uint8_t>& bytes_;
  std::string* why_;
};

std::array<uint16_t, 4> Version(uint32_t high, uint32_t low) {
  return {static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high),
          static_cast<uint16_t>(low >> 16), static_cast<uint16_t>(low)};
}

}  // namespace

const std::string* VersionInfo::Text(const std::string& key) const {
  for (const Table& table : tables) {
    for (const auto& [name, value] : table.strings) {
      if (name == key) return &value;
    }
  }
  return nullptr;
}

std::string DottedVersion(const std::array<uint16_t, 4>& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

bool ParseVersionInfo(const std::vector<uint8_t>& bytes, VersionInfo* info, std::string* why) {
  *info = VersionInfo{};
  Parser p(bytes, why);
  Block root;
  if (!p.ReadBlock(0, bytes.size(), &root)) return false;
  if (root.key != "VS_VERSION_INFO") {
    return p.Fail("the first block is '" + root.key + "', not VS_VERSION_INFO");
  }
  if (root.value_end - root.value < 52) {
    return p.Fail("the fixed part is " + std::to_string(root.value_end - root.value) +
                  " bytes, not 52");
  }
  const size_t fixed = root.value;
  if (p.U32(fixed) != kFixedFileInfoSignature) {
    return p.Fail("the fixed part's signature is not 0xFEEF04BD");
  }
  info->file_version = Version(p.U32(fixed + 8), p.U32(fixed + 12));
  info->product_version = Version(p.U32(fixed + 16), p.U32(fixed + 20));
  info->file_os = p.U32(fixed + 32);
  info->file_type = p.U32(fixed + 36);

  return p.Children(root, [&](const Block& part) {
    if (part.key == "StringFileInfo") {
      return p.Children(part, [&](const Block& table) {
        info->tables.push_back({table.key, {}});
        return p.Children(table, [&](const Block& text) {
          const std::string value =
              text.text ? p.Text(text.value, text.value_end, nullptr) : std::string();
          info->tables.back().strings.emplace_back(text.key, value);
          return true;
        });
      });
    }
    if (part.key == "VarFileInfo") {
      return p.Children(part, [&](const Block& var) {
        for (size_t at = var.value; var.key == "Translation" && at + 4 <= var.value_end; at += 4) {
          info->translations.push_back(uint32_t{p.U16(at)} << 16 | p.U16(at + 2));
        }
        return true;
      });
    }
    return p.Fail("a block '" + part.key + "' where StringFileInfo or VarFileInfo belongs");
  });
}

}  // namespace formats
