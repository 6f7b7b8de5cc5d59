#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"

namespace quorle::library {

using DumpId = std::int64_t;

// A library file that cannot be used: not a Quorle library, damaged, written by a newer Quorle,
// not writable, or a disk that is full. The text names the file and the reason.
class LibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How a dump met one of its places.
enum class How { File, Backup, Fetched, Sent, Replaced };
std::string_view HowName(How how);  // "file", "backup", "fetched", "sent", "replaced"

// The place name of the instrument itself.
inline constexpr std::string_view kInstrumentSource = "Andromeda";

struct Place {
  std::string source;  // a file's path, a backup's file, or "Andromeda"
  How how = How::File;
  std::optional<int> bank;   // the instrument's bank number, or a backup file's bank
  std::optional<int> entry;  // in the bank or file, 0 to 127
  std::string seen;          // ISO-8601, UTC ("2026-12-08T16:51:18Z")
  std::string note;          // Replaced: the file or operation that replaced it
  // A File or Backup place whose file is gone or no longer holds the dump at that entry.
  bool gone = false;
};

// One row of a search: what the table shows of a dump.
struct DumpSummary {
  DumpId id = 0;
  const DumpKind* kind = nullptr;
  std::string name;      // as `info --names` prints it: trailing blanks trimmed, control bytes "?"
  std::string category;  // the user's, else the one the name suggests
  bool favorite = false;
  std::string sound;     // the fingerprint, 64 lower-case hex digits
  std::string lastSeen;  // ISO-8601 of the most recent place
  std::string where;     // the most recent place, as the table shows it
  int placeCount = 0;
};

struct DumpDetails {
  DumpSummary summary;
  std::vector<Place> places;  // newest first
  // Other dumps of the same sound (the same sound renamed): their ids and names.
  std::vector<std::pair<DumpId, std::string>> otherNames;
};

enum class SortBy { Name, Seen };

struct Query {
  std::string text;                // a case-insensitive part of the name; empty: any
  const DumpKind* kind = nullptr;  // nullptr: both
  std::string category;            // empty: any
  bool favoritesOnly = false;
  bool duplicatesOnly = false;  // dumps whose sound another dump shares
  bool replacedOnly = false;    // dumps with a Replaced place; sorted newest replaced first
  std::string place;            // a part of a place's source ("Andromeda" for the instrument)
  // Dumps no file or backup holds any more: only the instrument's places (fetched, sent,
  // replaced) are left, so losing the instrument would lose them.
  bool onlyOnInstrument = false;
  SortBy sort = SortBy::Name;
  bool descending = false;
  std::size_t offset = 0;
  std::size_t limit = 200;
};

struct ImportReport {
  std::size_t files = 0;  // files that held dumps
  std::size_t dumps = 0;  // dumps found in them
  std::size_t fresh = 0;  // dumps the library did not hold before
  struct Skipped {
    std::string path;
    std::string reason;
  };
  // Paths given and sound files (.syx, .mid) or entries of a folder that could not be read or
  // taken whole, or yielded nothing, with the reason.
  std::vector<Skipped> skipped;
  std::size_t passedOver = 0;  // other files in folders that held no dump
};

// Called between files of an import; false stops it after the file in hand (what is in stays).
using ImportProgress =
    std::function<bool(std::size_t filesDone, std::size_t filesTotal, const std::string& path)>;

// A bank the library has seen whole: all 128 entries of one file, backup file or instrument bank.
struct WholeBank {
  std::int64_t id = 0;  // which sighting: BankBytes finds the bank by it
  const DumpKind* kind = nullptr;
  std::string source;  // the file's path, or "Andromeda"
  How how = How::File;
  std::optional<int> bank;  // the instrument's bank number for "Andromeda" and backup files
  std::string seen;         // when it was seen whole, ISO-8601
};

// What a look at the files of the File and Backup places found.
struct FileCheck {
  std::size_t files = 0;  // files looked at
  std::size_t gone = 0;   // places found gone (the file is gone or holds another dump there)
  std::size_t back = 0;   // places found in their file again
};

struct LastSeenBank;

// The catalogue of every Program and Mix the user owns, in one SQLite file. One object holds one
// connection and is used from one thread at a time; a worker opens its own object on the same file.
class Library {
 public:
  // Opens the library file, creating it (and its folder) when it does not exist. Throws
  // LibraryError, leaving the file untouched, when it is not a library this Quorle can use.
  explicit Library(const std::filesystem::path& file);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  const std::filesystem::path& File() const;
  // Whether this program has found the library damaged: it then refuses every write, each with a
  // LibraryError that says so.
  bool Damaged() const;

