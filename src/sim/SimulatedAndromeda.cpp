#include "sim/SimulatedAndromeda.h"

#include <algorithm>

#include "sim/SimContent.h"

namespace quorle {

namespace {

bool IsIdentityRequest(ByteView m) {
  return m.size() == 6 && m[0] == kSysexStart && m[1] == 0x7E && m[3] == 0x06 && m[4] == 0x01 &&
         m[5] == kSysexEnd;
}

// F0 00 00 0E 1D, nothing at or above 80 hex inside, F7 last.
bool IsAndromedaMessage(ByteView m) {
  if (m.size() < kHeaderSize + 1 || m.back() != kSysexEnd) return false;
  if (!std::equal(std::begin(kHeader), std::end(kHeader), m.begin())) return false;
  return std::all_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b < 0x80; });
}

bool IsGlobalDump(ByteView m) {
  return CheckGlobalFraming(m) && m[5] == kGlobalOpcode;
}

Bytes ForeignMessage(SimFaults::Foreign foreign, const std::string& version) {
  switch (foreign) {
    case SimFaults::Foreign::IdentityReply:
      return IdentityReply(version);
    case SimFaults::Foreign::ShortMessage:
      return {0x90, 0x3C, 0x40};  // a note on
    case SimFaults::Foreign::ActiveSensing:
      break;
  }
  return {0xFE};
}

const DumpKind& OtherKind(const DumpKind& kind) {
  return kind.opcode == kProgramKind.opcode ? kMixKind : kProgramKind;
}

// A card holds at most 14 banks, so no bank number above 16 ever answers.
SimSettings WithinLimits(SimSettings settings) {
  settings.programCardBanks = std::clamp(settings.programCardBanks, 0, SimSettings::kMaxCardBanks);
  settings.mixCardBanks = std::clamp(settings.mixCardBanks, 0, SimSettings::kMaxCardBanks);
  return settings;
}

}  // namespace

SimulatedAndromeda::SimulatedAndromeda(SimSettings settings)
    : settings_(WithinLimits(std::move(settings))),
      faults_(settings_.faults),
      losses_(faults_.loseSeed) {
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    auto& memory = Memory(*kind);
    const int banks = BankCount(*kind);
    memory.reserve(static_cast<std::size_t>(banks) * kBankEntries);
    for (int bank = 0; bank < banks; ++bank) {
      for (int entry = 0; entry < static_cast<int>(kBankEntries); ++entry) {
        memory.push_back(SeededDump(*kind, settings_.seed, bank, entry, settings_.programCardBanks,
                                    settings_.mixCardBanks));
      }
    }
  }
  global_ = SeededGlobalDump(settings_.seed);
}

SimulatedAndromeda::~SimulatedAndromeda() = default;

std::string SimulatedAndromeda::OpenState() {
  if (settings_.stateFile.empty() || state_) return {};
  auto state = std::make_unique<SimStateFile>(settings_.stateFile, [this] { return Snapshot(); });
  const std::string prefix = "state file " + settings_.stateFile.string() + ": ";

  std::vector<Bytes> messages;
  bool missing = false;
  if (IoResult read = state->Read(messages, missing); !read.ok) {
    return prefix + read.error + "; it was left as it is";
  }

  bool complete = false;
  {
    std::lock_guard lock(mutex_);
    std::vector<bool> programSeen(programs_.size()), mixSeen(mixes_.size());
    bool globalSeen = false;
    std::size_t offset = 0;
    for (const Bytes& m : messages) {
      const std::string where = "the message at byte " + std::to_string(offset);
      offset += m.size();
      if (IsGlobalDump(m)) {
        global_ = m;
        globalSeen = true;
        continue;
      }
      const DumpKind* kind = FramedDumpKind(m);
      if (kind == nullptr) {
        return prefix + where + " is not a Program, Mix or Global Data dump; it was left as it is";
      }
      const int bank = m[6];
      if (!HasBank(*kind, bank)) {
        return prefix + where + " is for " + std::string(kind->name) + " bank " +
               std::to_string(bank) + ", which this instrument does not have (" +
               std::to_string(BankCount(*kind) - kind->firstCardBank) +
               " card banks); it was left as it is";
      }
      const std::size_t slot = static_cast<std::size_t>(bank) * kBankEntries + m[7];
      Memory(*kind)[slot] = m;
      (kind == &kProgramKind ? programSeen : mixSeen)[slot] = true;
    }
    auto all = [](const std::vector<bool>& seen) {
      return std::all_of(seen.begin(), seen.end(), [](bool b) { return b; });
    };
    complete = globalSeen && all(programSeen) && all(mixSeen);
  }

  // A new or partial file is completed at once, so it always holds the whole memory.
  if (missing || !complete) {
    if (IoResult write = state->WriteNow(); !write.ok) {
      return prefix + (missing ? "cannot create it: " : "cannot write it: ") + write.error;
    }
  }
  state_ = std::move(state);
  return {};
}

