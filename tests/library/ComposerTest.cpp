// The Library window's logic without a display: the query in hand paged from a library on disk,
// and the bank composer over real bank files imported into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "library/BankComposer.h"
#include "library/BankHistory.h"
#include "library/Library.h"
#include "library/LibraryBrowser.h"
#include "library/LibrarySearch.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "sim/SimContent.h"
#include "support/AgeReplacements.h"
#include "support/TestFolder.h"

namespace quorle::library {
namespace {

namespace fs = std::filesystem;

Bytes SeededBank(const DumpKind& kind, std::uint64_t seed) {
  Bytes bank;
  for (int i = 0; i < 128; ++i) {
    const Bytes dump = SeededDump(kind, seed, 0, i, 0, 0);
    bank.insert(bank.end(), dump.begin(), dump.end());
  }
  return bank;
}

Bytes Record(ByteView bank, const DumpKind& kind, int i) {
  const ByteView r = bank.subspan(static_cast<std::size_t>(i) * kind.dumpSize, kind.dumpSize);
  return Bytes(r.begin(), r.end());
}

// A bank of the instrument as the window reports it fetched whole.
void RecordFetched(Library& library, const DumpKind& kind, ByteView bank, int number) {
  std::vector<Library::Seen> seen;
  for (int i = 0; i < 128; ++i)
    seen.push_back({&kind, bank.subspan(static_cast<std::size_t>(i) * kind.dumpSize, kind.dumpSize),
                    number, i});
  library.RecordAll(seen, How::Fetched);
}

class LibraryLogic : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::FreshTestFolder("lib"); }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, ByteView content) {
    EXPECT_TRUE(WriteFileAtomically(dir_ / name, content).ok);
    return dir_ / name;
  }
  // The library's id of the dump it holds with these bytes.
  static DumpId IdOf(Library& library, const DumpKind& kind, ByteView dump) {
    Query query;
    query.kind = &kind;
    query.limit = 1000;
    for (const DumpSummary& s : library.Search(query)) {
      const auto bytes = library.DumpBytes(s.id);
      if (bytes && Bytes(dump.begin(), dump.end()) == *bytes) return s.id;
    }
    ADD_FAILURE() << "not in the library";
    return 0;
  }

  fs::path dir_;
};

