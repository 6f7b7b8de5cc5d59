#include <algorithm>
#include <stdexcept>

#include "library/LibraryImpl.h"
#include "protocol/BackupFile.h"
#include "protocol/DumpName.h"

namespace quorle::library {

namespace {

bool IsWholeBank(std::span<const Sighting> sightings) {
  if (sightings.size() != kBankEntries) return false;
  std::array<bool, kBankEntries> seen{};
  for (const Sighting& s : sightings) {
    if (s.kind != sightings[0].kind || s.bank != sightings[0].bank || s.entry < 0 ||
        s.entry >= static_cast<int>(kBankEntries) || seen[s.entry]) {
      return false;
    }
    seen[s.entry] = true;
  }
  return true;
}

}  // namespace

std::int64_t Library::Impl::SourceId(const std::string& text) {
  {
    Use find = Prepared("SELECT id FROM sources WHERE text = ?");
    find->bind(1, text);
    if (find->executeStep()) return find->getColumn(0).getInt64();
  }
  Use add = Prepared("INSERT INTO sources(text) VALUES (?)");
  add->bind(1, text);
  add->exec();
  return db->getLastInsertRowid();
}

std::pair<DumpId, bool> Library::Impl::AddDump(const DumpKind& kind, ByteView dump,
                                               const PlaceKey& place, std::int64_t now) {
  const DumpData data = UnpackDump(kind, dump);
  const Sha256::Digest sound = SoundDigest(data);
  bool shared = false;
  {
    // The same sound under any name: the dump itself when its data is the same too.
    Use same = Prepared(
        "SELECT d.id, b.bytes FROM dumps d JOIN dump_bytes b ON b.dump = d.id WHERE d.sound = ?");
    same->bindNoCopy(1, sound.data(), static_cast<int>(sound.size()));
    while (same->executeStep()) {
      const SQLite::Column bytes = same->getColumn(1);
      const ByteView stored(static_cast<const std::uint8_t*>(bytes.getBlob()),
                            static_cast<std::size_t>(bytes.getBytes()));
      if (StoredHolds(kind, stored, data)) return {same->getColumn(0).getInt64(), false};
      shared = true;
    }
  }
  const std::string name = NameLine(ReadName(data.bytes));
  DumpId id = 0;
  {
    Use add = Prepared(
        "INSERT INTO dumps(kind, name, sound, category, shared, last_seen, place_count, "
        "where_source, where_how, where_bank, where_entry, kept) "
        "VALUES (?, ?, ?, ?, ?, ?, 1, ?, ?, ?, ?, ?)");
    add->bind(1, std::int64_t{kind.opcode});
    add->bind(2, name);
    add->bindNoCopy(3, sound.data(), static_cast<int>(sound.size()));
    add->bind(4, CategoryOfName(name));
    add->bind(5, shared ? 1 : 0);
    add->bind(6, now);
    add->bind(7, place.source);
    add->bind(8, static_cast<int>(place.how));
    add->bind(9, place.bank);
    add->bind(10, place.entry);
    add->bind(11, Kept(place.how) ? 1 : 0);
    add->exec();
    id = db->getLastInsertRowid();
  }
  {
    Use index = Prepared("INSERT INTO names(rowid, name) VALUES (?, ?)");
    index->bind(1, id);
    index->bind(2, name);
    index->exec();
  }
  {
    const Bytes stored = StoredForm(kind, dump, data);
    Use add = Prepared("INSERT INTO dump_bytes(dump, bytes) VALUES (?, ?)");
    add->bind(1, id);
    add->bindNoCopy(2, stored.data(), static_cast<int>(stored.size()));
    add->exec();
  }
  if (shared) {
    Use mark = Prepared("UPDATE dumps SET shared = 1 WHERE sound = ? AND NOT shared");
    mark->bindNoCopy(1, sound.data(), static_cast<int>(sound.size()));
    mark->exec();
  }
  return {id, true};
}

std::vector<DumpId> Library::Impl::AddSightings(std::span<const Sighting> sightings,
                                                std::int64_t source, How how,
                                                const std::string& note, std::int64_t now,
                                                std::size_t& fresh) {
  std::vector<DumpId> ids;
  ids.reserve(sightings.size());
  auto bindPlace = [&](Use& statement, DumpId id, const Sighting& s) {
    statement->bind(1, id);
    statement->bind(2, source);
    statement->bind(3, static_cast<int>(how));
    statement->bind(4, s.bank);
    statement->bind(5, s.entry);
    statement->bind(6, now);
    if (note.empty()) {
      statement->bind(7);
    } else {
      statement->bind(7, note);
    }
  };
  for (const Sighting& s : sightings) {
    const auto [id, isNew] = AddDump(*s.kind, s.dump, {source, how, s.bank, s.entry}, now);
    ids.push_back(id);
    fresh += isNew ? 1 : 0;
    bool newPlace = isNew;
    // File and backup places that count toward keeping the dump safe: new ones, and ones found
    // in their file again.
    int kept = 0;
    if (!isNew) {
      {
        Use gone = Prepared(
            "SELECT gone FROM places WHERE dump = ?1 AND source = ?2 AND how = ?3 AND bank = ?4 "
            "AND entry = ?5");
        gone->bind(1, id);
        gone->bind(2, source);
        gone->bind(3, static_cast<int>(how));
        gone->bind(4, s.bank);
        gone->bind(5, s.entry);
        newPlace = !gone->executeStep();
        kept = newPlace ? (Kept(how) ? 1 : 0) : gone->getColumn(0).getInt();
      }
      if (!newPlace) {
        Use again = Prepared(
            "UPDATE places SET seen = ?6, note = ?7, gone = 0 WHERE dump = ?1 AND source = ?2 "
            "AND how = ?3 AND bank = ?4 AND entry = ?5");
        bindPlace(again, id, s);
        again->exec();
      }
    }
    if (newPlace) {
      Use place = Prepared(
          "INSERT INTO places(dump, source, how, bank, entry, seen, note) "
          "VALUES (?, ?, ?, ?, ?, ?, ?)");
      bindPlace(place, id, s);
      place->exec();
    }
    if (!isNew) {
      // What the table shows of the dump: its most recent place and how many it has.
      Use summary = Prepared(
          "UPDATE dumps SET place_count = place_count + ?7, kept = kept + ?8, "
          "where_source = iif(?6 >= last_seen, ?2, where_source), "
          "where_how = iif(?6 >= last_seen, ?3, where_how), "
          "where_bank = iif(?6 >= last_seen, ?4, where_bank), "
          "where_entry = iif(?6 >= last_seen, ?5, where_entry), "
          "last_seen = max(last_seen, ?6) WHERE id = ?1");
      summary->bind(1, id);
      summary->bind(2, source);
      summary->bind(3, static_cast<int>(how));
      summary->bind(4, s.bank);
      summary->bind(5, s.entry);
      summary->bind(6, now);
      summary->bind(7, newPlace ? 1 : 0);
      summary->bind(8, kept);
      summary->exec();
    }
  }
  if (!IsWholeBank(sightings)) return ids;

  Bytes entries(kBankEntries * kBankEntryBytes);
  for (std::size_t i = 0; i < sightings.size(); ++i) {
    std::uint8_t* at = entries.data() + sightings[i].entry * kBankEntryBytes;
    for (int b = 0; b < 8; ++b) at[b] = static_cast<std::uint8_t>(ids[i] >> (8 * b));
    at[8] = sightings[i].dump[6];
  }
  const DumpKind& kind = *sightings[0].kind;
  {
    // The same bank seen again as it was: only the time changes.
    Use last = Prepared(
        "SELECT id, entries FROM banks WHERE kind = ? AND source = ? AND how = ? AND bank = ? "
        "ORDER BY seen DESC, id DESC LIMIT 1");
    last->bind(1, std::int64_t{kind.opcode});
    last->bind(2, source);
    last->bind(3, static_cast<int>(how));
    last->bind(4, sightings[0].bank);
    if (last->executeStep()) {
      const SQLite::Column blob = last->getColumn(1);
      const auto* bytes = static_cast<const std::uint8_t*>(blob.getBlob());
      if (std::equal(entries.begin(), entries.end(), bytes, bytes + blob.getBytes())) {
        const std::int64_t id = last->getColumn(0).getInt64();
        Use seen = Prepared("UPDATE banks SET seen = ? WHERE id = ?");
        seen->bind(1, now);
        seen->bind(2, id);
        seen->exec();
        return ids;
      }
    }
  }
  Use add = Prepared(
      "INSERT INTO banks(kind, source, how, bank, seen, entries) VALUES (?, ?, ?, ?, ?, ?)");
  add->bind(1, std::int64_t{kind.opcode});
  add->bind(2, source);
  add->bind(3, static_cast<int>(how));
  add->bind(4, sightings[0].bank);
  add->bind(5, now);
  add->bindNoCopy(6, entries.data(), static_cast<int>(entries.size()));
  add->exec();
  return ids;
}

DumpId Library::Record(const DumpKind& kind, ByteView dump, int bank, int entry, How how,
                       const std::string& note) {
  const Seen seen{&kind, dump, bank, entry};
  return RecordAll({&seen, 1}, how, note).front();
}

std::vector<DumpId> Library::RecordAll(std::span<const Seen> dumps, How how,
                                       const std::string& note) {
  std::vector<Sighting> sightings;
  for (const Seen& s : dumps) {
    if (!s.kind || !CheckDumpFraming(*s.kind, s.dump)) {
      throw std::invalid_argument("not a whole " +
                                  std::string(s.kind ? s.kind->name : "Program or Mix") + " dump");
    }
    if (s.bank < 0 || s.bank > 127 || s.entry < 0 || s.entry > 127) {
      throw std::invalid_argument("no bank " + std::to_string(s.bank) + " entry " +
                                  std::to_string(s.entry) + " on the instrument");
    }
    sightings.push_back({s.kind, s.dump, s.bank, s.entry});
  }
  impl_->CheckWritable();
  return impl_->Guarded([&] {
    std::optional<RelaxedSync> relaxed;
    if (how != How::Replaced) relaxed.emplace(*impl_->db);
    WriteTransaction transaction(*impl_->db);
    std::size_t fresh = 0;
    auto ids = impl_->AddSightings(sightings, impl_->SourceId(std::string(kInstrumentSource)), how,
                                   note, Now(), fresh);
    transaction.Commit();
    return ids;
  });
}

}  // namespace quorle::library
