#pragma once

#include <cstdint>

#include "protocol/MessageSet.h"

namespace quorle {

// One received event as a reply handler gets it from FetchEvent; the handler owns it.
struct TMyMidiEvent {
  std::uint8_t Status = 0;  // 0xF0 for SysEx
  std::uint8_t DataByte1 = 0;
  std::uint8_t DataByte2 = 0;
  std::uint32_t Timestamp = 0;  // milliseconds since the input port's Start
  std::uint16_t SysexSize = 0;  // 0 for a short message
  Bytes SysexData;              // what one receive buffer held; empty for a short message
};

}  // namespace quorle