// Answers of the search thread, waited for as the window's event loop would.
class Answers {
 public:
  std::function<void()> Notify() {
    return [this] {
      std::lock_guard lock(mutex_);
      ++notified_;
      wake_.notify_all();
    };
  }
  // Takes answers until done says the browser holds what is wanted.
  bool Until(LibraryBrowser& browser, const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      if (browser.Take().counted) browser.TakeCount();
      if (done()) return true;
      std::unique_lock lock(mutex_);
      if (!wake_.wait_until(lock, limit, [&] { return notified_ > seen_; })) return false;
      seen_ = notified_;
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  int notified_ = 0, seen_ = 0;
};

TEST_F(LibraryLogic, TypingAsksForTheLastTextOnlyAndRowsArriveAPageAtATime) {
  Library library(dir_ / "library.sqlite");
  for (int seed = 1; seed <= 3; ++seed) {
    Write("Bank" + std::to_string(seed) + ".syx", SeededBank(kProgramKind, seed));
  }
  Write("Mixes.syx", SeededBank(kMixKind, 9));
  library.Import({dir_});

  Answers answers;
  LibrarySearch search(dir_ / "library.sqlite", answers.Notify());
  LibraryBrowser browser(search);
  browser.SetQuery({});
  ASSERT_TRUE(answers.Until(browser, [&] { return !browser.Searching() && browser.CountKnown(); }));
  const std::size_t all = library.Count({});
  ASSERT_GT(all, LibraryBrowser::kPageSize);
  EXPECT_EQ(browser.Count(), all);

  // A row past the first page is asked for when shown, and comes.
  const std::size_t far = all - 1;
  EXPECT_EQ(browser.Row(far), nullptr);
  ASSERT_TRUE(answers.Until(browser, [&] { return browser.Row(far) != nullptr; }));
  Query last;
  last.offset = far;
  last.limit = 1;
  EXPECT_EQ(browser.Row(far)->id, library.Search(last).at(0).id);

  // Typed letter by letter: the rows shown end as those of the whole text.
  Query typed;
  typed.kind = &kProgramKind;
  const std::string name = library.Search(typed).at(7).name;
  const std::string text = name.substr(0, std::min<std::size_t>(name.size(), 5));
  for (std::size_t n = 1; n <= text.size(); ++n) {
    typed.text = text.substr(0, n);
    browser.SetQuery(typed);
  }
  ASSERT_TRUE(answers.Until(browser, [&] { return !browser.Searching() && browser.CountKnown(); }));
  EXPECT_EQ(browser.Count(), library.Count(typed));
  ASSERT_NE(browser.Row(0), nullptr);
  EXPECT_EQ(browser.Row(0)->id, library.Search(typed).at(0).id);
  EXPECT_TRUE(browser.Error().empty());
}

TEST_F(LibraryLogic, ComposedBankIsWhatMakeBankWritesForTheSameChoices) {
  const Bytes base = SeededBank(kProgramKind, 1);
  const Bytes other = SeededBank(kProgramKind, 2);
  Write("Base.syx", base);
  Write("Other.syx", other);
  Write("Mixes.syx", SeededBank(kMixKind, 3));
  Library library(dir_ / "library.sqlite");
  library.Import({dir_});

  BankComposer composer(kProgramKind);
  EXPECT_FALSE(composer.Start(SeededBank(kMixKind, 3), "Mixes.syx"));
  ASSERT_TRUE(composer.Start(base, "Base.syx"));
  EXPECT_FALSE(composer.Unsaved());
  EXPECT_EQ(composer.Build(), base);

  // Two sounds of the other bank into slots 5 and 6, one of the base's into 90.
  const DumpId a = IdOf(library, kProgramKind, Record(other, kProgramKind, 40));
  const DumpId b = IdOf(library, kProgramKind, Record(other, kProgramKind, 41));
  const DumpId c = IdOf(library, kProgramKind, Record(base, kProgramKind, 3));
  ASSERT_TRUE(composer.Put(5, {{a, *library.DumpBytes(a)}, {b, *library.DumpBytes(b)}}));
  ASSERT_TRUE(composer.Put(90, {{c, *library.DumpBytes(c)}}));
  // A Mix is refused and changes nothing.
  const DumpId mix = IdOf(library, kMixKind, Record(SeededBank(kMixKind, 3), kMixKind, 0));
  EXPECT_FALSE(composer.Put(7, {{mix, *library.DumpBytes(mix)}}));
  EXPECT_FALSE(composer.Changed(7));
  EXPECT_TRUE(composer.Changed(5) && composer.Changed(6) && composer.Changed(90));
  EXPECT_EQ(composer.Name(5), DumpName(kProgramKind, Record(other, kProgramKind, 40)));

  // Reordered: 5 and 100 trade places; undone and redone.
  ASSERT_TRUE(composer.Swap(5, 100));
  EXPECT_EQ(composer.At(100).from, a);
  EXPECT_TRUE(composer.Changed(5));
  composer.Undo();
  EXPECT_EQ(composer.At(5).from, a);
  EXPECT_FALSE(composer.Changed(100));
  composer.Redo();
  EXPECT_EQ(composer.At(100).from, a);
  EXPECT_FALSE(composer.CanRedo());

  // Slot 5 now holds base entry 100: a choice with no library id in the composer, but the
  // library holds that dump too, as make-bank would be told.
  const DumpId moved = IdOf(library, kProgramKind, Record(base, kProgramKind, 100));
  std::vector<std::pair<int, Bytes>> slots;
  for (const auto& [slot, id] : composer.Choices())
    slots.emplace_back(slot, *library.DumpBytes(id));
  slots.emplace_back(5, *library.DumpBytes(moved));
  const Bytes built = composer.Build();
  EXPECT_EQ(built, MakeBank(kProgramKind, base, slots));
  EXPECT_TRUE(IsSoundBank(kProgramKind, built));
  Bytes third = Record(base, kProgramKind, 3);
  third[7] = 90;
  EXPECT_EQ(Record(built, kProgramKind, 90), third) << "byte 7 is the slot";

  // Saved, then undone past the save and changed otherwise: unsaved for good.
  composer.MarkSaved();
  EXPECT_FALSE(composer.Unsaved());
  composer.Undo();
  EXPECT_TRUE(composer.Unsaved());
  composer.Redo();
  EXPECT_FALSE(composer.Unsaved());
  composer.Undo();
  ASSERT_TRUE(composer.Swap(0, 1));
  composer.Undo();
  EXPECT_TRUE(composer.Unsaved());
}

// A bank fetched whole, then two of its slots renamed by a send: the composer starts from the
// bank as it stands now, and a composition based on the older sighting names the two slots it
// would put back.
TEST_F(LibraryLogic, ComposerStartsFromTheBankAsLastSeenAndASendNamesWhatElseItWouldChange) {
  const fs::path file = dir_ / "library.sqlite";
  Library library(file);
  const Bytes fetched = SeededBank(kProgramKind, 1);
  RecordFetched(library, kProgramKind, fetched, 0);
  RecordFetched(library, kMixKind, SeededBank(kMixKind, 2), 0);
  Write("Other.syx", SeededBank(kProgramKind, 3));
  library.Import({dir_ / "Other.syx"});
  testing::AgeSightings(file);

  // Rename Bank: what was there kept, then the renamed dumps sent, in the same second.
  Bytes renamed0 = RenameDump(kProgramKind, Record(fetched, kProgramKind, 0), "Renamed First");
  Bytes renamed49 = RenameDump(kProgramKind, Record(fetched, kProgramKind, 49), "Renamed Fifty");
  const Bytes old0 = Record(fetched, kProgramKind, 0), old49 = Record(fetched, kProgramKind, 49);
  const std::vector<Library::Seen> kept = {{&kProgramKind, old0, 0, 0},
                                           {&kProgramKind, old49, 0, 49}};
  library.RecordAll(kept, How::Replaced, "Renamed bank");
  library.Record(kProgramKind, renamed0, 0, 0, How::Sent);
  library.Record(kProgramKind, renamed49, 0, 49, How::Sent);

  // Every bank seen whole is offered, the instrument's as it stands now first.
  const auto banks = BanksToStartFrom(library, kProgramKind);
  ASSERT_EQ(banks.size(), 3u);
  ASSERT_TRUE(banks[0].lastSeen);
  EXPECT_EQ(banks[0].lastSeen->bank, 0);
  EXPECT_EQ(banks[0].lastSeen->entries[0]->how, How::Sent);
  EXPECT_GT(banks[0].lastSeen->Newest(), banks[0].lastSeen->Oldest());
  ASSERT_TRUE(banks[1].whole && banks[2].whole);
  EXPECT_GE(banks[1].seen, banks[2].seen);
  EXPECT_EQ(BanksToStartFrom(library, kMixKind).size(), 2u)
      << "the Mix bank fetched, as last seen and whole";
  const auto now = BankFileOf(library, banks[0]);
  ASSERT_TRUE(now);
  Bytes expected = fetched;
  std::copy(renamed0.begin(), renamed0.end(), expected.begin());
  std::copy(renamed49.begin(), renamed49.end(), expected.begin() + 49 * kProgramKind.dumpSize);
  EXPECT_EQ(*now, expected);

  // Three slots changed on top of the older whole sighting: slots 0 and 49 would go back.
  const auto whole = std::ranges::find_if(
      banks, [](const auto& b) { return b.whole && b.whole->source == kInstrumentSource; });
  ASSERT_NE(whole, banks.end());
  BankComposer composer(kProgramKind);
  ASSERT_TRUE(composer.Start(*BankFileOf(library, *whole), "fetched"));
  const Bytes other = SeededBank(kProgramKind, 3);
  std::vector<BankComposer::Dropped> three;
  for (int i = 0; i < 3; ++i) {
    const Bytes dump = Record(other, kProgramKind, i);
    three.push_back({IdOf(library, kProgramKind, dump), dump});
  }
  ASSERT_TRUE(composer.Put(10, three));
  SendPreview preview = PreviewSend(library, composer, 0);
  ASSERT_EQ(preview.others.size(), 2u);
  EXPECT_EQ(preview.others[0].slot, 0);
  EXPECT_EQ(preview.others[0].was, "Renamed First");
  EXPECT_EQ(preview.others[1].slot, 49);
  EXPECT_EQ(preview.unseen, 0);
  // A bank the library never saw: nothing to name, every slot unknown.
  preview = PreviewSend(library, composer, 1);
  EXPECT_TRUE(preview.others.empty());
  EXPECT_EQ(preview.unseen, 125);

  // Started from the bank as it stands: only the composer's own changes.
  ASSERT_TRUE(composer.Start(*now, "now"));
  ASSERT_TRUE(composer.Put(10, three));
  EXPECT_TRUE(PreviewSend(library, composer, 0).others.empty());
}

}  // namespace
}  // namespace quorle::library
