#include <algorithm>

#include "LibraryFixture.h"
#include "library/Library.h"
#include "protocol/BackupManifest.h"
#include "protocol/Sha256.h"

namespace quorle::testing {
namespace {

using library::How;
using library::Library;
using library::Query;

class LibraryImport : public LibraryFixture {
 protected:
  // A sound set: a bank file, a single dump, a stream of many messages with a cut Mix and a
  // damaged one, a text file, and a backup folder.
  void MakeSet() {
    Write(Path("set/Bank A.syx"), Bank(kProgramKind, 1));
    Write(Path("set/single/Mix 5.syx"), Dump(kMixKind, 2, 0, 5));
    Bytes cut = Dump(kMixKind, 3, 0, 1);
    cut.resize(600);
    Bytes tooLong = Dump(kMixKind, 3, 0, 3);
    tooLong.insert(tooLong.end() - 1, 0x11);
    Write(Path("set/stream.syx"), Cat({IdentityReply("2.05"),
                                       {0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7},
                                       Dump(kProgramKind, 3, 0, 0),
                                       SeededGlobalDump(3),
                                       cut,
                                       Dump(kProgramKind, 3, 0, 2),
                                       tooLong}));
    Write(Path("set/notes.txt"), {'h', 'i', '\n'});

    const Bytes user = Bank(kProgramKind, 4);
    Write(Path("set/Backup 1/Programs User.syx"), user);
    Write(Path("set/Backup 1/Global Data.syx"), SeededGlobalDump(4));
    BackupManifest manifest;
    manifest.entries.push_back({{FileKind::ProgramBank, 0, "Programs User.syx"},
                                user.size(),
                                Sha256::Hex(user),
                                std::vector<std::string>(128, std::string(16, ' '))});
    const std::string json = manifest.ToJson();
    Write(Path("set/Backup 1/backup.json"), Bytes(json.begin(), json.end()));
  }

  static std::string Canonical(const std::filesystem::path& p) {
    return std::filesystem::weakly_canonical(p).string();
  }
};

TEST_F(LibraryImport, TakesEveryWholeDumpOfBankFilesStreamsAndBackupsWithItsPlace) {
  MakeSet();
  Library library(LibraryFile());
  std::vector<std::string> progress;
  const auto report =
      library.Import({Path("set")}, [&](std::size_t, std::size_t, const std::string& p) {
        progress.push_back(p);
        return true;
      });
  EXPECT_EQ(report.files, 4u);
  EXPECT_EQ(report.dumps, 128u + 1 + 2 + 128);
  EXPECT_EQ(report.fresh, report.dumps);
  EXPECT_EQ(progress.size(), 7u);  // every file of the folder, the text file too
  // Only the stream is named: its cut and damaged Mix; the whole dumps around them are in. The
  // text file and the backup's manifest and Global Data are counted.
  EXPECT_EQ(report.passedOver, 3u);
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].path, Path("set/stream.syx").string());
  EXPECT_NE(report.skipped[0].reason.find("Mix dump at byte"), std::string::npos);
  EXPECT_NE(report.skipped[0].reason.find("cut short: 600 of 1180 bytes"), std::string::npos);
  EXPECT_NE(report.skipped[0].reason.find("1 more"), std::string::npos);

  // The bank file: each dump byte-exact, at its entry, and the bank seen whole.
  const Bytes bankA = Read(Path("set/Bank A.syx"));
  Query inBankA;
  inBankA.place = "Bank A";
  inBankA.limit = 1000;
  const auto rows = library.Search(inBankA);
  ASSERT_EQ(rows.size(), 128u);
  for (const auto& row : rows) {
    const auto details = library.Details(row.id);
    ASSERT_TRUE(details);
    ASSERT_EQ(details->places.size(), 1u);
    const library::Place& place = details->places[0];
    EXPECT_EQ(place.source, Canonical(Path("set/Bank A.syx")));
    EXPECT_EQ(place.how, How::File);
    EXPECT_FALSE(place.bank);
    ASSERT_TRUE(place.entry);
    const Bytes record(bankA.begin() + *place.entry * 2350,
                       bankA.begin() + (*place.entry + 1) * 2350);
    EXPECT_EQ(library.DumpBytes(row.id), record);
    EXPECT_EQ(row.name, NameLine(DumpName(kProgramKind, record)));
  }

