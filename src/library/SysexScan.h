#pragma once

#include <deque>
#include <string>
#include <vector>

#include "protocol/MessageSet.h"

namespace quorle::library {

// The bank and entry bytes of a dump taken from an edit buffer, which has neither: no bank of the
// instrument has this number, so an export must be given both.
inline constexpr std::uint8_t kNoAddress = 0x7F;

// One whole, framed Program or Mix dump found in a file. A dump from an edit buffer is given in the
// layout of a dump of its kind, its bank and entry bytes kNoAddress.
struct ScannedDump {
  const DumpKind* kind;
  int entry;  // its place among the file's Program and Mix dumps, damaged ones counted
  ByteView bytes;
  bool editBuffer = false;
};

// What a file's bytes hold: any sequence of SysEx messages, a bank file, a single dump, or a
// Standard MIDI File whose tracks carry them.
struct SysexScan {
  std::vector<ScannedDump> dumps;
  // Each damaged, cut or over-long Program or Mix dump, where it lies in the file and what is
  // wrong: "the Program dump at byte 4700 (entry 2) is cut short: 100 of 2350 bytes"; and
  // what is wrong with a damaged MIDI file.
  std::vector<std::string> problems;
  bool midiFile = false;
  bool otherAndromeda = false;  // other messages of the Andromeda too (Global Data)
  std::deque<Bytes> owned;      // what dumps point into when they are not the file's own bytes
};

// Every whole Program and Mix dump of the Andromeda in content; other messages (other
// instruments, the Global Data, identity replies) and bytes outside messages are passed over.
SysexScan ScanSysex(ByteView content);

// Whether content begins as a Standard MIDI File ("MThd").
bool IsMidiFile(ByteView content);

// What is wrong with a dump of the kind whose bytes are exactly dump, at offset in its file:
// "damaged at byte N: ...", or empty when it is whole.
std::string DumpDamage(const DumpKind& kind, ByteView dump, std::size_t offset);

}  // namespace quorle::library
