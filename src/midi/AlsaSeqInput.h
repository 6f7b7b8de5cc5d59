#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

struct _snd_seq;
struct snd_midi_event;

namespace quorle {

class MidiInputDriver;

// An input client of the ALSA sequencer of Quorle's own. RtMidi's ALSA input leaves the input
// pool at the kernel's default (about 4 KB of SysEx), and when that overruns it goes on joining
// pieces, so the head of one dump and the tail of a later one arrive as one message. This client
// asks for the largest pool the kernel allows, reads on a thread of its own, hands SysEx pieces
// to the driver to join, and reports every failed read (-ENOSPC after an overrun, when the
// kernel has emptied the pool) as lost input, which drops the SysEx half-joined.
class AlsaSeqInput {
 public:
  AlsaSeqInput() = default;
  ~AlsaSeqInput();
  AlsaSeqInput(const AlsaSeqInput&) = delete;
  AlsaSeqInput& operator=(const AlsaSeqInput&) = delete;

  // Makes the client (named clientName) and its port, connects the port RtMidi lists as portName
  // to it and starts reading into driver. Empty on success, else why not; then closed again.
  std::string Open(const std::string& clientName, const std::string& portName,
                   MidiInputDriver& driver);
  // Stops the reading thread; the driver hears nothing more once this returns.
  void Close();

 private:
  void Read();

  _snd_seq* seq_ = nullptr;
  snd_midi_event* decoder_ = nullptr;
  MidiInputDriver* driver_ = nullptr;
  int stopPipe_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace quorle
