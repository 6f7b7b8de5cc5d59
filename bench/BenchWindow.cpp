#include "BenchWindow.h"

#include <unistd.h>

#include <string>
#include <utility>

#include "midi/MidiDispatcher.h"
#include "midi/VirtualMidiService.h"

namespace quorle::bench {

BenchWindow::BenchWindow(unsigned simRate)
    : dir_(std::filesystem::temp_directory_path() /
           ("quorle-bench-" + std::to_string(::getpid()))) {
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  MidiSystem::Options options;
  options.realDevices = false;
  options.sim.rate = simRate;
  midi_ = std::make_unique<MidiSystem>(options);
  endpoint_ = midi_->InProcess().AddDevice("Bench Port", [arrivals = arrivals_](ByteView) {
    const auto now = Clock::now();
    std::lock_guard lock(arrivals->mutex);
    arrivals->times.push_back(now);
  });
  form_ = std::make_unique<TfrmMain>(host_, midi_->Service(), MidiDispatcher::Main(), dir_);
  form_->FormCreate();
}

BenchWindow::~BenchWindow() {
  form_.reset();
  midi_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void BenchWindow::UseEndpoint() {
  form_->UserSelectsInput(1);
  form_->UserSelectsOutput(1);
}

bool BenchWindow::WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
  return MidiDispatcher::Main().DispatchUntil(done, limit);
}

bool BenchWindow::WaitIdle(std::chrono::seconds limit) {
  return WaitFor([&] { return form_->ControlsEnabled() && form_->MidiOut.MessagesInFlight() == 0; },
                 limit);
}

std::vector<BenchWindow::Clock::time_point> BenchWindow::TakeArrivals() {
  std::lock_guard lock(arrivals_->mutex);
  return std::exchange(arrivals_->times, {});
}

std::size_t BenchWindow::ArrivalCount() const {
  std::lock_guard lock(arrivals_->mutex);
  return arrivals_->times.size();
}

}  // namespace quorle::bench
