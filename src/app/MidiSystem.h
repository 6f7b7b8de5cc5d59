#pragma once

#include <memory>
#include <stdexcept>

#include "sim/SimSettings.h"

namespace quorle {

class MidiService;
class VirtualMidiService;
class SimulatedAndromeda;
class VirtualAndromeda;

// The MIDI devices the program offers: the real ones first, then the simulated Andromeda, so a
// machine without MIDI hardware opens on the simulator and every command works out of the box.
class MidiSystem {
 public:
  struct Options {
    SimSettings sim;
    // Off in tests, and with QUORLE_MIDI_API=none, so nothing but the in-process devices shows.
    bool realDevices = true;
  };

  // Throws std::runtime_error with a sentence for the user when the simulator cannot start
  // (its state file cannot be used).
  explicit MidiSystem(const Options& options);
  ~MidiSystem();
  MidiSystem(const MidiSystem&) = delete;
  MidiSystem& operator=(const MidiSystem&) = delete;

  MidiService& Service();
  VirtualMidiService& InProcess() { return *inProcess_; }
  SimulatedAndromeda& Simulator();
  VirtualAndromeda& SimulatorDevice() { return *simulator_; }

 private:
  std::shared_ptr<VirtualMidiService> inProcess_;
  std::unique_ptr<VirtualAndromeda> simulator_;
  std::shared_ptr<MidiService> real_;
  std::unique_ptr<MidiService> all_;
};

}  // namespace quorle
