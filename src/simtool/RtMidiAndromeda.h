#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <RtMidi.h>

#include "midi/AlsaSeqOutput.h"
#include "midi/PacedSender.h"
#include "sim/SimSender.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle {

// The simulated Andromeda on a real MIDI system: a virtual input and output port pair named
// "Simulated Andromeda", so other programs reach it as they would the instrument. Input through
// RtMidi; output on ALSA through a sequencer client as the programs send (AlsaSeqOutput, paced
// pieces of 256 bytes), on JACK through RtMidi.
class RtMidiAndromeda {
 public:
  // RtMidi's JACK send ring loses a message of 16,380 bytes or more without a word; pieces this
  // size arrive, and the receiving side joins them into the whole message again.
  static constexpr std::size_t kMaxPiece = 4096;

  // The API named by QUORLE_MIDI_API ("alsa" or "jack"); without it ALSA, or JACK when this
  // machine has no ALSA sequencer. Sets error when there is no usable choice.
  static RtMidi::Api ChooseApi(const char* requested, std::string& error);

  // The instrument must have its state opened already; it outlives this object.
  RtMidiAndromeda(SimulatedAndromeda& instrument, RtMidi::Api api);
  // Closes the ports, then stops sending.
  ~RtMidiAndromeda();
  RtMidiAndromeda(const RtMidiAndromeda&) = delete;
  RtMidiAndromeda& operator=(const RtMidiAndromeda&) = delete;

  // Sees every message the instrument takes ('<') and sends ('>'), on the threads that handle
  // them (never the MIDI system's own). Set before Open.
  using Tap = std::function<void(char direction, const Bytes& message)>;
  void SetTap(Tap tap) { tap_ = std::move(tap); }

  // Opens the port pair; the reason on failure.
  std::string Open();
  // Stops taking requests: what comes in from now on is ignored (the port stays until the end).
  void CloseInput();
  std::string ApiName() const;

 private:
  static void OnMessage(double, std::vector<unsigned char>* message, void* self);
  void Work();
  void Send(Bytes message);

  SimulatedAndromeda& instrument_;
  const RtMidi::Api api_;
  std::unique_ptr<RtMidiIn> in_;
  std::unique_ptr<RtMidiOut> out_;
  std::unique_ptr<AlsaSeqOutput> alsaOut_;
  std::unique_ptr<PacedSender> paced_;    // the sender thread's
  std::atomic<bool> closing_{false};      // a message being sent stops at its next piece
  std::atomic<bool> inputClosed_{false};  // requests from now on are ignored

  // Requests are answered off the MIDI system's thread, which must never wait.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Bytes> incoming_;
  bool stop_ = false;
  std::thread worker_;
  std::unique_ptr<SimSender> sender_;
  Tap tap_;
};

}  // namespace quorle
