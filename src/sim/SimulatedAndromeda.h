#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"
#include "sim/SimFaults.h"
#include "sim/SimSender.h"
#include "sim/SimSettings.h"
#include "sim/SimStateFile.h"

namespace quorle {

// The Alesis Andromeda as seen over MIDI, without any transport: its memory, the answers to the
// requests of the message set and the dumps it stores. Each received message becomes the list of
// messages the instrument sends in return, which a SimSender then puts on the line.
// Thread-safe: messages may arrive on one thread while a test changes the faults on another.
class SimulatedAndromeda {
 public:
  static constexpr const char* kDeviceName = "Simulated Andromeda";

  // A fresh memory filled from the seed; no file is touched yet.
  explicit SimulatedAndromeda(SimSettings settings);
  ~SimulatedAndromeda();
  SimulatedAndromeda(const SimulatedAndromeda&) = delete;
  SimulatedAndromeda& operator=(const SimulatedAndromeda&) = delete;

  // With a state file: loads the memory from it, or creates it from the fresh memory when it is
  // missing or holds only part of the memory. A file that cannot be used is left as it is and
  // the reason comes back, for the caller to refuse to start. Empty on success.
  std::string OpenState();

  // The messages the instrument sends in answer to one received message (none for most).
  std::vector<ScheduledMessage> Receive(ByteView message);

  void SetFaults(const SimFaults& faults);
  SimFaults Faults() const;
  const SimSettings& Settings() const { return settings_; }

  // Bank numbers 0 to BankCount(kind) - 1 exist: User, the presets, then the card banks.
  int BankCount(const DumpKind& kind) const;
  bool HasBank(const DumpKind& kind, int bank) const;
  bool IsWritableBank(const DumpKind& kind, int bank) const;
  // The dump as the instrument would send it; empty for a bank it does not have.
  Bytes Dump(const DumpKind& kind, int bank, int entry) const;
  // The whole bank as a bank file holds it, its 128 dumps in order; empty for a bank it lacks.
  Bytes BankFile(const DumpKind& kind, int bank) const;
  Bytes GlobalData() const;

  // Waits until every change so far is in the state file (true at once without one).
  bool FlushState(std::chrono::milliseconds limit);
  // Where a failed write of the state file is reported; it runs on the file's own thread.
  void SetStateErrorHandler(SimStateFile::ErrorHandler handler);

 private:
  std::vector<Bytes>& Memory(const DumpKind& kind);
  const std::vector<Bytes>& Memory(const DumpKind& kind) const;
  Bytes DumpLocked(const DumpKind& kind, int bank, int entry) const;
  // The answer to one message, under the lock; stored tells whether it changed the memory.
  std::vector<ScheduledMessage> Answer(ByteView message, bool& stored);
  std::vector<ScheduledMessage> Single(Bytes message) const;
  std::vector<ScheduledMessage> Bank(const DumpKind& kind, int bank) const;
  bool Store(ByteView message);
  Bytes Snapshot() const;
  // Whether the next message to or from the instrument is lost (the lose fault).
  bool Lost();
  // Whether a dump that has just arrived finds the instrument still busy storing the last one.
  bool ArrivesBusy(ByteView message);

  const SimSettings settings_;
  mutable std::mutex mutex_;
  SimFaults faults_;
  std::mt19937_64 losses_;
  std::chrono::steady_clock::time_point busyUntil_{};
  std::vector<Bytes> programs_;  // bank * 128 + entry
  std::vector<Bytes> mixes_;
  Bytes global_;
  std::unique_ptr<SimStateFile> state_;  // last: its thread reads the memory above
};

}  // namespace quorle
