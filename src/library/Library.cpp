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

namespace {

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

namespace {

// place_text(kind, source, how, bank, entry): a place as the table shows it, for a search of it.
void PlaceTextFunction(sqlite3_context* context, int, sqlite3_value** args) {
  const DumpKind* kind = KindByOpcode(sqlite3_value_int(args[0]));
  const auto* source = reinterpret_cast<const char*>(sqlite3_value_text(args[1]));
  if (!kind || !source) {
    sqlite3_result_null(context);
    return;
  }
  const std::string text = WhereText(*kind, source, static_cast<How>(sqlite3_value_int(args[2])),
                                     sqlite3_value_int(args[3]), sqlite3_value_int(args[4]));
  sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

Library::Library(const fs::path& file) : impl_(std::make_unique<Impl>()) {
  impl_->file = file;
  impl_->db = OpenLibraryFile(file);
  const int version = impl_->db->execAndGet("PRAGMA user_version").getInt();
  impl_->trimmedNames = version >= 2;
  impl_->keptCounted = version >= 3;
  sqlite3_create_function_v2(impl_->db->getHandle(), "place_text", 5,
                             SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr,
                             PlaceTextFunction, nullptr, nullptr, nullptr);
}

Library::~Library() = default;

const fs::path& Library::File() const {
  return impl_->file;
}

void Library::Impl::CheckWritable() {
  if (!checked && !KnownDamaged(file)) {
    // A damaged page anywhere: whatever is written next could land on it or spread it.
    Guarded([&] {
      if (db->execAndGet("PRAGMA quick_check(1)").getString() != "ok") MarkDamaged(file);
    });
    checked = true;
  }
  if (KnownDamaged(file)) throw DamagedError(file);
}

bool Library::Damaged() const {
  return KnownDamaged(impl_->file);
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
      Use places = impl_->Prepared("SELECT s.text, p.how, p.bank, p.entry, p.seen, p.note, " +
                                   impl_->PlaceGone() +
                                   " FROM places p "
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
        p.gone = places->getColumn(6).getInt() != 0;
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

}  // namespace quorle::library