  // Files and folders (recursively), one transaction per file: SysEx files and Standard MIDI
  // Files, each dump placed at its order in the file. Hidden entries in folders are left out.
  // Throws LibraryError when the library cannot be written (read-only, disk full): the files
  // imported before stay in whole.
  ImportReport Import(const std::vector<std::filesystem::path>& paths,
                      const ImportProgress& progress = {});

  // A dump that met the instrument's bank and entry; note: the file or operation for Replaced.
  // Returns the dump's id. Throws LibraryError when the library cannot be written, and
  // std::invalid_argument for a dump that is not whole and framed or a bank or entry past 127.
  DumpId Record(const DumpKind& kind, ByteView dump, int bank, int entry, How how,
                const std::string& note = {});
  // Many at once, in one transaction (a bank, a safety copy): all or nothing.
  struct Seen {
    const DumpKind* kind;
    ByteView dump;
    int bank;
    int entry;
  };
  std::vector<DumpId> RecordAll(std::span<const Seen> dumps, How how, const std::string& note = {});

  // Reads every file that file and backup places name and marks each place gone where its file
  // is gone or no longer holds the dump at that entry, and found again where it does. goOn false
  // stops it between files. Throws LibraryError when the library cannot be written.
  FileCheck CheckFiles(const std::function<bool()>& goOn = {});
  // Writes each dump that only the instrument holds as a single file into dir, named as a split
  // names it (a name taken gets a free one), and records these files as their places. Returns the
  // files written. Throws LibraryError when the folder cannot be written; what was written stays
  // recorded.
  std::vector<std::filesystem::path> KeepSafe(const std::filesystem::path& dir);

  std::vector<DumpSummary> Search(const Query& query) const;
  std::size_t Count(const Query& query) const;  // ignores offset and limit
  std::optional<DumpDetails> Details(DumpId id) const;
  std::vector<std::string> Categories() const;  // every category in use, sorted

  void SetCategory(DumpId id, const std::string& category);  // empty: back to the name's
  void SetFavorite(DumpId id, bool favorite);
  // The dumps leave the library with their places; no file is touched. Unknown ids are ignored.
  void Forget(std::span<const DumpId> ids);

  // The dump as stored, byte-exact; nothing for an unknown id.
  std::optional<Bytes> DumpBytes(DumpId id) const;
  const DumpKind* KindOf(DumpId id) const;  // nullptr for an unknown id

  std::vector<WholeBank> WholeBanks(const DumpKind& kind) const;
  // The 128 dumps of a bank seen whole, in entry order, as one bank file's bytes.
  std::optional<Bytes> BankBytes(const WholeBank& bank) const;
  // Every bank of the instrument of the kind with a slot the library saw there (or only that
  // bank), each slot as last seen (BankHistory.cpp).
  std::vector<LastSeenBank> LastSeenBanks(const DumpKind& kind,
                                          std::optional<int> onlyBank = std::nullopt) const;
  // Per entry of the instrument's bank, the dump the newest backup that still holds that entry
  // has there.
  std::array<std::optional<DumpId>, kBankEntries> BackedUp(const DumpKind& kind, int bank) const;
  // Its 128 dumps as one bank file's bytes; nothing when a slot was never seen or is gone.
  std::optional<Bytes> LastSeenBytes(const LastSeenBank& bank) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The category a name suggests, by keywords; "Other" when none matches.
std::string CategoryOfName(std::string_view name);

// The sound of a dump: SHA-256 of the kind and its unpacked data with the name and the card
// counts zeroed, as 64 hex digits. Two dumps of one sound under two names share it.
std::string SoundOf(const DumpKind& kind, ByteView dump);

// A bank file built from base with each slot's dump put in: byte 6 as the base's record, byte 7
// the slot. The base must be a sound bank of the kind, each dump of the kind; throws
// std::invalid_argument naming what is wrong otherwise.
Bytes MakeBank(const DumpKind& kind, ByteView base,
               const std::vector<std::pair<int, Bytes>>& slots);

}  // namespace quorle::library
