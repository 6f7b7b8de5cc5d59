#include <algorithm>
#include <cctype>

#include "LibraryFixture.h"
#include "library/Library.h"
#include "protocol/Pack.h"

namespace quorle::testing {
namespace {

using library::DumpId;
using library::DumpSummary;
using library::How;
using library::Library;
using library::Query;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<DumpId> Ids(const std::vector<DumpSummary>& rows) {
  std::vector<DumpId> ids;
  for (const auto& r : rows) ids.push_back(r.id);
  return ids;
}

// The same sound: data changed only in the name and the card counts.
Bytes WithCardCounts(const DumpKind& kind, Bytes dump, int programBanks, int mixBanks) {
  ReportCardBanks(kind, dump, programBanks, mixBanks);
  return dump;
}

// Another sound: one data byte changed.
Bytes WithDataByte(const DumpKind& kind, const Bytes& dump, std::size_t at) {
  std::array<std::uint8_t, kMaxDumpSize> data{};
  Unpack(ByteView(dump).subspan(kPayloadOffset, kind.packedSize), data, kind.packedSize);
  data[at] ^= 0x01;
  return BuildDump(kind, dump[6], dump[7], std::span(data).first(kind.dataSize));
}

class LibrarySearch : public LibraryFixture {
 protected:
  // A fetched Program bank, a file of Mixes, and a bank sent back to the instrument.
  void Fill(Library& library) {
    Bytes programs = Bank(kProgramKind, 1);
    // Names with leading blanks sort by their letters: "  Zebra Pad" among the Z's.
    for (const auto& [e, name] : {std::pair{5, "  Zebra Pad"}, std::pair{6, " Aa Lead"}}) {
      const Bytes renamed =
          RenameDump(kProgramKind, ByteView(programs).subspan(e * 2350, 2350), name);
      std::copy(renamed.begin(), renamed.end(), programs.begin() + e * 2350);
    }
    std::vector<Library::Seen> fetched;
    for (int e = 0; e < 128; ++e) {
      fetched.push_back({&kProgramKind, ByteView(programs).subspan(e * 2350, 2350), 0, e});
    }
    library.RecordAll(fetched, How::Fetched);
    Write(Path("mixes.syx"), Bank(kMixKind, 2));
    Write(Path("more/programs.syx"), Bank(kProgramKind, 3, 2));
    library.Import({Path("mixes.syx"), Path("more")});
    all_ = Everything(library);
  }

  static std::vector<DumpSummary> Everything(const Library& library) {
    Query q;
    q.limit = 100000;
    return library.Search(q);
  }

  // What a search by text must find: every name holding it (the blanks around it are no part
  // of it), whatever the case, by name without its leading blanks.
  std::vector<DumpId> Expected(std::string text) const {
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    const auto key = [](const DumpSummary& r) {
      return std::make_pair(
          Lower(r.name.substr(std::min(r.name.find_first_not_of(' '), r.name.size()))), r.id);
    };
    std::vector<DumpSummary> rows;
    for (const auto& r : all_) {
      if (Lower(r.name).find(Lower(text)) != std::string::npos) rows.push_back(r);
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const DumpSummary& a, const DumpSummary& b) { return key(a) < key(b); });
    return Ids(rows);
  }

  std::vector<DumpSummary> all_;
};

TEST_F(LibrarySearch, FindsAnyPartOfANameInNameOrderPageByPage) {
  Library library(LibraryFile());
  Fill(library);
  ASSERT_EQ(all_.size(), 384u);
  for (const std::string text : {" zebra ", "pad", "PAD", "ee", "e", "Warm", "1/2", "\"Vox\"",
                                 "Solo:", "A\\B", "  ", "%", "_", "zzz", "Bass Deep"}) {
    const std::vector<DumpId> expected = Expected(text);
    Query q;
    q.text = text;
    EXPECT_EQ(library.Count(q), expected.size()) << text;
    // Small pages: many matches are found by walking the names, few by sorting the matches.
    for (const std::size_t page : {3u, 200u}) {
      q.limit = page;
      std::vector<DumpId> found;
      for (q.offset = 0; q.offset <= expected.size(); q.offset += page) {
        const auto rows = library.Search(q);
        for (const auto& r : rows) found.push_back(r.id);
      }
      EXPECT_EQ(found, expected) << text << " in pages of " << page;
    }
  }
  EXPECT_FALSE(Expected("pad").empty());
  EXPECT_FALSE(Expected("\"Vox\"").empty());

  // Descending, and by when last seen: the most recent import first.
  Query byName;
  byName.text = "pad";
  byName.descending = true;
  std::vector<DumpId> reversed = Expected("pad");
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_EQ(Ids(library.Search(byName)), reversed);
  Query bySeen;
  bySeen.sort = library::SortBy::Seen;
  bySeen.descending = true;
  bySeen.limit = 1000;
  const auto seen = library.Search(bySeen);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(), [](const auto& a, const auto& b) {
    return std::make_pair(a.lastSeen, a.id) > std::make_pair(b.lastSeen, b.id);
  }));
}

