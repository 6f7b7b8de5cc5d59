#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiInputDriver.h"
#include "midi/MidiOutputDriver.h"
#include "midi/MidiService.h"
#include "protocol/WireTime.h"

class RtMidiIn;
class RtMidiOut;

namespace quorle {

// Real MIDI devices through RtMidi, by the names RtMidi reports. On Linux: the ALSA sequencer,
// or JACK when ALSA is missing or QUORLE_MIDI_API=jack asks for it. No MIDI system at all means
// no devices. Long messages go out on a sender thread per port, in order, paced and cut into
// pieces the backend accepts; on ALSA through a sequencer client of Quorle's own
// (AlsaSeqOutput), RtMidi serving the lists and input. A send the backend refuses, or one that
// cannot complete within a limit, is reported done as a failure, RtMidi's words in the MIDI log.
class RtMidiService : public MidiService {
 public:
  enum class Api { Auto, Alsa, Jack };
  struct Options {
    Api api = Api::Auto;
    std::string clientName = "Quorle";  // prefix of every client this service makes
    // No faster than this on average (0: unpaced). Bursts beyond what the backend holds per
    // cycle are dropped silently by JACK; the MIDI wire's rate is what an instrument expects.
    unsigned bytesPerSecond = kWireBytesPerSecond;
    std::size_t pieceSize = 4096;                // on JACK, which loses single sends above 16 KiB
    std::chrono::milliseconds sendLimit{10000};  // beyond the message's own paced time
    bool listOwnPorts = false;  // whether the ports of this service's own clients are listed
    // Stands in for RtMidi's send of one piece on JACK, so that tests can refuse a piece as
    // RtMidi does: by throwing, or by a word through the client's error callback (warn) and a
    // normal return. Null: RtMidi's own sendMessage.
    using Warn = std::function<void(const std::string& text)>;
    std::function<void(RtMidiOut& midi, ByteView piece, const Warn& warn)> sendPiece;
  };

  RtMidiService();
  explicit RtMidiService(Options options);
  ~RtMidiService() override;

  // Which API was chosen: "alsa", "jack" or "" when none could be made.
  std::string ApiName();

  unsigned InGetNumDevs() override;
  MidiResult InGetDevCaps(unsigned id, MidiInCaps& caps) override;
  MidiResult InOpen(HMIDIIN* handle, unsigned id, MidiCallback callback, void* instance,
                    std::uint32_t flags) override;
  MidiResult InClose(HMIDIIN handle) override;

  unsigned OutGetNumDevs() override;
  MidiResult OutGetDevCaps(unsigned id, MidiOutCaps& caps) override;
  MidiResult OutOpen(HMIDIOUT* handle, unsigned id, MidiCallback callback, void* instance,
                     std::uint32_t flags) override;
  MidiResult OutClose(HMIDIOUT handle) override;
  MidiResult OutReset(HMIDIOUT handle) override;

 private:
  struct InputPort;
  struct Sender;
  const std::vector<std::string>& Names(bool inputs, bool refresh);
  std::string NextClientName(const char* kind);
  void Watch();

  Options options_;
  int api_ = 0;  // RtMidi::Api
  std::unique_ptr<RtMidiIn> listIn_;
  std::unique_ptr<RtMidiOut> listOut_;
  std::chrono::steady_clock::time_point listersMade_{};
  bool available_ = false;
  bool listed_ = false;
  std::vector<std::string> inputNames_;
  std::vector<std::string> outputNames_;
  unsigned clients_ = 0;
  std::map<const MidiInputDriver*, std::unique_ptr<InputPort>> inputs_;

  std::mutex sendersMutex_;  // the watchdog reads the senders
  std::map<const MidiOutputDriver*, std::shared_ptr<Sender>> senders_;
  std::condition_variable stopWatch_;
  bool stopping_ = false;
  std::thread watchdog_;
};

}  // namespace quorle
