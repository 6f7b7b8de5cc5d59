#include "cli/LibraryCommands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/BackupCommands.h"
#include "cli/OfflineCommands.h"
#include "frontend/LibraryConnection.h"
#include "library/ImportJob.h"
#include "library/InstrumentView.h"
#include "library/LibraryRescue.h"
#include "library/PutBack.h"
#include "library/SysexScan.h"
#include "protocol/BankName.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "transfers/TimeText.h"

namespace quorle {

namespace fs = std::filesystem;
using library::DumpId;
using library::Library;

namespace {

// Every option of the library commands, filled by CLI11 before the command runs.
struct LibraryArgs {
  std::vector<std::string> paths;
  bool json = false;
  std::string text;
  std::string kind;
  std::string category;
  bool favorites = false;
  bool duplicates = false;
  std::string place;
  std::string sort = "name";
  std::optional<std::size_t> limit;
  std::vector<DumpId> ids;
  std::optional<std::string> newCategory;
  std::optional<bool> favorite;
  std::string output;
  std::optional<int> bank, number;
  std::string base;
  std::vector<std::string> slots;
  bool onlyOnInstrument = false;
  std::string bankName = "Programs User";
  bool changed = false;
};

// The length of the UTF-8 sequence at i, or 0 where the bytes are no UTF-8.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  const std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4
                                                           : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// A path as the terminal shows it, as names are shown: control characters, and bytes that are no
// UTF-8, as "?", so one line stays one line.
std::string ShownPath(std::string_view path) {
  std::string shown;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t length = Utf8Length(path, i);
    const auto c = static_cast<unsigned char>(path[i]);
    if (length == 0 || c < 0x20 || c == 0x7F) {
      shown += '?';
      i += 1;
    } else {
      shown.append(path.substr(i, length));
      i += length;
    }
  }
  return shown;
}

// A path for JSON text, which must be UTF-8: each byte that is no UTF-8 kept as "\\xNN".
std::string JsonPath(std::string_view path) {
  std::string kept;
  for (std::size_t i = 0; i < path.size();) {
    if (const std::size_t length = Utf8Length(path, i); length > 0) {
      kept.append(path.substr(i, length));
      i += length;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(path[i]));
      kept += escape;
      i += 1;
    }
  }
  return kept;
}

// An id as typed: a number too large for any id is refused as it was typed, never read as another.
std::string IdProblem(const std::string& text) {
  long long id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc() || end != text.data() + text.size() || id < 1) {
    return "no dump " + text + " in the library";
  }
  return {};
}

Library& Open(LibraryConnection& connection) {
  Library* library = connection.Get();
  if (!library) throw Refusal(connection.LastError());
  return *library;
}

std::string KindWord(const DumpKind* kind) {
  return kind == &kMixKind ? "mix" : "program";
}

nlohmann::json PlaceJson(const library::Place& place) {
  nlohmann::json j;
  j["source"] = JsonPath(place.source);
  j["how"] = library::HowName(place.how);
  j["bank"] = place.bank ? nlohmann::json(*place.bank) : nlohmann::json(nullptr);
  j["entry"] = place.entry ? nlohmann::json(*place.entry) : nlohmann::json(nullptr);
  j["seen"] = place.seen;
  if (!place.note.empty()) j["note"] = place.note;
  if (place.gone) j["gone"] = true;
  return j;
}

nlohmann::json DumpJson(const library::DumpDetails& d) {
  nlohmann::json j;
  j["id"] = d.summary.id;
  j["kind"] = KindWord(d.summary.kind);
  j["name"] = d.summary.name;
  j["category"] = d.summary.category;
  j["favorite"] = d.summary.favorite;
  j["sound"] = d.summary.sound;
  j["places"] = nlohmann::json::array();
  for (const library::Place& p : d.places) j["places"].push_back(PlaceJson(p));
  j["other_names"] = nlohmann::json::array();
  for (const auto& [other, name] : d.otherNames)
    j["other_names"].push_back({{"id", other}, {"name", name}});
  return j;
}

