#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "midi/MidiInputDriver.h"
#include "midi/MidiOutputDriver.h"
#include "midi/MidiService.h"
#include "midi/VirtualDevice.h"
#include "midi/VirtualMidiEngine.h"

namespace quorle {

// In-process devices on a thread of their own: loopbacks, test endpoints and the simulated
// instrument. Each device is one input and one output device of its name, in the order added;
// each may be opened by one input port and one output port at a time.
class VirtualMidiService : public MidiService {
 public:
  using Receiver = std::function<void(ByteView message)>;  // runs on the service's thread

  VirtualMidiService();
  ~VirtualMidiService() override;

  // Adds a device; each whole message an output port sends to it is handed to receiver (may be
  // empty) and recorded for Sent().
  std::shared_ptr<VirtualDevice> AddDevice(std::string name, Receiver receiver = {});
  std::shared_ptr<VirtualDevice> AddLoopback(std::string name);  // output comes back as input

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
  // Nothing is on a wire here: what is queued or travelling is given up at once.
  MidiResult OutReset(HMIDIOUT handle) override;

 private:
  std::shared_ptr<VirtualMidiEngine> engine_;
  std::map<const MidiInputDriver*, std::shared_ptr<MidiInputDriver>> inputs_;
  std::map<const MidiOutputDriver*, std::shared_ptr<MidiOutputDriver>> outputs_;
};

}  // namespace quorle