std::vector<ScheduledMessage> SimulatedAndromeda::Receive(ByteView m) {
  std::vector<ScheduledMessage> replies;
  bool stored = false;
  {
    std::lock_guard lock(mutex_);
    if (Lost()) return {};
    replies = Answer(m, stored);
    if (faults_.losePercent > 0) {
      // A lost reply still leaves its pause on the line before the next one.
      std::vector<ScheduledMessage> kept;
      std::chrono::milliseconds pause{0};
      for (ScheduledMessage& r : replies) {
        pause += r.pauseBefore;
        if (Lost()) continue;
        kept.push_back({std::move(r.message), pause});
        pause = {};
      }
      replies = std::move(kept);
    }
  }
  // Outside the lock: the state file's thread takes it to read the memory.
  if (stored && state_) state_->Changed();
  return replies;
}

std::vector<ScheduledMessage> SimulatedAndromeda::Answer(ByteView m, bool& stored) {
  if (IsIdentityRequest(m)) return Single(IdentityReply(settings_.version));
  if (!IsAndromedaMessage(m)) return {};

  const std::uint8_t opcode = m[5];
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    if (opcode == kind->requestOpcode && m.size() == 9) {
      if (!HasBank(*kind, m[6])) return {};
      return Single(DumpLocked(*kind, m[6], m[7]));
    }
    if (opcode == kind->bankRequestOpcode && m.size() == 8) return Bank(*kind, m[6]);
  }
  if (opcode == kGlobalRequestOpcode && m.size() == 8) return Single(global_);
  stored = !ArrivesBusy(m) && Store(m);
  return {};
}

bool SimulatedAndromeda::Lost() {
  if (faults_.losePercent <= 0) return false;
  return std::uniform_real_distribution<double>(0, 100)(losses_) < faults_.losePercent;
}

bool SimulatedAndromeda::ArrivesBusy(ByteView m) {
  if (faults_.busyAfterStore.count() == 0) return false;
  const auto now = std::chrono::steady_clock::now();
  // The instrument starts to take a dump with its first byte, a transfer time before its last.
  const auto transfer =
      settings_.rate == 0
          ? std::chrono::steady_clock::duration{}
          : std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(static_cast<double>(m.size()) / settings_.rate));
  if (now - transfer < busyUntil_) return true;
  busyUntil_ = now + faults_.busyAfterStore;
  return false;
}

void SimulatedAndromeda::SetFaults(const SimFaults& faults) {
  std::lock_guard lock(mutex_);
  if (faults.loseSeed != faults_.loseSeed || faults.losePercent != faults_.losePercent) {
    losses_.seed(faults.loseSeed);
  }
  faults_ = faults;
}

SimFaults SimulatedAndromeda::Faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

int SimulatedAndromeda::BankCount(const DumpKind& kind) const {
  const int card =
      kind.opcode == kProgramKind.opcode ? settings_.programCardBanks : settings_.mixCardBanks;
  return kind.firstCardBank + card;
}

bool SimulatedAndromeda::HasBank(const DumpKind& kind, int bank) const {
  return bank >= 0 && bank < BankCount(kind);
}

bool SimulatedAndromeda::IsWritableBank(const DumpKind& kind, int bank) const {
  return HasBank(kind, bank) && kind.TakesDumps(bank);
}

Bytes SimulatedAndromeda::Dump(const DumpKind& kind, int bank, int entry) const {
  std::lock_guard lock(mutex_);
  if (!HasBank(kind, bank) || entry < 0 || entry >= static_cast<int>(kBankEntries)) return {};
  return DumpLocked(kind, bank, entry);
}

