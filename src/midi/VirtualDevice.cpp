#include "midi/VirtualDevice.h"

#include "midi/VirtualMidiEngine.h"

namespace quorle {

VirtualDevice::VirtualDevice(std::string name, Receiver receiver,
                             std::weak_ptr<VirtualMidiEngine> engine)
    : name_(std::move(name)), receiver_(std::move(receiver)), engine_(std::move(engine)) {}

void VirtualDevice::Inject(Bytes message) {
  if (auto engine = engine_.lock()) engine->Inject(*this, std::move(message));
}

void VirtualDevice::SetRate(unsigned bytesPerSecond) {
  rate_.store(bytesPerSecond, std::memory_order_relaxed);
  if (auto engine = engine_.lock()) engine->Wake();
}

std::vector<Bytes> VirtualDevice::Sent() const {
  std::lock_guard lock(sentMutex_);
  return sent_;
}

bool VirtualDevice::WaitForSent(std::size_t n, std::chrono::milliseconds limit) const {
  std::unique_lock lock(sentMutex_);
  return sentChanged_.wait_for(lock, limit, [&] { return sent_.size() >= n; });
}

void VirtualDevice::SetSendFault(SendFault fails) {
  std::lock_guard lock(faultMutex_);
  sendFault_ = std::move(fails);
}

bool VirtualDevice::RefusesLongMessage() {
  std::lock_guard lock(faultMutex_);
  ++longMessages_;
  return sendFault_ && sendFault_(longMessages_);
}

void VirtualDevice::SetReceiveFault(SendFault loses) {
  std::lock_guard lock(faultMutex_);
  receiveFault_ = std::move(loses);
}

bool VirtualDevice::LosesLongMessage() {
  std::lock_guard lock(faultMutex_);
  ++longDelivered_;
  return receiveFault_ && receiveFault_(longDelivered_);
}

void VirtualDevice::Record(ByteView message) {
  {
    std::lock_guard lock(sentMutex_);
    sent_.emplace_back(message.begin(), message.end());
  }
  sentChanged_.notify_all();
}

}  // namespace quorle
