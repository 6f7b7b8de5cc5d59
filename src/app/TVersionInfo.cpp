#include "app/TVersionInfo.h"

#include <cstdio>

#include "app/ProgramFiles.h"
#include "app/VersionBlock.h"

namespace quorle {

namespace {

constexpr const char* kKeys[] = {"Comments",        "CompanyName",      "FileDescription",
                                 "FileVersion",     "InternalName",     "LegalCopyright",
                                 "LegalTrademarks", "OriginalFileName", "PrivateBuild",
                                 "ProductName",     "ProductVersion",   "SpecialBuild"};

}  // namespace

TVersionInfo::TVersionInfo() {
  SetFileName("");
}

void TVersionInfo::SetFileName(const std::string& name) {
  fileName_ = name.empty() ? RunningProgramPath() : name;
  ClearInfo();
  LoadInfo();
}

void TVersionInfo::ClearInfo() {
  loaded_ = false;
}

void TVersionInfo::LoadInfo() {
  loaded_ = false;
  translations_.clear();
  translationIndex_ = -1;
  auto block = ReadBlock(fileName_);
  if (!block || block->empty()) return;
  block_ = std::move(*block);
  loaded_ = true;
  if (const auto table = QueryVersionValue(block_, "\\VarFileInfo\\Translation")) {
    const auto& bytes = table->bytes;
    for (std::size_t i = 0; i + 4 <= bytes.size() && translations_.size() < kMaxTranslations;
         i += 4) {
      translations_.push_back(static_cast<std::uint32_t>(bytes[i]) | bytes[i + 1] << 8 |
                              bytes[i + 2] << 16 | static_cast<std::uint32_t>(bytes[i + 3]) << 24);
    }
  }
  SelectTranslation(0);
}

std::optional<std::vector<std::uint8_t>> TVersionInfo::ReadBlock(const std::string& fileName) {
  return ReadVersionSection(ResolveProgramFile(fileName));
}

void TVersionInfo::SelectTranslation(int index) {
  translationIndex_ = index >= 0 && index < TranslationCount() ? index : -1;
}

std::string TVersionInfo::TranslationText() const {
  if (!loaded_ || translationIndex_ < 0) return {};
  const std::uint32_t entry = translations_[static_cast<std::size_t>(translationIndex_)];
  char text[9];
  std::snprintf(text, sizeof text, "%4.4X%4.4X", entry & 0xFFFF, entry >> 16);
  return text;
}

std::string TVersionInfo::QueryString(const std::string& key) const {
  const std::string translation = TranslationText();
  if (translation.empty()) return {};
  const auto value = QueryVersionValue(block_, "\\StringFileInfo\\" + translation + "\\" + key);
  return value ? VersionValueText(*value) : std::string();
}

std::string TVersionInfo::VersionString(int index) const {
  if (index < 0 || index >= static_cast<int>(std::size(kKeys))) return {};
  return QueryString(kKeys[index]);
}

std::string BuildPart(const std::string& fileVersion) {
  const std::size_t dot = fileVersion.rfind('.');
  return dot == std::string::npos ? std::string() : fileVersion.substr(dot + 1);
}

std::string VersionLine(const TVersionInfo& info) {
  return "Version " + info.VersionString(10) + "  Build " + BuildPart(info.VersionString(3));
}

std::string VersionReport(const TVersionInfo& info) {
  return info.VersionString(2) + "\n" + VersionLine(info);
}

}  // namespace quorle