  // The backup's bank: its places name the backup and the instrument's bank.
  Query inBackup;
  inBackup.place = "Backup 1";
  inBackup.limit = 5;
  const auto backupRow = library.Search(inBackup);
  ASSERT_EQ(backupRow.size(), 5u);
  EXPECT_EQ(library.Count(inBackup), 128u);
  const auto backupPlace = library.Details(backupRow[0].id)->places.at(0);
  EXPECT_EQ(backupPlace.how, How::Backup);
  EXPECT_EQ(backupPlace.bank, 0);
  EXPECT_EQ(backupPlace.source, Canonical(Path("set/Backup 1/Programs User.syx")));

  // The stream's whole Programs, at their places among its dumps.
  Query inStream;
  inStream.place = "stream.syx";
  const auto streamRows = library.Search(inStream);
  ASSERT_EQ(streamRows.size(), 2u);
  std::vector<int> entries;
  for (const auto& row : streamRows) entries.push_back(*library.Details(row.id)->places[0].entry);
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<int>{0, 2}));

  const auto banks = library.WholeBanks(kProgramKind);
  ASSERT_EQ(banks.size(), 2u);
  for (const auto& bank : banks) {
    EXPECT_EQ(library.BankBytes(bank), Read(bank.source)) << bank.source;
  }
  EXPECT_TRUE(library.WholeBanks(kMixKind).empty());
}

TEST_F(LibraryImport, TheSameFileAddsNothingAChangedOneItsPlacesAgain) {
  MakeSet();
  Library library(LibraryFile());
  const auto first = library.Import({Path("set")});
  const std::size_t all = library.Count({});

  // A dump forgotten stays so when the file it came from is imported again as it was.
  Query inSingle;
  inSingle.place = "single/Mix 5.syx";
  library.Forget(std::vector<library::DumpId>{library.Search(inSingle).at(0).id});
  const auto again = library.Import({Path("set")});
  EXPECT_EQ(again.dumps, first.dumps);
  EXPECT_EQ(again.fresh, 0u);
  EXPECT_EQ(library.Count({}), all - 1);
  EXPECT_EQ(library.WholeBanks(kProgramKind).size(), 1u + 1);

  // The single Mix file now holds another Mix; the one it held keeps the place it was seen at.
  Write(Path("set/single/Mix 5.syx"), Dump(kMixKind, 9, 0, 5));
  const auto changed = library.Import({Path("set/single/Mix 5.syx")});
  EXPECT_EQ(changed.files, 1u);
  EXPECT_EQ(changed.fresh, 1u);
  EXPECT_EQ(library.Count(inSingle), 1u);
  EXPECT_EQ(library.Count({}), all);

  // A copy of a known bank elsewhere: no dump is new, each gets a place more.
  std::filesystem::copy_file(Path("set/Bank A.syx"), Path("copy.syx"));
  const auto copy = library.Import({Path("copy.syx")});
  EXPECT_EQ(copy.fresh, 0u);
  EXPECT_EQ(library.Count({}), all);
  Query inCopy;
  inCopy.place = "copy.syx";
  const auto row = library.Search(inCopy).at(0);
  EXPECT_EQ(row.placeCount, 2);

  // Paths named that are missing or hold no dump are named with the reason.
  const auto named = library.Import({Path("missing.syx"), Path("set/notes.txt")});
  ASSERT_EQ(named.skipped.size(), 2u);
  EXPECT_EQ(named.skipped[0].reason, "does not exist");
  EXPECT_EQ(named.skipped[1].reason, "holds no Andromeda Program or Mix dump");
}

}  // namespace
}  // namespace quorle::testing