TEST_F(LibrarySearch, FiltersByKindCategoryFavoritePlaceAndShowsWhereEachWasSeen) {
  Library library(LibraryFile());
  Fill(library);
  Query mixes;
  mixes.kind = &kMixKind;
  EXPECT_EQ(library.Count(mixes), 128u);
  Query onInstrument;
  onInstrument.place = "andromeda";
  EXPECT_EQ(library.Count(onInstrument), 128u);
  const auto fetched = library.Search(onInstrument).front();
  EXPECT_EQ(fetched.where.substr(0, 15), "Andromeda User ");
  EXPECT_EQ(fetched.placeCount, 1);
  Query inMore;
  inMore.place = "more/";
  EXPECT_EQ(library.Search(inMore).front().where.substr(0, 13), "programs.syx ");

  // Categories by the name's keywords, until the user says otherwise.
  std::size_t pads = 0;
  for (const auto& r : all_) {
    EXPECT_EQ(r.category, library::CategoryOfName(r.name));
    pads += r.category == "Pad";
  }
  Query padCategory;
  padCategory.category = "pad";
  EXPECT_EQ(library.Count(padCategory), pads);
  const DumpId some = all_[5].id;
  library.SetCategory(some, "My Keys");
  library.SetFavorite(some, true);
  Query mine;
  mine.category = "My Keys";
  mine.favoritesOnly = true;
  EXPECT_EQ(Ids(library.Search(mine)), std::vector<DumpId>{some});
  EXPECT_TRUE(library.Details(some)->summary.favorite);
  const auto categories = library.Categories();
  EXPECT_TRUE(std::is_sorted(categories.begin(), categories.end()));
  EXPECT_NE(std::find(categories.begin(), categories.end(), "My Keys"), categories.end());
  library.SetCategory(some, "");
  EXPECT_EQ(library.Details(some)->summary.category, library::CategoryOfName(all_[5].name));

  EXPECT_EQ(library::CategoryOfName("FatBass"), "Bass");
  EXPECT_EQ(library::CategoryOfName("Bass Pad"), "Bass");
  EXPECT_EQ(library::CategoryOfName("Str Ensemble"), "Strings");
  EXPECT_EQ(library::CategoryOfName("Sharp Storm"), "Other");
}

TEST_F(LibrarySearch, TheSameSoundUnderOtherNamesIsADuplicateUntilForgotten) {
  Library library(LibraryFile());
  const Bytes original = Dump(kProgramKind, 7, 0, 9);
  const Bytes renamed = RenameDump(kProgramKind, original, "Renamed Copy");
  const Bytes otherCard = WithCardCounts(kProgramKind, original, 5, 4);
  const Bytes otherSound = WithDataByte(kProgramKind, original, 100);
  ASSERT_NE(otherCard, original);
  const DumpId a = library.Record(kProgramKind, original, 0, 9, How::Fetched);
  const DumpId b = library.Record(kProgramKind, renamed, 0, 9, How::Sent);
  const DumpId c = library.Record(kProgramKind, otherCard, 3, 1, How::Fetched);
  const DumpId d = library.Record(kProgramKind, otherSound, 0, 10, How::Fetched);
  // Seen again: the same dump, stored once, one place more.
  EXPECT_EQ(library.Record(kProgramKind, original, 0, 11, How::Fetched), a);

  Query duplicates;
  duplicates.duplicatesOnly = true;
  auto ids = Ids(library.Search(duplicates));
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<DumpId>{a, b, c}));
  EXPECT_EQ(library.Count(duplicates), 3u);
  const auto details = library.Details(a);
  ASSERT_TRUE(details);
  EXPECT_EQ(details->summary.sound, library::SoundOf(kProgramKind, renamed));
  EXPECT_NE(details->summary.sound, library::SoundOf(kProgramKind, otherSound));
  EXPECT_EQ(details->summary.placeCount, 2);
  EXPECT_EQ(details->places.size(), 2u);
  ASSERT_EQ(details->otherNames.size(), 2u);
  EXPECT_EQ(details->otherNames[0], std::make_pair(c, details->summary.name));
  EXPECT_EQ(details->otherNames[1], std::make_pair(b, std::string("Renamed Copy")));
  EXPECT_EQ(library.DumpBytes(a), original);
  EXPECT_EQ(library.DumpBytes(c), otherCard);
  EXPECT_EQ(library.KindOf(d), &kProgramKind);

  const std::vector<DumpId> forget = {b, c};
  library.Forget(forget);
  EXPECT_EQ(library.Count(duplicates), 0u);
  EXPECT_FALSE(library.Details(b));
  EXPECT_FALSE(library.DumpBytes(c));
  EXPECT_EQ(library.Count({}), 2u);
  Query byName;
  byName.text = "Renamed";
  EXPECT_EQ(library.Count(byName), 0u);
}