// Paths need not be UTF-8, which JSON text must be.
std::string JsonText(const nlohmann::json& j, int indent = 2) {
  return j.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

library::DumpDetails DetailsOrRefuse(const Library& library, DumpId id) {
  auto details = library.Details(id);
  if (!details) throw Refusal("no dump " + std::to_string(id) + " in the library");
  return *details;
}

std::string PlaceText(const library::Place& p) {
  std::string text = std::string(library::HowName(p.how)) + "  " + ShownPath(p.source);
  if (p.bank) text += "  bank " + std::to_string(*p.bank);
  if (p.entry) text += "  entry " + std::to_string(*p.entry);
  text += "  " + p.seen;
  if (!p.note.empty()) text += "  (" + p.note + ")";
  if (p.gone) text += "  gone";
  return text;
}

// Every path is tried: one that yields nothing is named with its reason. Refused (after its
// summary) when nothing at all was read.
void Import(Library& library, const LibraryArgs& a, std::ostream& out) {
  std::vector<fs::path> paths(a.paths.begin(), a.paths.end());
  const library::ImportReport r = library.Import(paths);
  if (a.json) {
    nlohmann::json j;
    j["files"] = r.files;
    j["dumps"] = r.dumps;
    j["new"] = r.fresh;
    j["passed_over"] = r.passedOver;
    j["skipped"] = nlohmann::json::array();
    for (const auto& s : r.skipped)
      j["skipped"].push_back({{"path", JsonPath(s.path)}, {"reason", JsonPath(s.reason)}});
    out << JsonText(j) << '\n';
  } else {
    out << library::ImportSummary(r) << '\n';
    for (const auto& s : r.skipped)
      out << "  " << ShownPath(s.path) << ": " << ShownPath(s.reason) << '\n';
  }
  if (r.dumps == 0) throw Refusal("");
}

library::Query QueryOf(const LibraryArgs& a) {
  library::Query q;
  q.text = a.text;
  if (a.kind == "program") q.kind = &kProgramKind;
  if (a.kind == "mix") q.kind = &kMixKind;
  q.category = a.category;
  q.favoritesOnly = a.favorites;
  q.duplicatesOnly = a.duplicates;
  q.place = a.place;
  q.onlyOnInstrument = a.onlyOnInstrument;
  q.sort = a.sort == "seen" ? library::SortBy::Seen : library::SortBy::Name;
  // The most recently seen first: what one looks for after a session at the instrument.
  q.descending = q.sort == library::SortBy::Seen;
  return q;
}

// Marks the places whose files are gone or changed, so that what only the instrument holds is
// known; a library that cannot be written is read as last checked.
void CheckFiles(Library& library) {
  try {
    library.CheckFiles();
  } catch (const library::LibraryError&) {
  }
}

void List(Library& library, const LibraryArgs& a, std::ostream& out) {
  if (a.onlyOnInstrument) CheckFiles(library);
  library::Query q = QueryOf(a);
  const std::size_t wanted = a.limit.value_or(SIZE_MAX);
  // Page by page, so a catalogue of any size is listed in little memory.
  constexpr std::size_t kPage = 500;
  std::size_t shown = 0;
  if (a.json) out << '[';
  while (shown < wanted) {
    q.offset = shown;
    q.limit = std::min(kPage, wanted - shown);
    const std::vector<library::DumpSummary> rows = library.Search(q);
    for (const library::DumpSummary& row : rows) {
      if (a.json) {
        out << (shown == 0 ? "\n" : ",\n")
            << JsonText(DumpJson(DetailsOrRefuse(library, row.id)), -1);
      } else {
        char head[48];
        std::snprintf(head, sizeof head, "%7lld  %-7s  ", static_cast<long long>(row.id),
                      KindWord(row.kind).c_str());
        out << head << row.name << std::string(row.name.size() < 16 ? 16 - row.name.size() : 0, ' ')
            << "  " << row.category << "  " << ShownPath(row.where);
        if (row.placeCount > 1) out << " +" << row.placeCount - 1;
        out << '\n';
      }
      ++shown;
    }
    if (rows.size() < q.limit) break;
  }
  if (a.json) out << (shown == 0 ? "]\n" : "\n]\n");
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// A bank as every status names it ("Programs User", "Mixes Card 2"), or as the panel does
// ("User", "Card 2": a Programs bank), in any case.
std::pair<const DumpKind*, int> BankNamed(const std::string& text) {
  std::string forms;
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    for (int bank = 0; bank <= kind->LastBank(); ++bank) {
      if (Lower(text) == Lower(BankName(*kind, bank)) ||
          (kind == &kProgramKind && Lower(text) == Lower(BankPlace(*kind, bank)))) {
        return {kind, bank};
      }
    }
    forms += (forms.empty() ? "" : ", ") + BankName(*kind, 0) + ", " + BankName(*kind, 1) +
             (kind->firstCardBank > 2 ? ", " + BankName(*kind, 2) : "") + ", " +
             BankName(*kind, kind->firstCardBank) + " to " + BankName(*kind, kind->LastBank());
  }
  throw Refusal("--bank " + text + ": no such bank; banks are " + forms +
                " (any case; User, Preset 1, Card 2 alone are Programs banks)");
}

void Instrument(const Library& library, const LibraryArgs& a, std::ostream& out) {
  const auto [kind, bank] = BankNamed(a.bankName);
  const library::InstrumentBankView view = library::InstrumentBank(library, *kind, bank);
  auto shown = [&](const library::SlotView& slot) { return !a.changed || slot.changedSinceBackup; };
  if (a.json) {
    nlohmann::json slots = nlohmann::json::array();
    for (const library::SlotView& slot : view.entries) {
      if (!shown(slot)) continue;
      const bool known = slot.id.has_value();
      slots.push_back(
          {{"entry", slot.entry},
           {"id", known ? nlohmann::json(*slot.id) : nlohmann::json(nullptr)},
           {"name", known ? nlohmann::json(slot.name) : nlohmann::json(nullptr)},
           {"how", known ? nlohmann::json(library::HowName(slot.how)) : nlohmann::json(nullptr)},
           {"seen", known ? nlohmann::json(slot.seen) : nlohmann::json(nullptr)}});
    }
    out << JsonText({{"bank", BankName(*kind, bank)}, {"slots", slots}}) << '\n';
    return;
  }
  out << library::AgeText(view, Now("%Y-%m-%dT%H:%M:%SZ")) << '\n';
  if (a.changed) {
    const auto count = std::ranges::count_if(view.entries, shown);
    out << count << (count == 1 ? " slot" : " slots") << " changed"
        << (view.lastBackup.empty() ? std::string("; no backup holds this bank")
                                    : " since the last backup (" + view.lastBackup + ")")
        << '\n';
  }
  for (const library::SlotView& slot : view.entries) {
    if (!shown(slot)) continue;
    char head[16];
    std::snprintf(head, sizeof head, "%03d  ", slot.entry + 1);
    out << head;
    if (!slot.id) {
      out << "unknown\n";
      continue;
    }
    out << slot.name << std::string(slot.name.size() < 16 ? 16 - slot.name.size() : 0, ' ') << "  "
        << library::HowName(slot.how) << (slot.how == library::How::Sent ? "   " : "") << "  "
        << slot.seen << '\n';
  }
}

void KeepSafe(Library& library, const LibraryArgs& a, std::ostream& out) {
  CheckFiles(library);
  const std::vector<fs::path> written = library.KeepSafe(a.output);
  for (const fs::path& file : written) out << ShownPath(file.string()) << '\n';
  library::Query q;
  q.onlyOnInstrument = true;
  const std::size_t left = library.Count(q);
  out << written.size() << (written.size() == 1 ? " file" : " files") << " written; " << left
      << (left == 1 ? " dump exists" : " dumps exist") << " nowhere else\n";
}

void Show(const Library& library, DumpId id, bool json, std::ostream& out) {
  const library::DumpDetails d = DetailsOrRefuse(library, id);
  if (json) {
    out << JsonText(DumpJson(d)) << '\n';
    return;
  }
  out << d.summary.id << "  " << KindWord(d.summary.kind) << "  \"" << d.summary.name << "\"\n"
      << "category: " << d.summary.category << (d.summary.favorite ? "  favorite" : "") << '\n'
      << "sound: " << d.summary.sound << '\n';
  for (const library::Place& p : d.places) out << "  " << PlaceText(p) << '\n';
  for (const auto& [other, name] : d.otherNames) {
    out << "  same sound as " << other << " \"" << name << "\"\n";
  }
}

// A bank number the kind's scheme has: Programs 0 to 16, Mixes 0 to 15.
void CheckAddress(const DumpKind& kind, const std::optional<int>& bank,
                  const std::optional<int>& number) {
  const int lastBank = kind.LastBank();
  if (bank && (*bank < 0 || *bank > lastBank)) {
    throw Refusal("--bank " + std::to_string(*bank) + ": " + std::string(kind.name) +
                  " banks are 0 to " + std::to_string(lastBank));
  }
  if (number && (*number < 0 || *number > 127)) {
    throw Refusal("--number " + std::to_string(*number) + ": entries are 0 to 127");
  }
}

void Export(const Library& library, const LibraryArgs& a, std::ostream& out) {
  const DumpId id = a.ids.front();
  auto bytes = library.DumpBytes(id);
  const DumpKind* kind = library.KindOf(id);
  if (!bytes || !kind) throw Refusal("no dump " + std::to_string(id) + " in the library");
  CheckAddress(*kind, a.bank, a.number);
  if ((*bytes)[6] == library::kNoAddress && (!a.bank || !a.number)) {
    throw Refusal("dump " + std::to_string(id) +
                  " came from an edit buffer and has no bank or entry: give --bank and --number");
  }
  if (a.bank) (*bytes)[6] = static_cast<std::uint8_t>(*a.bank);
  if (a.number) (*bytes)[7] = static_cast<std::uint8_t>(*a.number);
  WriteOrRefuse(a.output, *bytes);
  out << a.output << '\n';
}

void MakeBank(const Library& library, const LibraryArgs& a, std::ostream& out) {
  const Bytes base = ReadOrRefuse(a.base);
  const DumpKind* kind = DumpKindOf(ClassifyFile(base));
  if (!kind || base.size() != kind->BankFileSize() || !IsSoundBank(*kind, base)) {
    throw Refusal(a.base + ": is not a sound Program or Mix bank file");
  }
  std::map<int, Bytes> slots;
  for (const std::string& s : a.slots) {
    const auto eq = s.find('=');
    int slot = -1;
    long long id = 0;
    const char* end = s.data() + s.size();
    const bool parsed = eq != std::string::npos &&
                        std::from_chars(s.data(), s.data() + eq, slot).ptr == s.data() + eq &&
                        std::from_chars(s.data() + eq + 1, end, id).ptr == end && eq + 1 < s.size();
    if (!parsed) throw Refusal(s + ": a slot is given as SLOT=ID, as 5=1234");
    if (slot < 0 || slot > 127) throw Refusal(s + ": slots are 0 to 127");
    const DumpKind* of = library.KindOf(id);
    if (!of) throw Refusal(s + ": no dump " + std::to_string(id) + " in the library");
    if (of != kind) {
      throw Refusal(s + ": dump " + std::to_string(id) + " is a " + std::string(of->name) +
                    ", the bank holds " + std::string(kind->name) +
                    (kind == &kMixKind ? "es" : "s"));
    }
    if (slots.count(slot)) throw Refusal(s + ": slot " + std::to_string(slot) + " given twice");
    slots[slot] = *library.DumpBytes(id);
  }
  const Bytes bank = library::MakeBank(*kind, base, {slots.begin(), slots.end()});
  WriteOrRefuse(a.output, bank);
  out << a.output << ": " << slots.size() << (slots.size() == 1 ? " slot" : " slots")
      << " replaced\n";
}

// Each dump back to the place it was last replaced from; every id is checked before anything
// is sent.
void PutBack(const Library& library, const LibraryArgs& a,
             const std::function<LiveSession&()>& session) {
  library::PutBackDumps chosen = library::PutBackDumpsOf(library, a.ids);
  if (!chosen.refused.empty()) throw Refusal(chosen.refused);
  const std::size_t count = chosen.dumps.size();
  const std::string status =
      RunToEnd(session(), [&](TfrmMain& f) { f.PutBack(std::move(chosen.dumps)); });
  // The status bar, printed as it changes, has said what was put back.
  Expect(status, " " + std::to_string(count), "nothing was sent");
}

void Check(const fs::path& file, std::ostream& out) {
  const library::CheckReport report = library::CheckLibrary(file);
  out << file.string() << ": " << library::CheckSummary(report) << '\n';
  if (!report.whole) {
    throw Refusal("library rescue -o NEW copies what can still be read into a new library");
  }
}

void Rescue(const fs::path& file, const std::string& output, bool json, std::ostream& out) {
  const library::RescueReport r = library::RescueLibrary(file, output);
  if (json) {
    nlohmann::json j;
    j["dumps"] = r.dumps;
    j["places"] = r.places;
    j["banks"] = r.banks;
    j["lost"] = {{"dumps", r.lostDumpCount},
                 {"ids", library::IdRanges(r.lostDumps)},
                 {"places_of_dumps", r.placesLostOf},
                 {"banks", r.lostBanks}};
    out << JsonText(j) << '\n';
    return;
  }
  out << ShownPath(output) << ": " << library::RescueSummary(r) << '\n';
}

}  // namespace

