#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "library/Library.h"
#include "library/LibrarySearch.h"

namespace quorle::library {

// The Library window's query in hand and the rows it has found, fetched a page at a time as they
// are shown: a catalogue of any size is never loaded whole. Every change of the query is asked of
// the search at once; the rows shown stay those of the last answered query until the new answer
// comes, so typing never blanks the table.
class LibraryBrowser {
 public:
  static constexpr std::size_t kPageSize = 200;
  // Pages kept beyond the one in view; the least recently shown go first.
  static constexpr std::size_t kPagesKept = 16;

  explicit LibraryBrowser(LibrarySearch& search);

  // The query: each change asks again (nothing is asked when it does not change).
  const Query& Wanted() const { return wanted_; }
  void SetQuery(const Query& query);
  // The same query again, after the library changed under it.
  void Refresh();

  // Rows of the last answered query: their count, nothing before the first answer. Until the
  // count itself comes, the rows of the first page.
  std::optional<std::size_t> Count() const { return count_; }
  bool CountKnown() const { return countKnown_; }
  // Row i, or nullptr while its page is on its way (it is asked for now).
  const DumpSummary* Row(std::size_t i);
  // Where a dump stands among the rows held; nothing when its page is not held.
  std::optional<std::size_t> RowOf(DumpId id) const;
  // The reason the last answer gave for not answering; empty when it answered.
  const std::string& Error() const { return error_; }
  // Whether an answer to the query in hand is still to come.
  bool Searching() const { return shown_ != asked_; }

  // Takes the search's answers. Reset: the rows are those of another query; rows: rows
  // [first, last) arrived for the query already shown; counted: its count came, from and to,
  // to be taken with TakeCount once the view is told.
  struct Update {
    bool reset = false;
    std::vector<std::pair<std::size_t, std::size_t>> rows;
    std::optional<std::pair<std::size_t, std::size_t>> counted;
  };
  Update Take();
  void TakeCount();

 private:
  void Ask(std::uint64_t generation, std::size_t page, bool count);
  void Evict();

  LibrarySearch& search_;
  Query wanted_;
  std::uint64_t asked_ = 0;  // the generation of the query in hand
  std::uint64_t shown_ = 0;  // the generation whose rows are held; 0: none yet
  Query shownQuery_;
  std::optional<std::size_t> count_;
  bool countKnown_ = false;
  std::optional<std::size_t> counted_;  // the count come, until taken
  std::string error_;
  struct Page {
    std::vector<DumpSummary> rows;
    std::uint64_t used = 0;
  };
  std::map<std::size_t, Page> pages_;
  std::set<std::size_t> pending_;  // pages of the shown generation asked for
  std::uint64_t clock_ = 0;
};

}  // namespace quorle::library
