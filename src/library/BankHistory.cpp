#include "library/BankHistory.h"

#include <algorithm>
#include <ctime>
#include <map>

#include "library/LibraryImpl.h"
#include "protocol/DumpName.h"

namespace quorle::library {

namespace {

std::string IsoTime(std::int64_t time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string Trimmed(std::string name) {
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

}  // namespace

bool LastSeenBank::Whole() const {
  return std::ranges::all_of(entries, [](const auto& s) { return s.has_value(); });
}

std::string LastSeenBank::Oldest() const {
  std::string oldest;
  for (const auto& s : entries)
    if (s && (oldest.empty() || s->seen < oldest)) oldest = s->seen;
  return oldest;
}

std::string LastSeenBank::Newest() const {
  std::string newest;
  for (const auto& s : entries)
    if (s && s->seen > newest) newest = s->seen;
  return newest;
}

std::vector<LastSeenBank> Library::LastSeenBanks(const DumpKind& kind,
                                                 std::optional<int> onlyBank) const {
  return impl_->Guarded([&] {
    // Newest first per slot; a safety copy taken in the same second as the send after it is the
    // older of the two, and a send in the same second as a fetch the newer.
    Use rows = impl_->Prepared(
        "SELECT p.bank, p.entry, p.dump, p.how, p.seen, d.name, " + impl_->NotKept() +
        " FROM places p "
        "JOIN dumps d ON d.id = p.dump "
        "WHERE p.source = (SELECT id FROM sources WHERE text = ?1) AND d.kind = ?2 "
        "AND p.bank BETWEEN ?7 AND ?8 AND p.entry >= 0 AND p.entry < 128 AND p.how IN (?3, ?4, ?5) "
        "ORDER BY p.bank, p.entry, p.seen DESC, p.how = ?6, p.how DESC");
    rows->bind(1, std::string(kInstrumentSource));
    rows->bind(2, std::int64_t{kind.opcode});
    rows->bind(3, static_cast<int>(How::Fetched));
    rows->bind(4, static_cast<int>(How::Sent));
    rows->bind(5, static_cast<int>(How::Replaced));
    rows->bind(6, static_cast<int>(How::Replaced));
    rows->bind(7, onlyBank.value_or(0));
    rows->bind(8, onlyBank.value_or(127));
    std::map<int, LastSeenBank> banks;
    while (rows->executeStep()) {
      const int bank = rows->getColumn(0).getInt();
      const auto entry = static_cast<std::size_t>(rows->getColumn(1).getInt());
      LastSeenBank& b = banks[bank];
      b.kind = &kind;
      b.bank = bank;
      if (b.entries[entry]) continue;
      b.entries[entry] =
          SlotSeen{rows->getColumn(2).getInt64(), static_cast<How>(rows->getColumn(3).getInt()),
                   IsoTime(rows->getColumn(4).getInt64()), rows->getColumn(5).getString(),
                   rows->getColumn(6).getInt() != 0};
    }
    std::vector<LastSeenBank> result;
    for (auto& [number, bank] : banks) result.push_back(std::move(bank));
    return result;
  });
}

std::array<std::optional<DumpId>, kBankEntries> Library::BackedUp(const DumpKind& kind,
                                                                  int bank) const {
  return impl_->Guarded([&] {
    Use rows = impl_->Prepared(
        "SELECT p.entry, p.dump FROM places p JOIN dumps d ON d.id = p.dump "
        "WHERE p.bank = ?1 AND p.how = ?2 AND NOT " +
        impl_->PlaceGone() +
        " AND d.kind = ?3 "
        "AND p.entry >= 0 AND p.entry < 128 ORDER BY p.entry, p.seen DESC");
    rows->bind(1, bank);
    rows->bind(2, static_cast<int>(How::Backup));
    rows->bind(3, std::int64_t{kind.opcode});
    std::array<std::optional<DumpId>, kBankEntries> held;
    while (rows->executeStep()) {
      auto& slot = held[static_cast<std::size_t>(rows->getColumn(0).getInt())];
      if (!slot) slot = rows->getColumn(1).getInt64();
    }
    return held;
  });
}

std::optional<Bytes> Library::LastSeenBytes(const LastSeenBank& bank) const {
  if (!bank.kind || !bank.Whole()) return std::nullopt;
  Bytes file;
  file.reserve(bank.kind->BankFileSize());
  for (std::size_t entry = 0; entry < kBankEntries; ++entry) {
    std::optional<Bytes> dump = DumpBytes(bank.entries[entry]->id);
    if (!dump || dump->size() != bank.kind->dumpSize) return std::nullopt;
    AddressDump(*dump, static_cast<std::uint8_t>(bank.bank), static_cast<std::uint8_t>(entry));
    file.insert(file.end(), dump->begin(), dump->end());
  }
  return file;
}

std::vector<BankToStartFrom> BanksToStartFrom(const Library& library, const DumpKind& kind) {
  std::vector<BankToStartFrom> banks;
  for (LastSeenBank& bank : library.LastSeenBanks(kind)) {
    if (!bank.Whole()) continue;
    const std::string seen = bank.Newest();
    banks.push_back({std::move(bank), std::nullopt, seen});
  }
  for (WholeBank& whole : library.WholeBanks(kind)) {
    const std::string seen = whole.seen;
    banks.push_back({std::nullopt, std::move(whole), seen});
  }
  // Newest first; at one time the instrument's bank as it stands now comes before a sighting.
  std::ranges::stable_sort(banks, [](const auto& a, const auto& b) { return a.seen > b.seen; });
  return banks;
}

std::optional<Bytes> BankFileOf(const Library& library, const BankToStartFrom& bank) {
  if (bank.lastSeen) return library.LastSeenBytes(*bank.lastSeen);
  if (bank.whole) return library.BankBytes(*bank.whole);
  return std::nullopt;
}

SendPreview PreviewSend(const Library& library, const BankComposer& composer, int bank) {
  SendPreview preview;
  const DumpKind& kind = composer.Kind();
  std::optional<LastSeenBank> target;
  for (LastSeenBank& b : library.LastSeenBanks(kind))
    if (b.bank == bank) target = std::move(b);
  for (int slot = 0; slot < static_cast<int>(kBankEntries); ++slot) {
    if (composer.Changed(slot)) continue;
    std::optional<Bytes> there;
    if (target) {
      if (const auto& seen = target->entries[static_cast<std::size_t>(slot)])
        there = library.DumpBytes(seen->id);
    }
    if (!there) {
      ++preview.unseen;
      continue;
    }
    const Bytes& sent = composer.At(slot).dump;
    const std::string was = DumpName(kind, *there), becomes = DumpName(kind, sent);
    // The same sound under the same name: the slot stays as it is, whatever its address bytes.
    if (was == becomes && SoundOf(kind, *there) == SoundOf(kind, sent)) continue;
    preview.others.push_back({slot, Trimmed(was), Trimmed(becomes)});
  }
  return preview;
}

}  // namespace quorle::library
