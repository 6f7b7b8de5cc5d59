#include "app/IniFile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "protocol/SysexFile.h"

namespace quorle {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The section a line opens, if it is a section line.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// The key of a "key=value" line; comments and other lines have none.
std::optional<std::string_view> KeyOf(std::string_view line) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  const auto eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, eq));
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ini.lines_.emplace_back(line);
    start = end + 1;
  }
  return ini;
}

IniFile IniFile::Load(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return Parse(text.str());
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  bool inSection = false;
  for (const std::string& line : lines_) {
    if (auto s = SectionOf(line)) {
      inSection = SameText(*s, section);
    } else if (inSection) {
      if (auto k = KeyOf(line); k && SameText(*k, key)) {
        return std::string(Trim(std::string_view(line).substr(line.find('=') + 1)));
      }
    }
  }
  return std::nullopt;
}

std::optional<long long> IniFile::ParseInt(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 15) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
  }
  return negative ? -value : value;
}

long long IniFile::GetInt(std::string_view section, std::string_view key,
                          long long fallback) const {
  const auto text = Get(section, key);
  if (!text) return fallback;
  return ParseInt(*text).value_or(fallback);
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (value.find_first_of("\r\n") != std::string_view::npos) value = {};
  const std::string entry = std::string(key) + "=" + std::string(value);
  bool inSection = false;
  std::optional<std::size_t> sectionEnd;  // one past the last non-blank line of the section
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (auto s = SectionOf(lines_[i])) {
      if (inSection) break;
      inSection = SameText(*s, section);
      if (inSection) sectionEnd = i + 1;
    } else if (inSection) {
      if (auto k = KeyOf(lines_[i]); k && SameText(*k, key)) {
        lines_[i] = entry;
        return;
      }
      if (!Trim(lines_[i]).empty()) sectionEnd = i + 1;
    }
  }
  if (sectionEnd) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*sectionEnd), entry);
    return;
  }
  if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
  lines_.push_back("[" + std::string(section) + "]");
  lines_.push_back(entry);
}

std::string IniFile::Text() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\n";
  return text;
}

bool IniFile::Save(const std::filesystem::path& path, std::string* error) const {
  const std::string text = Text();
  const IoResult r = WriteFileAtomically(
      path, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  if (!r.ok && error) *error = r.error;
  return r.ok;
}

}  // namespace quorle
