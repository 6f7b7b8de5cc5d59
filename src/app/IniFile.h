#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorle {

// A sectioned text settings file read and written the way profile-file functions do: sections
// and keys are found without regard to case, and every line the program does not know is kept.
class IniFile {
 public:
  // Loads path; a missing or unreadable file gives an empty one.
  static IniFile Load(const std::filesystem::path& path);
  static IniFile Parse(std::string_view text);

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // The value as an integer: decimal, "$" then hexadecimal, or "0x"/"0X" then hexadecimal;
  // fallback when the key is missing or its value is not such a number.
  long long GetInt(std::string_view section, std::string_view key, long long fallback) const;
  // Replaces the key's value where it stands, or adds it at the end of its section, or adds the
  // section at the end of the file. A value with a line break (a folder may hold one) is written
  // empty: written as it is, its second line would be read as keys or sections of its own.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  std::string Text() const;
  // Writes the whole file at once; false and the reason when it cannot be written.
  bool Save(const std::filesystem::path& path, std::string* error = nullptr) const;

  static std::optional<long long> ParseInt(std::string_view text);

 private:
  std::vector<std::string> lines_;
};

}  // namespace quorle
