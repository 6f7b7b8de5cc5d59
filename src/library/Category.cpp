#include <array>
#include <cctype>
#include <utility>

#include "library/Library.h"

namespace quorle::library {

namespace {

// In the order they are tried: "Bass Pad" is a Bass.
constexpr std::array<std::pair<std::string_view, std::string_view>, 18> kKeywords = {{
    {"Bass", "Bass"},
    {"Pad", "Pad"},
    {"Lead", "Lead"},
    {"Keys", "Keys"},
    {"Bell", "Bell"},
    {"Brass", "Brass"},
    {"Strings", "Strings"},
    {"Str", "Strings"},
    {"Organ", "Organ"},
    {"Pluck", "Pluck"},
    {"Arp", "Arp"},
    {"Seq", "Seq"},
    {"Drum", "Drum"},
    {"FX", "FX"},
    {"Choir", "Choir"},
    {"Synth", "Synth"},
    {"Sweep", "Sweep"},
    {"Vox", "Vox"},
}};

bool IsLetter(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool IsUpper(char c) {
  return std::isupper(static_cast<unsigned char>(c)) != 0;
}

// A keyword counts where a word starts: after a non-letter, or as the capital of "FatBass", so
// "Sharp" is no Arp and "Storm" no Strings.
bool StartsWord(std::string_view name, std::size_t at) {
  if (at == 0 || !IsLetter(name[at - 1])) return true;
  return IsUpper(name[at]) && !IsUpper(name[at - 1]);
}

bool HasWord(std::string_view name, std::string_view keyword) {
  for (std::size_t at = 0; at + keyword.size() <= name.size(); ++at) {
    if (!StartsWord(name, at)) continue;
    bool same = true;
    for (std::size_t i = 0; i < keyword.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(name[at + i])) ==
             std::tolower(static_cast<unsigned char>(keyword[i]));
    }
    if (same) return true;
  }
  return false;
}

}  // namespace

std::string CategoryOfName(std::string_view name) {
  for (const auto& [keyword, category] : kKeywords) {
    if (HasWord(name, keyword)) return std::string(category);
  }
  return "Other";
}

}  // namespace quorle::library
