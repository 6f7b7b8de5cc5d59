// What `quorle-cli info` reports on any bytes of any length, as text and as JSON. The input's
// last byte gives the length of a file name taken from just before it, so names that are not
// UTF-8 are tried too; the bytes in front are the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/OfflineCommands.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t nameLength = std::min<std::size_t>(data[size - 1] % 64, size - 1);
  const std::size_t contentLength = size - 1 - nameLength;
  const std::string name(reinterpret_cast<const char*>(data) + contentLength, nameLength);
  const quorle::ByteView content(data, contentLength);

  std::ostringstream text;
  quorle::WriteInfo(name, content, false, text);
  if (text.str().rfind(name + ": ", 0) != 0) std::abort();

  std::ostringstream json;
  quorle::WriteInfo(name, content, true, json);
  // The report must be JSON that reads back, whatever bytes the name or the dumps held.
  const auto report = nlohmann::json::parse(json.str());
  if (report.at("size") != contentLength) std::abort();

  // The names form: one line per dump, or a refusal for a file that holds no names.
  std::ostringstream names;
  try {
    quorle::WriteInfo(name, content, false, names, true);
  } catch (const quorle::Refusal&) {
  }
  return 0;
}