Bytes SimulatedAndromeda::BankFile(const DumpKind& kind, int bank) const {
  std::lock_guard lock(mutex_);
  Bytes file;
  if (!HasBank(kind, bank)) return file;
  file.reserve(kind.BankFileSize());
  for (int entry = 0; entry < static_cast<int>(kBankEntries); ++entry) {
    const Bytes dump = DumpLocked(kind, bank, entry);
    file.insert(file.end(), dump.begin(), dump.end());
  }
  return file;
}

Bytes SimulatedAndromeda::GlobalData() const {
  std::lock_guard lock(mutex_);
  return global_;
}

bool SimulatedAndromeda::FlushState(std::chrono::milliseconds limit) {
  return !state_ || state_->Flush(limit);
}

void SimulatedAndromeda::SetStateErrorHandler(SimStateFile::ErrorHandler handler) {
  if (state_) state_->SetErrorHandler(std::move(handler));
}

std::vector<Bytes>& SimulatedAndromeda::Memory(const DumpKind& kind) {
  return kind.opcode == kProgramKind.opcode ? programs_ : mixes_;
}

const std::vector<Bytes>& SimulatedAndromeda::Memory(const DumpKind& kind) const {
  return kind.opcode == kProgramKind.opcode ? programs_ : mixes_;
}

Bytes SimulatedAndromeda::DumpLocked(const DumpKind& kind, int bank, int entry) const {
  Bytes dump =
      Memory(kind)[static_cast<std::size_t>(bank) * kBankEntries + static_cast<std::size_t>(entry)];
  // A stored dump may come from an instrument with another card; this one reports its own.
  ReportCardBanks(kind, dump, settings_.programCardBanks, settings_.mixCardBanks);
  return dump;
}

std::vector<ScheduledMessage> SimulatedAndromeda::Single(Bytes message) const {
  if (faults_.ignoreSingleRequests) return {};
  std::vector<ScheduledMessage> out;
  out.push_back({std::move(message), faults_.replyDelay});
  return out;
}

std::vector<ScheduledMessage> SimulatedAndromeda::Bank(const DumpKind& kind, int bank) const {
  if (!HasBank(kind, bank)) return {};
  std::vector<ScheduledMessage> out;
  out.reserve(kBankEntries + 1);
  std::chrono::milliseconds pause = faults_.replyDelay;  // before the first dump
  for (int entry = 0; entry < static_cast<int>(kBankEntries); ++entry) {
    if (faults_.stallAfter == entry) {
      if (faults_.stallFor.count() == 0) break;
      pause += faults_.stallFor;
    }
    if (faults_.foreignBeforeDump.Has(entry)) {
      out.push_back({ForeignMessage(faults_.foreign, settings_.version), pause});
      pause = {};
    }
    if (faults_.dropDump.Has(entry)) continue;

    Bytes dump = DumpLocked(kind, bank, entry);
    if (faults_.wrongOpcodeDump.Has(entry)) dump[5] = OtherKind(kind).opcode;
    if (faults_.wrongLengthDump.Has(entry)) dump.erase(dump.end() - 2);
    out.push_back({std::move(dump), pause});
    pause = settings_.bankGap;
  }
  return out;
}

bool SimulatedAndromeda::Store(ByteView m) {
  if (IsGlobalDump(m)) {
    global_.assign(m.begin(), m.end());
    return true;
  }
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    if (!CheckDumpFraming(*kind, m)) continue;
    // The instrument keeps its presets; a dump for them, or for a bank it lacks, goes nowhere.
    if (!IsWritableBank(*kind, m[6])) return false;
    Memory(*kind)[static_cast<std::size_t>(m[6]) * kBankEntries + m[7]].assign(m.begin(), m.end());
    return true;
  }
  return false;
}

// Every dump in bank order, Programs then Mixes, then the Global Data: a SysEx file.
Bytes SimulatedAndromeda::Snapshot() const {
  std::lock_guard lock(mutex_);
  Bytes out;
  out.reserve(programs_.size() * kProgramKind.dumpSize + mixes_.size() * kMixKind.dumpSize +
              global_.size());
  for (const auto* memory : {&programs_, &mixes_}) {
    for (const Bytes& dump : *memory) out.insert(out.end(), dump.begin(), dump.end());
  }
  out.insert(out.end(), global_.begin(), global_.end());
  return out;
}

}  // namespace quorle
