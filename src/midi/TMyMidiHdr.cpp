#include "midi/TMyMidiHdr.h"

namespace quorle {

TMyMidiHdr::TMyMidiHdr(std::uint16_t size) {
  if (size == 0) return;
  data_.reset(new std::uint8_t[size]());
  header_.lpData = data_.get();
  header_.dwBufferLength = size;
}

}  // namespace quorle
