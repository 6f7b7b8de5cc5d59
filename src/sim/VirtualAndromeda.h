#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "midi/VirtualDevice.h"
#include "midi/VirtualMidiService.h"
#include "sim/SimSender.h"
#include "sim/SimSettings.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle {

// The simulated Andromeda as a device of the in-process MIDI service: one input and one output
// device named "Simulated Andromeda". Requests are answered on the service's thread; the answers
// go out through the instrument's own sender, paced at its rate in both directions.
class VirtualAndromeda {
 public:
  // Opens the instrument's state file, then adds the device to the service. On failure nothing
  // is added and error holds the reason.
  static std::unique_ptr<VirtualAndromeda> Create(VirtualMidiService& service, SimSettings settings,
                                                  std::string& error);
  // The device stays in the service's list but answers nothing from then on.
  ~VirtualAndromeda();
  VirtualAndromeda(const VirtualAndromeda&) = delete;
  VirtualAndromeda& operator=(const VirtualAndromeda&) = delete;

  SimulatedAndromeda& Instrument() { return *instrument_; }
  VirtualDevice& Device() { return *device_; }

  // Bytes per second, 0 at once; for what the instrument sends and what it is sent alike.
  void SetRate(unsigned bytesPerSecond);
  // Drops every answer not yet sent.
  void Silence();
  // Whether every answer so far has been handed to the service within limit.
  bool WaitUntilIdle(std::chrono::milliseconds limit);

 private:
  // What the service's receiver holds, so a message that arrives after the adapter is gone
  // finds nobody instead of freed memory.
  struct Link {
    std::mutex mutex;
    VirtualAndromeda* owner = nullptr;
  };

  explicit VirtualAndromeda(std::unique_ptr<SimulatedAndromeda> instrument);
  void Receive(ByteView message);

  std::unique_ptr<SimulatedAndromeda> instrument_;
  std::shared_ptr<Link> link_;
  std::shared_ptr<VirtualDevice> device_;
  std::unique_ptr<SimSender> sender_;
};

}  // namespace quorle
