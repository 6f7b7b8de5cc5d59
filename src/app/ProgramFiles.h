#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorle {

// The section every Quorle program carries its version block in.
inline constexpr const char* kVersionSectionName = ".quorle.version";

// The full path of the running program file.
std::string RunningProgramPath();

// The file a version query means: an empty name the running program, a bare name the file of that
// name beside the running program, else on the PATH; a name with a folder is taken as it is.
std::string ResolveProgramFile(const std::string& name);

// The version block of an ELF file, read with libelf: the contents of its version section.
// Nothing when the file cannot be read, is no ELF file or has no such section.
std::optional<std::vector<std::uint8_t>> ReadVersionSection(const std::string& path);

}  // namespace quorle
