#include "library/InstrumentView.h"

#include <chrono>
#include <cstdio>
#include <set>

#include "library/BankHistory.h"
#include "protocol/BankName.h"

namespace quorle::library {

namespace {

// Seconds since the epoch of an ISO-8601 UTC time as the library writes them; nothing when it is
// not one.
std::optional<std::int64_t> Seconds(const std::string& iso) {
  int y = 0;
  unsigned mo = 0, d = 0;
  int h = 0, mi = 0, s = 0;
  if (std::sscanf(iso.c_str(), "%d-%u-%uT%d:%d:%dZ", &y, &mo, &d, &h, &mi, &s) != 6)
    return std::nullopt;
  const std::chrono::sys_days day{std::chrono::year{y} / std::chrono::month{mo} / d};
  return day.time_since_epoch().count() * 86400 + h * 3600 + mi * 60 + s;
}

std::string Plural(std::int64_t n, const std::string& word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// "just now", "5 minutes ago", "3 hours ago", "2 days ago".
std::string Ago(const std::string& then, const std::string& now) {
  const auto a = Seconds(then), b = Seconds(now);
  if (!a || !b) return "at " + then;
  const std::int64_t s = *b - *a;
  if (s < 60) return "just now";
  if (s < 3600) return Plural(s / 60, "minute") + " ago";
  if (s < 86400) return Plural(s / 3600, "hour") + " ago";
  return Plural(s / 86400, "day") + " ago";
}

}  // namespace

InstrumentBankView InstrumentBank(const Library& library, const DumpKind& kind, int bank) {
  InstrumentBankView view;
  view.kind = &kind;
  view.bank = bank;
  for (std::size_t entry = 0; entry < kBankEntries; ++entry)
    view.entries[entry].entry = static_cast<int>(entry);
  for (const WholeBank& whole : library.WholeBanks(kind)) {
    if (whole.bank != bank) continue;
    if (whole.how == How::Fetched && whole.source == kInstrumentSource && view.fetchedWhole.empty())
      view.fetchedWhole = whole.seen;
    if (whole.how == How::Backup && view.lastBackup.empty()) view.lastBackup = whole.seen;
  }
  const std::vector<LastSeenBank> seen = library.LastSeenBanks(kind, bank);
  const std::array<std::optional<DumpId>, kBankEntries> backedUp = library.BackedUp(kind, bank);
  for (std::size_t entry = 0; entry < kBankEntries; ++entry) {
    SlotView& slot = view.entries[entry];
    const std::optional<SlotSeen>* there = seen.empty() ? nullptr : &seen.front().entries[entry];
    if (there && *there) {
      const SlotSeen& s = **there;
      slot.id = s.id;
      slot.name = s.name;
      // What a safety copy kept was fetched from the slot just before the send.
      slot.how = s.how == How::Sent ? How::Sent : How::Fetched;
      slot.seen = s.seen;
      if (slot.how == How::Sent && slot.seen >= view.fetchedWhole) ++view.sentSince;
    }
    slot.changedSinceBackup = !backedUp[entry] || backedUp[entry] != slot.id;
  }
  return view;
}

int NowhereElse(const Library& library, const DumpKind& kind, int bank) {
  std::set<DumpId> dumps;
  for (const LastSeenBank& seen : library.LastSeenBanks(kind, bank))
    for (const auto& slot : seen.entries)
      if (slot && slot->onlyOnInstrument) dumps.insert(slot->id);
  return static_cast<int>(dumps.size());
}

std::string AgeText(const InstrumentBankView& view, const std::string& now) {
  std::string text = view.kind ? BankName(*view.kind, view.bank) : std::string();
  if (view.fetchedWhole.empty()) {
    text += ", never fetched whole";
    if (view.sentSince > 0) text += "; " + Plural(view.sentSince, "slot") + " sent";
    return text;
  }
  text += ", as fetched " + Ago(view.fetchedWhole, now);
  if (view.sentSince > 0) text += "; " + Plural(view.sentSince, "slot") + " sent since";
  return text;
}

}  // namespace quorle::library
