#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "midi/MidiOutputDriver.h"
#include "protocol/MessageSet.h"

namespace quorle {

class MidiInputDriver;
class VirtualMidiEngine;

// One in-process device, seen as one input and one output device of its name.
class VirtualDevice {
 public:
  using Receiver = std::function<void(ByteView message)>;

  VirtualDevice(std::string name, Receiver receiver, std::weak_ptr<VirtualMidiEngine> engine);
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;

  const std::string& Name() const { return name_; }
  // Queues a whole message (SysEx or short) towards the input port that has this device open and
  // started; delivered on the service's thread, in order, paced at the device's rate. Dropped when
  // no input port has it open and started. Any thread, also the receiver's.
  void Inject(Bytes message);
  void SetRate(unsigned bytesPerSecond);  // 0 = deliver at once; 3125 = MIDI wire
  unsigned Rate() const { return rate_.load(std::memory_order_relaxed); }
  // Everything output ports have sent to this device, in order.
  std::vector<Bytes> Sent() const;
  // The output port towards this device refuses the long messages for which fails answers true,
  // as a MIDI system that cannot send them: asked with each long message's number as it reaches
  // the device (1 for the first since the device was added). Empty: none is refused.
  using SendFault = std::function<bool(unsigned number)>;
  void SetSendFault(SendFault fails);
  // The input port from this device loses input in the middle of the long messages for which
  // loses answers true (1 for the first delivered since the device was added): it gets the
  // message's first piece and the MIDI system's report of lost input; the rest of it and the
  // head of the next long message are lost.
  void SetReceiveFault(SendFault loses);
  // Waits (with a limit) until at least n messages have been sent to the device.
  bool WaitForSent(std::size_t n, std::chrono::milliseconds limit) const;

 private:
  friend class VirtualMidiEngine;
  using Clock = std::chrono::steady_clock;

  void Record(ByteView message);
  // The engine's thread: whether the next long message is refused.
  bool RefusesLongMessage();
  // The engine's thread: whether the next long message delivered is cut by lost input.
  bool LosesLongMessage();

  const std::string name_;
  const Receiver receiver_;
  const std::weak_ptr<VirtualMidiEngine> engine_;
  std::atomic<unsigned> rate_{0};

  // Guarded by the engine's lock.
  std::shared_ptr<MidiInputDriver> input_;
  std::deque<Bytes> inbound_;
  Clock::time_point inboundStart_{};  // when the head of inbound_ began to travel
  std::shared_ptr<MidiOutputDriver> output_;
  bool outBusy_ = false;
  MidiOutputDriver::Item outItem_;
  Clock::time_point outStart_{};
  Clock::time_point outFree_{};  // when the wire towards the device is free again

  std::mutex faultMutex_;
  SendFault sendFault_;
  unsigned longMessages_ = 0;
  SendFault receiveFault_;
  unsigned longDelivered_ = 0;
  bool headLost_ = false;  // the engine's thread's

  mutable std::mutex sentMutex_;
  mutable std::condition_variable sentChanged_;
  std::vector<Bytes> sent_;
};

}  // namespace quorle
