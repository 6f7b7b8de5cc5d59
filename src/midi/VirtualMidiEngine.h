#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "midi/MidiService.h"
#include "midi/VirtualDevice.h"
#include "protocol/WireTime.h"

namespace quorle {

// The thread of the in-process service and the devices it serves: moves injected messages to
// input ports and sent messages to devices, each at its device's byte rate.
class VirtualMidiEngine : public std::enable_shared_from_this<VirtualMidiEngine> {
 public:
  VirtualMidiEngine();
  ~VirtualMidiEngine();
  void Stop();  // joins the thread; call before the last owner lets go

  std::shared_ptr<VirtualDevice> AddDevice(std::string name, VirtualDevice::Receiver receiver);
  unsigned DeviceCount() const;
  std::shared_ptr<VirtualDevice> Device(unsigned index) const;

  MidiResult OpenInput(unsigned index, std::shared_ptr<MidiInputDriver> driver);
  void CloseInput(const MidiInputDriver* driver);
  MidiResult OpenOutput(unsigned index, std::shared_ptr<MidiOutputDriver> driver);
  void CloseOutput(const MidiOutputDriver* driver);

  void Inject(VirtualDevice& device, Bytes message);
  void Wake();

 private:
  using Clock = std::chrono::steady_clock;
  static Clock::duration WireTime(std::size_t bytes, unsigned rate);
  void Run();
  // Delivers one message that is due, with the lock released meanwhile; false when none is.
  static void Deliver(VirtualDevice& device, MidiInputDriver& input, ByteView message);
  bool DeliverOne(std::unique_lock<std::mutex>& lock, Clock::time_point& next);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<VirtualDevice>> devices_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace quorle
