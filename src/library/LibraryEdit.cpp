#include <algorithm>

#include "library/LibraryImpl.h"

namespace quorle::library {

void Library::SetCategory(DumpId id, const std::string& category) {
  impl_->Guarded([&] {
    WriteTransaction transaction(*impl_->db);
    std::string name;
    {
      Use row = impl_->Prepared("SELECT name FROM dumps WHERE id = ?");
      row->bind(1, id);
      if (!row->executeStep()) return;
      name = row->getColumn(0).getString();
    }
    Use set = impl_->Prepared("UPDATE dumps SET category = ?, own_category = ? WHERE id = ?");
    set->bind(1, category.empty() ? CategoryOfName(name) : category);
    set->bind(2, category.empty() ? 0 : 1);
    set->bind(3, id);
    set->exec();
    transaction.Commit();
  });
}

void Library::SetFavorite(DumpId id, bool favorite) {
  impl_->Guarded([&] {
    WriteTransaction transaction(*impl_->db);
    Use set = impl_->Prepared("UPDATE dumps SET favorite = ? WHERE id = ?");
    set->bind(1, favorite ? 1 : 0);
    set->bind(2, id);
    set->exec();
    transaction.Commit();
  });
}

void Library::Forget(std::span<const DumpId> ids) {
  impl_->Guarded([&] {
    WriteTransaction transaction(*impl_->db);
    for (const DumpId id : ids) {
      Use forget = impl_->Prepared("DELETE FROM dumps WHERE id = ? RETURNING sound, name");
      forget->bind(1, id);
      if (!forget->executeStep()) continue;
      const SQLite::Column blob = forget->getColumn(0);
      const auto* bytes = static_cast<const std::uint8_t*>(blob.getBlob());
      const Bytes sound(bytes, bytes + blob.getBytes());
      const std::string name = forget->getColumn(1).getString();
      while (forget->executeStep()) {
      }
      Use unindex =
          impl_->Prepared("INSERT INTO names(names, rowid, name) VALUES ('delete', ?, ?)");
      unindex->bind(1, id);
      unindex->bind(2, name);
      unindex->exec();
      // A sound left with one dump has no duplicate any more.
      Use alone = impl_->Prepared(
          "UPDATE dumps SET shared = 0 WHERE sound = ?1 AND shared AND "
          "(SELECT count(*) FROM dumps WHERE sound = ?1) = 1");
      alone->bind(1, sound.data(), static_cast<int>(sound.size()));
      alone->exec();
    }
    // A bank that held a forgotten dump was not seen whole any more.
    std::vector<std::int64_t> broken;
    {
      Use banks = impl_->Prepared("SELECT id, entries FROM banks");
      while (banks->executeStep()) {
        for (const auto& [entry, bankByte] : BankEntries(banks->getColumn(1))) {
          if (std::find(ids.begin(), ids.end(), entry) != ids.end()) {
            broken.push_back(banks->getColumn(0).getInt64());
            break;
          }
        }
      }
    }
    for (const std::int64_t bank : broken) {
      Use drop = impl_->Prepared("DELETE FROM banks WHERE id = ?");
      drop->bind(1, bank);
      drop->exec();
    }
    transaction.Commit();
  });
}

}  // namespace quorle::library
