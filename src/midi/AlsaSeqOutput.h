#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "protocol/MessageSet.h"

struct _snd_seq;
struct snd_midi_event;

namespace quorle {

// An output client of the ALSA sequencer of Quorle's own, for what RtMidi's ALSA output cannot
// carry: it sends each message as one event, which the sequencer refuses beyond its client's pool
// (about 16 KB by default, less than the Global Data), and it drops a SysEx handed over in pieces.
// This client connects a port of its own to the chosen destination and sends SysEx as events of a
// few hundred bytes (snd_seq_ev_set_sysex), the way ALSA's own tools send long SysEx, with an
// output pool that holds the largest message whole. Pacing is its caller's (PacedSender). Every
// alsa-lib return is checked; a failure comes back as a sentence with alsa-lib's own words.
class AlsaSeqOutput {
 public:
  static constexpr std::size_t kPieceSize = 256;
  static constexpr std::size_t kLargestMessage = kGlobalDumpSize;
  // What the kernel allows a client's pool at most, and gives it by default.
  static constexpr std::size_t kMaxPoolCells = 2000, kDefaultPoolCells = 500;

  AlsaSeqOutput() = default;
  ~AlsaSeqOutput();
  AlsaSeqOutput(const AlsaSeqOutput&) = delete;
  AlsaSeqOutput& operator=(const AlsaSeqOutput&) = delete;

  // The client and port address at the end of a port name as RtMidi lists ALSA ports
  // ("Midi Through:Midi Through Port-0 14:0"); nothing when the name has none.
  static std::optional<std::pair<int, int>> AddressOf(const std::string& portName);
  // The name RtMidi gives the port at this address when it has the capabilities wanted (both of
  // a direction's), to be sure the address still means it; else empty with the reason in error.
  static std::string PortName(_snd_seq* seq, int client, int port, unsigned wanted,
                              std::string& error);
  // Pool cells that hold a message of `bytes` whole when sent in pieces of pieceSize: a cell for
  // each event and one for every cellBytes of its data, as the kernel stores them.
  static std::size_t PoolCells(std::size_t bytes, std::size_t pieceSize, std::size_t cellBytes);

  // Makes the client (named clientName) and its port and connects it to the port RtMidi lists as
  // portName. Empty on success, else why not; the object is then closed again.
  std::string Open(const std::string& clientName, const std::string& portName);
  // Makes the client and a port named portName that others connect to, as an instrument's port;
  // what is sent goes to every one connected. Empty on success, else why not.
  std::string OpenVirtual(const std::string& clientName, const std::string& portName);
  // One piece of a SysEx, or one whole short message, directly to the destination. Blocks while
  // the client's pool is full. False with the reason in error when alsa-lib refused it, or when
  // the destination Open connected to is gone, as it may be before the piece reached it.
  bool Send(ByteView piece, std::string& error);
  void Close();

 private:
  std::string Make(const std::string& clientName, const char* portName);
  bool Connected();  // to the destination, still

  _snd_seq* seq_ = nullptr;
  snd_midi_event* coder_ = nullptr;
  int port_ = -1;
  std::optional<std::pair<int, int>> destination_;  // when Open connected to one
  std::string destinationName_;
};

}  // namespace quorle