TEST_F(LibrarySearch, KeepsEveryDumpByteExactAndEachBankSeenWhole) {
  Library library(LibraryFile());
  // Bits past the data in the last packed byte: kept as they came.
  Bytes odd = Dump(kMixKind, 4, 0, 0);
  odd[kPayloadOffset + kMixKind.packedSize - 1] |= 0x40;
  const DumpId oddId = library.Record(kMixKind, odd, 0, 0, How::Fetched);
  EXPECT_EQ(library.DumpBytes(oddId), odd);

  // A bank fetched whole, and what a bank send replaced, kept with its note.
  const Bytes bank = Bank(kMixKind, 5, 2);
  std::vector<Library::Seen> seen;
  for (int e = 127; e >= 0; --e)
    seen.push_back({&kMixKind, ByteView(bank).subspan(e * 1180, 1180), 2, e});
  library.RecordAll(seen, How::Replaced, "Mix bank send from Set.syx");
  const auto banks = library.WholeBanks(kMixKind);
  ASSERT_EQ(banks.size(), 1u);
  EXPECT_EQ(banks[0].source, "Andromeda");
  EXPECT_EQ(banks[0].how, How::Replaced);
  EXPECT_EQ(banks[0].bank, 2);
  EXPECT_EQ(library.BankBytes(banks[0]), bank);
  Query replaced;
  replaced.replacedOnly = true;
  const auto rows = library.Search(replaced);
  ASSERT_EQ(rows.size(), 128u);
  EXPECT_EQ(library.Details(rows[0].id)->places[0].note, "Mix bank send from Set.syx");
  EXPECT_TRUE(library.WholeBanks(kProgramKind).empty());

  // A bank that lost a dump is no longer whole.
  library.Forget(std::vector<DumpId>{rows[3].id});
  EXPECT_TRUE(library.WholeBanks(kMixKind).empty());

  EXPECT_THROW(library.Record(kProgramKind, odd, 0, 0, How::Fetched), std::invalid_argument);
  EXPECT_THROW(library.Record(kMixKind, odd, 0, 128, How::Fetched), std::invalid_argument);
}

TEST_F(LibrarySearch, MakeBankPutsEachDumpInItsSlotByteExact) {
  const Bytes base = Bank(kProgramKind, 1, 3);
  const Bytes x = Dump(kProgramKind, 8, 0, 40);
  const Bytes y = Dump(kProgramKind, 9, 1, 2);
  const Bytes made = library::MakeBank(kProgramKind, base, {{0, x}, {127, y}});
  Bytes expected = base;
  Bytes xAt0 = x;
  AddressDump(xAt0, 3, 0);
  Bytes yAt127 = y;
  AddressDump(yAt127, 3, 127);
  std::copy(xAt0.begin(), xAt0.end(), expected.begin());
  std::copy(yAt127.begin(), yAt127.end(), expected.begin() + 127 * 2350);
  EXPECT_EQ(made, expected);

  using library::MakeBank;
  EXPECT_THROW(MakeBank(kProgramKind, Bank(kMixKind, 1), {{0, x}}), std::invalid_argument);
  EXPECT_THROW(MakeBank(kProgramKind, base, {{0, Dump(kMixKind, 1, 0, 0)}}), std::invalid_argument);
  EXPECT_THROW(MakeBank(kProgramKind, base, {{128, x}}), std::invalid_argument);
  EXPECT_THROW(MakeBank(kProgramKind, base, {{-1, x}}), std::invalid_argument);
  EXPECT_THROW(MakeBank(kProgramKind, base, {{4, x}, {4, y}}), std::invalid_argument);
}

}  // namespace
}  // namespace quorle::testing