std::string LibraryOptionProblem(const std::string& path) {
  if (path.empty()) return "--library: names no file";
  const fs::path folder = fs::path(path).parent_path();
  std::error_code ec;
  if (!folder.empty() && !fs::is_directory(folder, ec)) {
    return "--library " + ShownPath(path) + ": its folder does not exist";
  }
  return {};
}

void AddLibraryCommands(CLI::App& app, std::function<void()>& command,
                        const std::function<LibraryConnection&()>& connection,
                        const std::function<LiveSession&()>& session, std::ostream& out,
                        std::ostream& /*err: every library command says all on out*/) {
  auto args = std::make_shared<LibraryArgs>();
  LibraryArgs& a = *args;
  auto* lib = app.add_subcommand("library", "The catalogue of every Program and Mix you own");
  lib->require_subcommand(1);
  // A library that fails in use (damaged, read-only, a full disk) is refused like any other
  // input, with its reason.
  auto run = [&command, &connection, args](auto body) {
    return [&command, &connection, args, body] {
      command = [&connection, args, body] {
        try {
          body(Open(connection()), *args);
        } catch (const library::LibraryError& e) {
          throw Refusal(e.what());
        }
      };
    };
  };
  // Check and rescue never open the library for writing: it may be damaged.
  auto runOnFile = [&command, &connection, args](auto body) {
    return [&command, &connection, args, body] {
      command = [&connection, args, body] {
        try {
          body(connection().File(), *args);
        } catch (const library::LibraryError& e) {
          throw Refusal(e.what());
        }
      };
    };
  };

  auto* import = lib->add_subcommand("import", "Add .syx files and folders (recursively)");
  import->add_option("PATH", a.paths, "Files and folders")->required();
  import->add_flag("--json", a.json, "One JSON object instead of text");
  import->callback(run([&out](Library& l, LibraryArgs& x) { Import(l, x, out);
}));

auto* list = lib->add_subcommand("list", "The dumps whose name holds TEXT");
list->add_option("TEXT", a.text, "A part of the name, any case");
list->add_option("--kind", a.kind, "program or mix")->check(CLI::IsMember({"program", "mix"}));
list->add_option("--category", a.category, "Only this category");
list->add_flag("--favorites", a.favorites, "Only favorites");
list->add_flag("--duplicates", a.duplicates, "Only sounds held under more than one name");
list->add_option("--place", a.place, "A part of a place: a path, or Andromeda");
list->add_option("--sort", a.sort, "name, or seen (the most recent first)")
    ->check(CLI::IsMember({"name", "seen"}));
list->add_option("--limit", a.limit, "At most N dumps");
list->add_flag("--only-on-instrument", a.onlyOnInstrument,
               "Only dumps no file or backup holds (files are checked first)");
list->add_flag("--json", a.json, "One JSON array instead of text");
list->callback(run([&out](Library& l, LibraryArgs& x) { List(l, x, out); }));

auto* show = lib->add_subcommand("show", "Every place of one dump and its other names");
show->add_option("ID", a.ids, "The dump's id")->check(IdProblem, "ID")->required()->expected(1);
show->add_flag("--json", a.json, "One JSON object instead of text");
show->callback(run([&out](Library& l, LibraryArgs& x) { Show(l, x.ids.front(), x.json, out); }));

auto* set = lib->add_subcommand("set", "Set a dump's category or favorite mark");
set->add_option("ID", a.ids, "The dump's id")->check(IdProblem, "ID")->required()->expected(1);
set->add_option("--category", a.newCategory, "The category (\"\": the one the name suggests)");
auto* fav = set->add_flag_function(
    "--favorite", [&a](std::int64_t) { a.favorite = true; }, "Mark as a favorite");
set->add_flag_function(
       "--no-favorite", [&a](std::int64_t) { a.favorite = false; }, "Remove the mark")
    ->excludes(fav);
set->callback(run([&out](Library& l, LibraryArgs& x) {
  const DumpId id = x.ids.front();
  DetailsOrRefuse(l, id);
  if (x.newCategory) l.SetCategory(id, *x.newCategory);
  if (x.favorite) l.SetFavorite(id, *x.favorite);
  Show(l, id, false, out);
}));

auto* forget = lib->add_subcommand("forget", "Remove dumps from the library; no file is touched");
forget->add_option("ID", a.ids, "The dumps' ids")->check(IdProblem, "ID")->required();
forget->callback(run([&out](Library& l, LibraryArgs& x) {
  // All or nothing: an unknown id is more likely a typo than a wish.
  for (DumpId id : x.ids) DetailsOrRefuse(l, id);
  l.Forget(x.ids);
  out << x.ids.size() << (x.ids.size() == 1 ? " dump" : " dumps") << " forgotten\n";
}));

auto* exp = lib->add_subcommand("export", "Write one dump to a file");
exp->add_option("ID", a.ids, "The dump's id")->check(IdProblem, "ID")->required()->expected(1);
exp->add_option("-o,--output", a.output, "The file to write")->required();
exp->add_option("--bank", a.bank, "Address the dump to this bank");
exp->add_option("--number", a.number, "Address the dump to this entry (0 to 127)");
exp->callback(run([&out](Library& l, LibraryArgs& x) { Export(l, x, out); }));

auto* make = lib->add_subcommand("make-bank", "A bank file: a base bank with slots replaced");
make->add_option("--base", a.base, "The bank file to start from")->required();
make->add_option("-o,--output", a.output, "The bank file to write")->required();
make->add_option("SLOT=ID", a.slots, "Put dump ID into slot SLOT (0 to 127)");
make->callback(run([&out](Library& l, LibraryArgs& x) { MakeBank(l, x, out); }));

auto* check = lib->add_subcommand("check", "Check every page of the library; nothing is changed");
check->callback(runOnFile([&out](const fs::path& file, LibraryArgs&) { Check(file, out); }));

auto* rescue = lib->add_subcommand(
    "rescue", "Copy what can still be read of a damaged library into a new one");
rescue->add_option("-o,--output", a.output, "The new library to write")->required();
rescue->add_flag("--json", a.json, "One JSON object instead of text");
rescue->callback(runOnFile([&out](const fs::path& file, LibraryArgs& x) {
  Rescue(file, x.output, x.json, out);
}));

auto* instrument = lib->add_subcommand(
    "instrument", "Each slot of an instrument bank as last seen: what, how and when");
instrument->add_option("--bank", a.bankName,
                       "\"Programs User\" (the default), \"Mixes Card 2\", ...");
instrument->add_flag("--changed", a.changed, "Only slots changed since the last backup");
instrument->add_flag("--json", a.json, "One JSON object instead of text");
instrument->callback(run([&out](Library& l, LibraryArgs& x) { Instrument(l, x, out); }));

auto* keepSafe = lib->add_subcommand(
    "keep-safe", "Write every dump no file or backup holds into DIR, one file each");
keepSafe->add_option("DIR", a.output, "The folder to write into")->required();
keepSafe->callback(run([&out](Library& l, LibraryArgs& x) { KeepSafe(l, x, out); }));

auto* putBack = lib->add_subcommand(
    "put-back", "Send replaced dumps back where they were replaced on the instrument");
putBack->add_option("ID", a.ids, "The dumps' ids")->check(IdProblem, "ID")->required();
putBack->callback(run([&session](Library& l, LibraryArgs& x) { PutBack(l, x, session); }));
}  // namespace quorle

}  // namespace quorle
