#include "library/Library.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include <sqlite3.h>

#include "library/LibraryImpl.h"
#include "protocol/BackupFile.h"
#include "protocol/DumpName.h"

namespace quorle::library {

namespace fs = std::filesystem;

std::string_view HowName(How how) {
  switch (how) {
    case How::File:
      return "file";
    case How::Backup:
      return "backup";
    case How::Fetched:
      return "fetched";
    case How::Sent:
      return "sent";
    case How::Replaced:
      return "replaced";
  }
  return "file";
}

namespace {

constexpr std::size_t kBankEntryBytes = 9;  // the dump's id (8 bytes) and its byte 6 as seen

// The entries column of a bank row: for each entry the dump's id and its bank byte as seen.
std::vector<std::pair<DumpId, std::uint8_t>> BankEntries(const SQLite::Column& blob) {
  std::vector<std::pair<DumpId, std::uint8_t>> entries;
  const auto* bytes = static_cast<const std::uint8_t*>(blob.getBlob());
  for (std::size_t i = 0; i + kBankEntryBytes <= static_cast<std::size_t>(blob.getBytes());
       i += kBankEntryBytes) {
    DumpId id = 0;
    for (int b = 7; b >= 0; --b) id = id << 8 | bytes[i + b];
    entries.emplace_back(id, bytes[i + 8]);
  }
  return entries;
}

std::string Iso(std::int64_t time) {
  // Every row of a search carries one: by the calendar's arithmetic, many times faster than
  // strftime.
  const std::chrono::sys_seconds t{std::chrono::seconds(time)};
  const auto day = std::chrono::floor<std::chrono::days>(t);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{t - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::optional<int> Optional(int value) {
  return value < 0 ? std::nullopt : std::optional<int>(value);
}

std::string Entry3(int entry) {
  char text[8];
  std::snprintf(text, sizeof text, "%03d", entry);
  return text;
}

// "User", "Preset 1", "Card 2": the bank as the instrument's panel names it.
std::string BankLabel(const DumpKind& kind, int bank) {
  if (bank == 0) return "User";
  if (kind.IsCardBank(bank)) return "Card " + std::to_string(bank - kind.firstCardBank + 1);
  if (bank > 0 && kind.firstCardBank > 2) return "Preset " + std::to_string(bank);
  if (bank > 0) return "Preset";
  return "";
}

// A place as the table shows it: "Pads.syx 005", "Backup 2024/Programs User.syx 005",
// "Andromeda User 005", "Andromeda Card 1 017 (sent)".
std::string WhereText(const DumpKind& kind, const std::string& source, How how, int bank,
                      int entry) {
  std::string text;
  if (how == How::File || how == How::Backup) {
    // The file's name; a backup's file with its folder's.
    std::size_t cut = source.rfind('/');
    if (how == How::Backup && cut != std::string::npos && cut > 0) cut = source.rfind('/', cut - 1);
    text = cut == std::string::npos ? source : source.substr(cut + 1);
  } else {
    text = source;
    if (const std::string label = BankLabel(kind, bank); !label.empty()) text += " " + label;
  }
  if (entry >= 0) text += " " + Entry3(entry);
  if (how == How::Sent || how == How::Replaced) text += " (" + std::string(HowName(how)) + ")";
  return text;
}

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

// A value bound to a placeholder: a number, or a text when text is set.
struct Value {
  Value(std::int64_t n) : number(n) {}
  Value(std::string t) : text(std::move(t)) {}
  std::int64_t number = 0;
  std::optional<std::string> text;
};

// The WHERE clause of a query and its values; the text holds only placeholders.
struct Filter {
  std::string where;
  std::vector<Value> values;
  bool textOnly = false;  // a name text, and nothing else: counted by its index alone
};

void BindAll(SQLite::Statement& statement, const std::vector<Value>& values, int first = 1) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int at = first + static_cast<int>(i);
    if (values[i].text) {
      statement.bind(at, *values[i].text);
    } else {
      statement.bind(at, values[i].number);
    }
  }
}

// LIKE with the user's text taken literally.
std::string LikePattern(std::string_view text) {
  std::string pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

std::size_t Characters(std::string_view utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// likeText: the name text tested row by row, for a scan of an index in the order asked for.
Filter MakeFilter(const Query& q, bool likeText = false) {
  Filter f;
  std::vector<std::string> terms;
  const bool match = !q.text.empty() && Characters(q.text) >= 3 && !likeText;
  if (!q.text.empty()) {
    if (match) {
      // The trigram index finds any part of a name of three characters or more, ignoring case;
      // quoted, the text is one phrase whatever it holds.
      std::string phrase = "\"";
      for (char c : q.text) phrase += c == '"' ? std::string("\"\"") : std::string(1, c);
      terms.push_back("d.id IN (SELECT rowid FROM names WHERE names MATCH ?)");
      f.values.push_back(phrase + "\"");
    } else {
      // "|| ''": a pattern that changes from search to search must not make SQLite prepare the
      // statement anew each time, as it does for a plain parameter it might answer from an index.
      terms.push_back("d.name LIKE (? || '') ESCAPE '\\'");
      f.values.push_back(LikePattern(q.text));
    }
  }
  if (q.kind) {
    terms.push_back("d.kind = ?");
    f.values.push_back(std::int64_t{q.kind->opcode});
  }
  if (!q.category.empty()) {
    terms.push_back("d.category = ? COLLATE NOCASE");
    f.values.push_back(q.category);
  }
  if (q.favoritesOnly) terms.push_back("d.favorite");
  if (q.duplicatesOnly) terms.push_back("d.shared");
  if (q.replacedOnly) {
    terms.push_back("d.id IN (SELECT dump FROM places WHERE how = 4)");
  }
  if (!q.place.empty()) {
    terms.push_back(
        "d.id IN (SELECT p.dump FROM places p WHERE p.source IN "
        "(SELECT id FROM sources WHERE text LIKE ? ESCAPE '\\'))");
    f.values.push_back(LikePattern(q.place));
  }
  f.textOnly = match && terms.size() == 1;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    f.where += (i == 0 ? " WHERE " : " AND ") + terms[i];
  }
  return f;
}

std::string OrderBy(const Query& q) {
  if (q.replacedOnly) {
    return " ORDER BY (SELECT max(seen) FROM places p WHERE p.dump = d.id AND p.how = 4) DESC,"
           " d.id DESC";
  }
  const std::string direction = q.descending ? " DESC" : "";
  if (q.sort == SortBy::Seen) {
    return " ORDER BY d.last_seen" + direction + ", d.id" + direction;
  }
  return " ORDER BY d.name COLLATE NOCASE" + direction + ", d.id" + direction;
}

constexpr const char* kSummaryColumns =
    "SELECT d.id, d.kind, d.name, d.category, d.favorite, d.sound, d.last_seen, d.place_count, "
    "d.where_source, d.where_how, d.where_bank, d.where_entry FROM dumps d";

}  // namespace

Use Library::Impl::Prepared(std::string_view sql) {
  auto it = statements.find(sql);
  if (it == statements.end()) {
    it = statements
             .emplace(std::string(sql), std::make_unique<SQLite::Statement>(*db, std::string(sql)))
             .first;
  }
  return Use(*it->second);
}

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
        "where_source, where_how, where_bank, where_entry) "
        "VALUES (?, ?, ?, ?, ?, ?, 1, ?, ?, ?, ?)");
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
    if (!isNew) {
      Use again = Prepared(
          "UPDATE places SET seen = ?6, note = ?7 WHERE dump = ?1 AND source = ?2 AND how = ?3 "
          "AND bank = ?4 AND entry = ?5");
      bindPlace(again, id, s);
      again->exec();
      newPlace = again->getChanges() == 0;
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
          "UPDATE dumps SET place_count = place_count + ?7, "
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

Library::Library(const fs::path& file) : impl_(std::make_unique<Impl>()) {
  impl_->file = file;
  impl_->db = OpenLibraryFile(file);
}

Library::~Library() = default;

const fs::path& Library::File() const {
  return impl_->file;
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

const std::string& Library::Impl::SourceText(std::int64_t id) {
  auto it = sourceTexts.find(id);
  if (it != sourceTexts.end()) return it->second;
  Use row = Prepared("SELECT text FROM sources WHERE id = ?");
  row->bind(1, id);
  std::string text = row->executeStep() ? row->getColumn(0).getString() : std::string();
  return sourceTexts.emplace(id, std::move(text)).first->second;
}

DumpSummary Library::Impl::SummaryFrom(SQLite::Statement& row) {
  DumpSummary s;
  s.id = row.getColumn(0).getInt64();
  s.kind = KindByOpcode(row.getColumn(1).getInt());
  s.name = row.getColumn(2).getString();
  s.category = row.getColumn(3).getString();
  s.favorite = row.getColumn(4).getInt() != 0;
  const SQLite::Column sound = row.getColumn(5);
  s.sound = Sha256::ToHex({static_cast<const std::uint8_t*>(sound.getBlob()),
                           static_cast<std::size_t>(sound.getBytes())});
  s.lastSeen = Iso(row.getColumn(6).getInt64());
  s.placeCount = row.getColumn(7).getInt();
  if (s.kind) {
    s.where = WhereText(*s.kind, SourceText(row.getColumn(8).getInt64()),
                        static_cast<How>(row.getColumn(9).getInt()), row.getColumn(10).getInt(),
                        row.getColumn(11).getInt());
  }
  return s;
}

// The first rows of a text search are found sooner by walking the names (or times) in order until
// enough rows match than by sorting every match, when matches are many. The walk tests each name
// with LIKE, which folds the case of ASCII letters only; an ASCII text finds the same names both
// ways, as no character of a name has an ASCII lower case but its own.
bool Library::Impl::WalkInOrder(const Query& query) {
  if (Characters(query.text) < 3 || !IsAscii(query.text) || query.replacedOnly) return false;
  Query textOnly;
  textOnly.text = query.text;
  const std::int64_t matches = TextMatches(*MakeFilter(textOnly).values.front().text);
  Use last = Prepared("SELECT max(id) FROM dumps");
  last->executeStep();
  const double dumps = static_cast<double>(last->getColumn(0).getInt64());
  // A walk tests about (offset + limit) * dumps / matches names, a sort fetches every match; a
  // name tested costs about a quarter of a match fetched.
  const double walked = static_cast<double>(query.offset + query.limit) * dumps /
                        static_cast<double>(std::max<std::int64_t>(matches, 1));
  return walked < 4.0 * static_cast<double>(matches);
}

std::vector<DumpSummary> Library::Search(const Query& query) const {
  return impl_->Guarded([&] {
    const bool walk = impl_->WalkInOrder(query);
    const Filter filter = MakeFilter(query, walk);
    const char* index = !walk                        ? ""
                        : query.sort == SortBy::Seen ? " INDEXED BY dumps_by_seen"
                                                     : " INDEXED BY dumps_by_name";
    Use rows = impl_->Prepared(kSummaryColumns + std::string(index) + filter.where +
                               OrderBy(query) + " LIMIT ? OFFSET ?");
    BindAll(*rows, filter.values);
    const int at = static_cast<int>(filter.values.size());
    rows->bind(at + 1, static_cast<std::int64_t>(std::min<std::size_t>(query.limit, INT64_MAX)));
    rows->bind(at + 2, static_cast<std::int64_t>(query.offset));
    std::vector<DumpSummary> found;
    while (rows->executeStep()) found.push_back(impl_->SummaryFrom(*rows));
    return found;
  });
}

std::int64_t Library::Impl::TextMatches(const std::string& phrase) {
  // The window asks for a search's rows and then its count: the second asking is answered from
  // the first while no connection has changed the library in between.
  Use version = Prepared("PRAGMA data_version");
  version->executeStep();
  const std::int64_t changes[2] = {version->getColumn(0).getInt64(),
                                   sqlite3_total_changes64(db->getHandle())};
  if (lastTextCount && lastTextCount->phrase == phrase &&
      std::equal(std::begin(changes), std::end(changes), lastTextCount->changes)) {
    return lastTextCount->count;
  }
  Use count = Prepared("SELECT count(*) FROM names WHERE names MATCH ?");
  count->bind(1, phrase);
  count->executeStep();
  lastTextCount = TextCount{phrase, {changes[0], changes[1]}, count->getColumn(0).getInt64()};
  return lastTextCount->count;
}

std::size_t Library::Count(const Query& query) const {
  return impl_->Guarded([&]() -> std::size_t {
    const Filter filter = MakeFilter(query);
    if (filter.textOnly)
      return static_cast<std::size_t>(impl_->TextMatches(*filter.values.front().text));
    Use count = impl_->Prepared("SELECT count(*) FROM dumps d" + filter.where);
    BindAll(*count, filter.values);
    count->executeStep();
    return static_cast<std::size_t>(count->getColumn(0).getInt64());
  });
}

std::optional<DumpDetails> Library::Details(DumpId id) const {
  return impl_->Guarded([&]() -> std::optional<DumpDetails> {
    DumpDetails details;
    {
      Use row = impl_->Prepared(std::string(kSummaryColumns) + " WHERE d.id = ?");
      row->bind(1, id);
      if (!row->executeStep()) return std::nullopt;
      details.summary = impl_->SummaryFrom(*row);
    }
    {
      Use places = impl_->Prepared(
          "SELECT s.text, p.how, p.bank, p.entry, p.seen, p.note FROM places p "
          "JOIN sources s ON s.id = p.source WHERE p.dump = ? "
          "ORDER BY p.seen DESC, p.how, s.text, p.bank, p.entry");
      places->bind(1, id);
      while (places->executeStep()) {
        Place p;
        p.source = places->getColumn(0).getString();
        p.how = static_cast<How>(places->getColumn(1).getInt());
        p.bank = Optional(places->getColumn(2).getInt());
        p.entry = Optional(places->getColumn(3).getInt());
        p.seen = Iso(places->getColumn(4).getInt64());
        p.note = places->getColumn(5).getString();
        details.places.push_back(std::move(p));
      }
    }
    Use others = impl_->Prepared(
        "SELECT o.id, o.name FROM dumps d JOIN dumps o ON o.sound = d.sound AND o.id <> d.id "
        "WHERE d.id = ? ORDER BY o.name COLLATE NOCASE, o.id");
    others->bind(1, id);
    while (others->executeStep()) {
      details.otherNames.emplace_back(others->getColumn(0).getInt64(),
                                      others->getColumn(1).getString());
    }
    return details;
  });
}

std::vector<std::string> Library::Categories() const {
  return impl_->Guarded([&] {
    Use rows = impl_->Prepared("SELECT DISTINCT category FROM dumps ORDER BY category");
    std::vector<std::string> categories;
    while (rows->executeStep()) categories.push_back(rows->getColumn(0).getString());
    return categories;
  });
}

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

std::optional<Bytes> Library::DumpBytes(DumpId id) const {
  return impl_->Guarded([&]() -> std::optional<Bytes> {
    Use row = impl_->Prepared(
        "SELECT d.kind, b.bytes FROM dumps d JOIN dump_bytes b ON b.dump = d.id WHERE d.id = ?");
    row->bind(1, id);
    if (!row->executeStep()) return std::nullopt;
    const DumpKind* kind = KindByOpcode(row->getColumn(0).getInt());
    const SQLite::Column blob = row->getColumn(1);
    if (!kind) return std::nullopt;
    return DumpFromStored(*kind, {static_cast<const std::uint8_t*>(blob.getBlob()),
                                  static_cast<std::size_t>(blob.getBytes())});
  });
}

const DumpKind* Library::KindOf(DumpId id) const {
  return impl_->Guarded([&]() -> const DumpKind* {
    Use row = impl_->Prepared("SELECT kind FROM dumps WHERE id = ?");
    row->bind(1, id);
    return row->executeStep() ? KindByOpcode(row->getColumn(0).getInt()) : nullptr;
  });
}

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
