#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/DumpListener.h"
#include "protocol/BankName.h"
#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"

namespace quorle {

// A safety copy: the places a send is about to overwrite, fetched part by part (a bank, or some
// of its entries) and held until all are in, then kept together; only then may the send start.
class SafetyCopy {
 public:
  using Part = ReplacedPlaces;  // all 128 entries: the bank is fetched whole

  SafetyCopy(std::vector<Part> parts, std::string note, std::function<void()> send)
      : parts_(std::move(parts)), note_(std::move(note)), send_(std::move(send)) {}

  const Part& Current() const { return parts_[part_]; }
  bool WholeBank() const { return Current().entries.size() == kBankEntries; }
  // How the texts name what is being copied: "Programs User", or "Program 010" for one dump.
  std::string Label() const {
    const Part& part = Current();
    if (part.entries.size() == 1) {
      char number[8];
      std::snprintf(number, sizeof number, " %.3d", static_cast<int>(part.entries.front()));
      return std::string(part.kind->name) + number;
    }
    return BankName(*part.kind, part.bank);
  }
  // One dump of Current() is in.
  void Take(ByteView dump, std::size_t entry) {
    held_.push_back({Current().kind, Bytes(dump.begin(), dump.end()), Current().bank,
                     static_cast<int>(entry), false});
  }
  // Moves to the next part; false when every part is in.
  bool NextPart() { return ++part_ < parts_.size(); }

  // Stores everything held as fetched from its place, before the send may start. A place is
  // marked replaced only once the send has reached it (KeepSent): a send cut short leaves the
  // places it never reached as they were.
  bool Store(DumpListener& listener) const {
    for (const Held& h : held_) {
      if (!listener.DumpFetched(*h.kind, h.dump, h.bank, h.entry)) return false;
    }
    return true;
  }
  // A dump of the send has left the port for this place.
  void Sent(const DumpKind& kind, int bank, int entry) {
    for (Held& h : held_) {
      if (h.kind == &kind && h.bank == bank && h.entry == entry) h.sent = true;
    }
  }
  // Marks the places the send reached as replaced, all or nothing; true when there are none.
  bool KeepSent(DumpListener& listener) const {
    std::vector<DumpListener::Replaced> dumps;
    for (const Held& h : held_) {
      if (h.sent) dumps.push_back({h.kind, h.dump, h.bank, h.entry});
    }
    return dumps.empty() || listener.KeepReplacedAll(dumps, note_);
  }
  // The send the copy stands before, handed over once.
  std::function<void()> TakeSend() { return std::move(send_); }

 private:
  struct Held {
    const DumpKind* kind;
    Bytes dump;
    int bank;
    int entry;
    bool sent = false;
  };
  std::vector<Part> parts_;
  std::size_t part_ = 0;
  std::string note_;
  std::function<void()> send_;
  std::vector<Held> held_;
};

}  // namespace quorle
