#include "library/LibraryImpl.h"
#include "protocol/DumpName.h"

namespace quorle::library {

std::vector<WholeBank> Library::WholeBanks(const DumpKind& kind) const {
  return impl_->Guarded([&] {
    Use rows = impl_->Prepared(
        "SELECT b.id, s.text, b.how, b.bank, b.seen FROM banks b JOIN sources s ON s.id = b.source "
        "WHERE b.kind = ? ORDER BY b.seen DESC, b.id DESC");
    rows->bind(1, std::int64_t{kind.opcode});
    std::vector<WholeBank> banks;
    while (rows->executeStep()) {
      WholeBank b;
      b.id = rows->getColumn(0).getInt64();
      b.kind = &kind;
      b.source = rows->getColumn(1).getString();
      b.how = static_cast<How>(rows->getColumn(2).getInt());
      b.bank = Optional(rows->getColumn(3).getInt());
      b.seen = Iso(rows->getColumn(4).getInt64());
      banks.push_back(std::move(b));
    }
    return banks;
  });
}

std::optional<Bytes> Library::BankBytes(const WholeBank& bank) const {
  std::vector<std::pair<DumpId, std::uint8_t>> entries;
  const DumpKind* kind = nullptr;
  impl_->Guarded([&] {
    Use row = impl_->Prepared("SELECT kind, entries FROM banks WHERE id = ?");
    row->bind(1, bank.id);
    if (!row->executeStep()) return;
    kind = KindByOpcode(row->getColumn(0).getInt());
    entries = BankEntries(row->getColumn(1));
  });
  if (!kind || entries.size() != kBankEntries) return std::nullopt;
  Bytes file;
  file.reserve(kind->BankFileSize());
  for (std::size_t entry = 0; entry < entries.size(); ++entry) {
    std::optional<Bytes> dump = DumpBytes(entries[entry].first);
    if (!dump || dump->size() != kind->dumpSize) return std::nullopt;
    AddressDump(*dump, entries[entry].second, static_cast<std::uint8_t>(entry));
    file.insert(file.end(), dump->begin(), dump->end());
  }
  return file;
}

}  // namespace quorle::library
