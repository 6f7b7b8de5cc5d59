#include "midi/VirtualMidiEngine.h"

#include <algorithm>

#include "midi/MidiInputDriver.h"
#include "midi/MidiSystemLog.h"

namespace quorle {

VirtualMidiEngine::VirtualMidiEngine() : thread_([this] { Run(); }) {}

VirtualMidiEngine::~VirtualMidiEngine() {
  Stop();
}

void VirtualMidiEngine::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void VirtualMidiEngine::Wake() {
  { std::lock_guard lock(mutex_); }  // a waiter between its check and its wait still sees it
  changed_.notify_all();
}

std::shared_ptr<VirtualDevice> VirtualMidiEngine::AddDevice(std::string name,
                                                            VirtualDevice::Receiver receiver) {
  auto device =
      std::make_shared<VirtualDevice>(std::move(name), std::move(receiver), weak_from_this());
  std::lock_guard lock(mutex_);
  devices_.push_back(device);
  return device;
}

unsigned VirtualMidiEngine::DeviceCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<unsigned>(devices_.size());
}

std::shared_ptr<VirtualDevice> VirtualMidiEngine::Device(unsigned index) const {
  std::lock_guard lock(mutex_);
  return index < devices_.size() ? devices_[index] : nullptr;
}

MidiResult VirtualMidiEngine::OpenInput(unsigned index, std::shared_ptr<MidiInputDriver> driver) {
  std::lock_guard lock(mutex_);
  if (index >= devices_.size()) return MMSYSERR_BADDEVICEID;
  VirtualDevice& device = *devices_[index];
  if (device.input_) return MMSYSERR_ALLOCATED;
  device.input_ = std::move(driver);
  device.inbound_.clear();
  return MMSYSERR_NOERROR;
}

void VirtualMidiEngine::CloseInput(const MidiInputDriver* driver) {
  std::lock_guard lock(mutex_);
  for (auto& device : devices_) {
    if (device->input_.get() != driver) continue;
    device->input_.reset();
    device->inbound_.clear();
  }
}

MidiResult VirtualMidiEngine::OpenOutput(unsigned index, std::shared_ptr<MidiOutputDriver> driver) {
  std::lock_guard lock(mutex_);
  if (index >= devices_.size()) return MMSYSERR_BADDEVICEID;
  VirtualDevice& device = *devices_[index];
  if (device.output_) return MMSYSERR_ALLOCATED;
  driver->SetWakeup([weak = weak_from_this()] {
    if (auto engine = weak.lock()) engine->Wake();
  });
  device.output_ = std::move(driver);
  device.outBusy_ = false;
  return MMSYSERR_NOERROR;
}

void VirtualMidiEngine::CloseOutput(const MidiOutputDriver* driver) {
  std::lock_guard lock(mutex_);
  for (auto& device : devices_) {
    if (device->output_.get() != driver) continue;
    device->output_.reset();
    device->outBusy_ = false;
  }
}

void VirtualMidiEngine::Inject(VirtualDevice& device, Bytes message) {
  {
    std::lock_guard lock(mutex_);
    if (stop_ || message.empty() || !device.input_ || !device.input_->Started()) return;
    if (device.inbound_.empty()) device.inboundStart_ = Clock::now();
    device.inbound_.push_back(std::move(message));
  }
  changed_.notify_all();
}

VirtualMidiEngine::Clock::duration VirtualMidiEngine::WireTime(std::size_t bytes, unsigned rate) {
  return quorle::WireTime(bytes, rate);
}

void VirtualMidiEngine::Run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    auto next = Clock::time_point::max();
    if (DeliverOne(lock, next)) continue;
    if (next == Clock::time_point::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, next);
    }
  }
}

// The input's MIDI thread. A long message cut by lost input goes in pieces, as ALSA delivers
// SysEx: its head, the report of the loss, and nothing more of it; the next long message then
// lacks its head, lost with it. Joined regardless, the two would make one dump of the right size.
void VirtualMidiEngine::Deliver(VirtualDevice& device, MidiInputDriver& input, ByteView message) {
  constexpr std::size_t kPiece = 256;
  const bool sysex = !message.empty() && message[0] == kSysexStart;
  if (sysex && device.headLost_) {
    device.headLost_ = false;
    for (std::size_t at = kPiece; at < message.size(); at += kPiece) {
      input.ReceivePiece(message.subspan(at, std::min(kPiece, message.size() - at)));
    }
    input.Confirm();
  } else if (sysex && device.LosesLongMessage()) {
    input.ReceivePiece(message.first(std::min(kPiece, message.size())));
    input.InputLost();
    device.headLost_ = true;
  } else {
    input.Receive(message);
  }
}

bool VirtualMidiEngine::DeliverOne(std::unique_lock<std::mutex>& lock, Clock::time_point& next) {
  const auto now = Clock::now();
  for (const auto& held : devices_) {
    const std::shared_ptr<VirtualDevice> device = held;
    const unsigned rate = device->Rate();

    if (!device->inbound_.empty()) {
      const auto ready = device->inboundStart_ + WireTime(device->inbound_.front().size(), rate);
      if (ready <= now) {
        Bytes message = std::move(device->inbound_.front());
        device->inbound_.pop_front();
        device->inboundStart_ = ready;  // the next message follows this one on the wire
        const std::shared_ptr<MidiInputDriver> input = device->input_;
        lock.unlock();
        if (input) Deliver(*device, *input, message);
        lock.lock();
        return true;
      }
      next = std::min(next, ready);
    }

    if (!device->outBusy_ && device->output_ && device->output_->TryNext(device->outItem_)) {
      device->outBusy_ = true;
      device->outStart_ = std::max(now, device->outFree_);
    }
    if (device->outBusy_) {
      const auto ready = device->outStart_ + WireTime(device->outItem_.data.size(), rate);
      if (ready <= now) {
        device->outBusy_ = false;
        device->outFree_ = ready;
        const std::shared_ptr<MidiOutputDriver> output = device->output_;
        const MidiOutputDriver::Item item = std::move(device->outItem_);
        lock.unlock();
        // A message given up by a reset meanwhile never reaches the device.
        if (output && output->Current(item)) {
          if (item.header && device->RefusesLongMessage()) {
            MidiSystemLog::Main().Write(device->Name() + ": the in-process MIDI output refused a " +
                                        std::to_string(item.data.size()) + "-byte message");
            output->Finish(item, MMSYSERR_ERROR);
          } else {
            // Recorded once the device has taken it, so whoever waits for it to be sent finds
            // the device's answer, or its state, already changed.
            if (device->receiver_) device->receiver_(item.data);
            device->Record(item.data);
            output->Finish(item);
          }
        }
        lock.lock();
        return true;
      }
      next = std::min(next, ready);
    }
  }
  return false;
}

}  // namespace quorle
