#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorle {

// Reads the string table of a program file's version block. Every failure (no block, a damaged
// one, no translation, a missing key) ends in empty strings.
class TVersionInfo {
 public:
  // Reads the running program's own block.
  TVersionInfo();
  virtual ~TVersionInfo() = default;

  const std::string& FileName() const { return fileName_; }
  // An empty name stands for the running program's full path; a bare name is looked up beside the
  // running program first. Reads the file's block at once.
  void SetFileName(const std::string& name);

  virtual void ClearInfo();
  virtual void LoadInfo();

  void SelectTranslation(int index);
  // The current translation as eight hexadecimal digits, language then code page ("040904E4").
  std::string TranslationText() const;
  std::string QueryString(const std::string& key) const;
  // The value of one of the twelve standard keys, 0 "Comments" to 11 "SpecialBuild".
  std::string VersionString(int index) const;

  bool Loaded() const { return loaded_; }
  int TranslationCount() const { return static_cast<int>(translations_.size()); }
  int TranslationIndex() const { return translationIndex_; }

  static constexpr int kMaxTranslations = 1001;

 protected:
  // The block of the named file; nothing when there is none.
  virtual std::optional<std::vector<std::uint8_t>> ReadBlock(const std::string& fileName);

 private:
  std::string fileName_;
  bool loaded_ = false;
  std::vector<std::uint8_t> block_;
  std::vector<std::uint32_t> translations_;
  int translationIndex_ = -1;
};

// The build number: what follows the last "." of a FileVersion; empty when it has none.
std::string BuildPart(const std::string& fileVersion);
// "Version " + ProductVersion + "  Build " + the build number, as the About page shows it.
std::string VersionLine(const TVersionInfo& info);
// The description and the version line, as --version prints them.
std::string VersionReport(const TVersionInfo& info);

}  // namespace quorle
