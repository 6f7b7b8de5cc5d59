// The Library window's logic without a display: the query in hand paged from a library on disk,
// and the bank composer over real bank files imported into it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "library/BankComposer.h"
#include "library/Library.h"
#include "library/LibraryBrowser.h"
#include "library/LibrarySearch.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "sim/SimContent.h"
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

}  // namespace
}  // namespace quorle::library
