#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "BenchHost.h"
#include "app/MidiSystem.h"
#include "app/TfrmMain.h"
#include "midi/VirtualDevice.h"

namespace quorle::bench {

// The main window over the in-process devices only, as the window tests start it: the simulated
// Andromeda is device 0, a capturing endpoint device 1. The endpoint notes when each message
// sent to it has wholly arrived.
class BenchWindow {
 public:
  using Clock = std::chrono::steady_clock;

  explicit BenchWindow(unsigned simRate);
  ~BenchWindow();
  BenchWindow(const BenchWindow&) = delete;
  BenchWindow& operator=(const BenchWindow&) = delete;

  TfrmMain& Form() { return *form_; }
  BenchHost& Host() { return host_; }
  MidiSystem& Midi() { return *midi_; }
  VirtualDevice& Endpoint() { return *endpoint_; }
  const std::filesystem::path& Folder() const { return dir_; }

  // Talk to the endpoint instead of the instrument.
  void UseEndpoint();
  // Dispatches the window's MIDI and timers until done answers true; false after limit.
  static bool WaitFor(const std::function<bool()>& done,
                      std::chrono::seconds limit = std::chrono::seconds(60));
  // Waits until the exchange has ended and everything sent has left the output port.
  bool WaitIdle(std::chrono::seconds limit = std::chrono::seconds(60));

  // When each message reached the endpoint since the last call; the list is emptied.
  std::vector<Clock::time_point> TakeArrivals();
  std::size_t ArrivalCount() const;

 private:
  struct Arrivals {
    mutable std::mutex mutex;
    std::vector<Clock::time_point> times;
  };

  std::filesystem::path dir_;
  BenchHost host_;
  std::shared_ptr<Arrivals> arrivals_ = std::make_shared<Arrivals>();
  std::unique_ptr<MidiSystem> midi_;
  std::shared_ptr<VirtualDevice> endpoint_;
  std::unique_ptr<TfrmMain> form_;
};

}  // namespace quorle::bench
