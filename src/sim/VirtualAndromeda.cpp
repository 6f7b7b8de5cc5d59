#include "sim/VirtualAndromeda.h"

namespace quorle {

std::unique_ptr<VirtualAndromeda> VirtualAndromeda::Create(VirtualMidiService& service,
                                                           SimSettings settings,
                                                           std::string& error) {
  auto instrument = std::make_unique<SimulatedAndromeda>(std::move(settings));
  error = instrument->OpenState();
  if (!error.empty()) return nullptr;

  std::unique_ptr<VirtualAndromeda> sim(new VirtualAndromeda(std::move(instrument)));
  std::shared_ptr<Link> link = sim->link_;
  sim->device_ = service.AddDevice(SimulatedAndromeda::kDeviceName, [link](ByteView message) {
    std::lock_guard lock(link->mutex);
    if (link->owner) link->owner->Receive(message);
  });
  // A rehearsed failure of the port, read at each long message so a change of faults holds.
  SimulatedAndromeda* simulated = sim->instrument_.get();
  sim->device_->SetSendFault([link, simulated](unsigned number) {
    std::lock_guard lock(link->mutex);
    return link->owner && simulated->Faults().portFailAt == number;
  });
  sim->device_->SetReceiveFault([link, simulated](unsigned number) {
    std::lock_guard lock(link->mutex);
    return link->owner && simulated->Faults().inputLossAt == number;
  });
  const unsigned rate = sim->instrument_->Settings().rate;
  sim->device_->SetRate(rate);
  // The device carries each message at the rate; the sender keeps the line's order and pauses.
  std::weak_ptr<VirtualDevice> device = sim->device_;
  sim->sender_ = std::make_unique<SimSender>(
      [device](Bytes message) {
        if (auto d = device.lock()) d->Inject(std::move(message));
      },
      rate, SimSender::Handover::WhenStarted);
  std::lock_guard lock(link->mutex);
  link->owner = sim.get();
  return sim;
}

VirtualAndromeda::VirtualAndromeda(std::unique_ptr<SimulatedAndromeda> instrument)
    : instrument_(std::move(instrument)), link_(std::make_shared<Link>()) {}

VirtualAndromeda::~VirtualAndromeda() {
  {
    // Waits for a message being answered on the service's thread.
    std::lock_guard lock(link_->mutex);
    link_->owner = nullptr;
  }
  sender_.reset();
}

void VirtualAndromeda::SetRate(unsigned bytesPerSecond) {
  device_->SetRate(bytesPerSecond);
  sender_->SetRate(bytesPerSecond);
}

void VirtualAndromeda::Silence() {
  sender_->Clear();
}

bool VirtualAndromeda::WaitUntilIdle(std::chrono::milliseconds limit) {
  return sender_->WaitUntilIdle(limit);
}

void VirtualAndromeda::Receive(ByteView message) {
  sender_->Enqueue(instrument_->Receive(message));
}

}  // namespace quorle
