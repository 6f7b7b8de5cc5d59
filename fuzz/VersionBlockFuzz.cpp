// The version block's parser on any bytes: every answer lies inside the block, whatever its
// length fields claim, and reads as text without running past it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "app/VersionBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> block(data, size);
  for (const char* path :
       {"\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\FileVersion",
        "\\StringFileInfo\\040704E4\\ProductName", "\\", "\\StringFileInfo", "\\Nothing\\Here"}) {
    const auto value = quorle::QueryVersionValue(block, path);
    if (!value) continue;
    const auto* first = value->bytes.data();
    if (!value->bytes.empty() && (first < data || first + value->bytes.size() > data + size)) {
      std::abort();
    }
    const std::string text = quorle::VersionValueText(*value);
    (void)text;
  }
  return 0;
}
