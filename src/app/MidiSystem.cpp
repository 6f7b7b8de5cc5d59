#include "app/MidiSystem.h"

#include "midi/CompositeMidiService.h"
#include "midi/RtMidiService.h"
#include "midi/VirtualMidiService.h"
#include "sim/VirtualAndromeda.h"

namespace quorle {

MidiSystem::MidiSystem(const Options& options)
    : inProcess_(std::make_shared<VirtualMidiService>()) {
  std::string error;
  simulator_ = VirtualAndromeda::Create(*inProcess_, options.sim, error);
  if (!simulator_) throw std::runtime_error(error);
  std::vector<std::shared_ptr<MidiService>> services;
  if (options.realDevices) {
    real_ = std::make_shared<RtMidiService>();
    services.push_back(real_);
  }
  services.push_back(inProcess_);
  all_ = std::make_unique<CompositeMidiService>(std::move(services));
}

// The simulator goes before the services it answers through.
MidiSystem::~MidiSystem() {
  all_.reset();
  simulator_.reset();
}

MidiService& MidiSystem::Service() {
  return *all_;
}

SimulatedAndromeda& MidiSystem::Simulator() {
  return simulator_->Instrument();
}

}  // namespace quorle
