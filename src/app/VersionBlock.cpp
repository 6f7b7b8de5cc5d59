#include "app/VersionBlock.h"

#include <algorithm>

namespace quorle {

namespace {

using Block = std::span<const std::uint8_t>;

constexpr std::uint16_t kBinary = 0, kText = 1;
constexpr std::size_t kHeader = 6;  // wLength, wValueLength, wType

std::size_t Align4(std::size_t offset) {
  return (offset + 3) & ~std::size_t{3};
}

std::uint16_t Word(Block block, std::size_t offset) {
  return static_cast<std::uint16_t>(block[offset] | block[offset + 1] << 8);
}

// --- writing ---

std::u16string Utf16(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
      code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += 1 + extra;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t word) {
  out.push_back(static_cast<std::uint8_t>(word & 0xFF));
  out.push_back(static_cast<std::uint8_t>(word >> 8 & 0xFF));
}

void PutText(std::vector<std::uint8_t>& out, std::u16string_view text) {
  for (char16_t c : text) PutWord(out, c);
  PutWord(out, 0);
}

void Pad(std::vector<std::uint8_t>& out) {
  out.resize(Align4(out.size()), 0);
}

// One node: header, key, its value and its children, each part starting on a 32-bit boundary.
std::vector<std::uint8_t> MakeNode(std::string_view key, std::uint16_t type,
                                   const std::vector<std::uint8_t>& value,
                                   std::uint16_t valueLength,
                                   const std::vector<std::vector<std::uint8_t>>& children) {
  std::vector<std::uint8_t> out;
  PutWord(out, 0);
  PutWord(out, valueLength);
  PutWord(out, type);
  PutText(out, Utf16(key));
  Pad(out);
  out.insert(out.end(), value.begin(), value.end());
  for (const auto& child : children) {
    Pad(out);
    out.insert(out.end(), child.begin(), child.end());
  }
  out[0] = static_cast<std::uint8_t>(out.size() & 0xFF);
  out[1] = static_cast<std::uint8_t>(out.size() >> 8 & 0xFF);
  return out;
}

std::uint32_t High(const std::vector<std::uint16_t>& v) {
  return (v.size() > 0 ? v[0] : 0u) << 16 | (v.size() > 1 ? v[1] : 0u);
}
std::uint32_t Low(const std::vector<std::uint16_t>& v) {
  return (v.size() > 2 ? v[2] : 0u) << 16 | (v.size() > 3 ? v[3] : 0u);
}

std::vector<std::uint8_t> FixedFileInfo(const VersionBlockContent& content) {
  std::vector<std::uint8_t> out;
  auto dword = [&out](std::uint32_t v) {
    PutWord(out, v & 0xFFFF);
    PutWord(out, v >> 16);
  };
  dword(0xFEEF04BD);  // signature
  dword(0x00010000);  // structure version 1.0
  dword(High(content.fileVersion));
  dword(Low(content.fileVersion));
  dword(High(content.productVersion));
  dword(Low(content.productVersion));
  dword(0x3F);        // flags mask
  dword(0);           // flags
  dword(0x00040004);  // VOS_NT_WINDOWS32, the nearest the layout has
  dword(1);           // VFT_APP
  dword(0);           // subtype
  dword(0);           // date, high
  dword(0);           // date, low
  return out;
}

// --- reading ---

struct Node {
  std::size_t begin = 0, end = 0;
  std::size_t keyBegin = 0, keyEnd = 0;  // UTF-16 units, without the terminating zero
  std::size_t valueBegin = 0, valueEnd = 0;
  std::size_t childrenBegin = 0;
  std::uint16_t type = 0;
};

// The node at offset, which must lie within limit; nothing when its lengths do not fit.
std::optional<Node> ReadNode(Block block, std::size_t offset, std::size_t limit) {
  if (limit > block.size() || offset > limit || limit - offset < kHeader) return std::nullopt;
  const std::size_t length = Word(block, offset);
  if (length < kHeader || length > limit - offset) return std::nullopt;
  Node node;
  node.begin = offset;
  node.end = offset + length;
  const std::size_t valueLength = Word(block, offset + 2);
  node.type = Word(block, offset + 4);
  node.keyBegin = offset + kHeader;
  std::size_t at = node.keyBegin;
  while (at + 2 <= node.end && Word(block, at) != 0) at += 2;
  if (at + 2 > node.end) return std::nullopt;  // the key runs off the node
  node.keyEnd = at;
  node.valueBegin = std::min(Align4(at + 2), node.end);
  const std::size_t valueBytes = node.type == kText ? valueLength * 2 : valueLength;
  node.valueEnd = std::min(node.valueBegin + valueBytes, node.end);
  node.childrenBegin = std::min(Align4(node.valueBegin + valueBytes), node.end);
  return node;
}

bool KeyIs(Block block, const Node& node, std::string_view key) {
  if (node.keyEnd - node.keyBegin != key.size() * 2) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    const std::uint16_t c = Word(block, node.keyBegin + 2 * i);
    const auto k = static_cast<unsigned char>(key[i]);
    auto lower = [](unsigned v) { return v >= 'A' && v <= 'Z' ? v + 32 : v; };
    if (c > 0x7F || lower(c) != lower(k)) return false;
  }
  return true;
}

std::optional<Node> FindChild(Block block, const Node& parent, std::string_view key) {
  for (std::size_t at = parent.childrenBegin; at < parent.end;) {
    const auto child = ReadNode(block, at, parent.end);
    if (!child) return std::nullopt;
    if (KeyIs(block, *child, key)) return child;
    at = Align4(child->end);
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::uint8_t> WriteVersionBlock(const VersionBlockContent& content) {
  std::vector<std::vector<std::uint8_t>> tables;
  for (const auto& table : content.tables) {
    std::vector<std::vector<std::uint8_t>> strings;
    for (const auto& [key, value] : table.strings) {
      std::vector<std::uint8_t> text;
      const std::u16string utf16 = Utf16(value);
      PutText(text, utf16);
      strings.push_back(
          MakeNode(key, kText, text, static_cast<std::uint16_t>(utf16.size() + 1), {}));
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string name;
    for (const std::uint32_t part :
         {std::uint32_t{table.language}, std::uint32_t{table.codePage}}) {
      for (int shift = 12; shift >= 0; shift -= 4) name += kDigits[part >> shift & 0xF];
    }
    tables.push_back(MakeNode(name, kText, {}, 0, strings));
  }
  std::vector<std::uint8_t> translations;
  for (const std::uint32_t t : content.translations) {
    PutWord(translations, t & 0xFFFF);
    PutWord(translations, t >> 16);
  }
  const auto var = MakeNode("Translation", kBinary, translations,
                            static_cast<std::uint16_t>(translations.size()), {});
  const auto fixed = FixedFileInfo(content);
  return MakeNode("VS_VERSION_INFO", kBinary, fixed, static_cast<std::uint16_t>(fixed.size()),
                  {MakeNode("StringFileInfo", kText, {}, 0, tables),
                   MakeNode("VarFileInfo", kText, {}, 0, {var})});
}

std::optional<VersionValue> QueryVersionValue(std::span<const std::uint8_t> block,
                                              std::string_view path) {
  auto node = ReadNode(block, 0, block.size());
  if (!node || !KeyIs(block, *node, "VS_VERSION_INFO")) return std::nullopt;
  while (!path.empty()) {
    if (path.front() == '\\') {
      path.remove_prefix(1);
      continue;
    }
    const std::size_t cut = std::min(path.find('\\'), path.size());
    node = FindChild(block, *node, path.substr(0, cut));
    if (!node) return std::nullopt;
    path.remove_prefix(cut);
  }
  return VersionValue{block.subspan(node->valueBegin, node->valueEnd - node->valueBegin),
                      node->type == kText};
}

std::string VersionValueText(const VersionValue& value) {
  std::string out;
  auto put = [&out](char32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  };
  const Block bytes = value.bytes;
  for (std::size_t i = 0; i + 2 <= bytes.size(); i += 2) {
    const char32_t c = Word(bytes, i);
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 4 <= bytes.size()) {
      const char32_t low = Word(bytes, i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        put(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    put(c >= 0xD800 && c < 0xE000 ? char32_t{0xFFFD} : c);
  }
  return out;
}

}  // namespace quorle
