#include "library/LibraryBrowser.h"

#include <algorithm>
#include <utility>

namespace quorle::library {

namespace {

// Whether two queries find the same rows in the same order; the page asked for does not count.
bool SameRows(const Query& a, const Query& b) {
  return a.text == b.text && a.kind == b.kind && a.category == b.category &&
         a.favoritesOnly == b.favoritesOnly && a.duplicatesOnly == b.duplicatesOnly &&
         a.replacedOnly == b.replacedOnly && a.onlyOnInstrument == b.onlyOnInstrument &&
         a.place == b.place && a.sort == b.sort && a.descending == b.descending;
}

}  // namespace

LibraryBrowser::LibraryBrowser(LibrarySearch& search) : search_(search) {}

void LibraryBrowser::SetQuery(const Query& query) {
  if (asked_ != 0 && SameRows(query, wanted_)) return;
  wanted_ = query;
  Refresh();
}

void LibraryBrowser::Refresh() {
  ++asked_;
  Ask(asked_, 0, true);
}

void LibraryBrowser::Ask(std::uint64_t generation, std::size_t page, bool count) {
  LibrarySearch::Request request;
  request.generation = generation;
  request.query = generation == shown_ ? shownQuery_ : wanted_;
  request.query.offset = page * kPageSize;
  request.query.limit = kPageSize;
  request.count = count;
  search_.Ask(std::move(request));
}

const DumpSummary* LibraryBrowser::Row(std::size_t i) {
  if (!count_ || i >= *count_) return nullptr;
  const std::size_t page = i / kPageSize;
  if (auto it = pages_.find(page); it != pages_.end()) {
    it->second.used = ++clock_;
    const std::size_t at = i % kPageSize;
    return at < it->second.rows.size() ? &it->second.rows[at] : nullptr;
  }
  // While a newer query is on its way, the rows held are about to go: nothing more is asked.
  if (!Searching() && pending_.insert(page).second) Ask(shown_, page, false);
  return nullptr;
}

std::optional<std::size_t> LibraryBrowser::RowOf(DumpId id) const {
  for (const auto& [page, held] : pages_) {
    for (std::size_t i = 0; i < held.rows.size(); ++i) {
      if (held.rows[i].id == id) return page * kPageSize + i;
    }
  }
  return std::nullopt;
}

LibraryBrowser::Update LibraryBrowser::Take() {
  Update update;
  for (LibrarySearch::Answer& answer : search_.Take()) {
    if (answer.generation == asked_ && answer.generation != shown_ && !answer.countOnly) {
      // The first page of the query in hand: it replaces every row held.
      shown_ = asked_;
      shownQuery_ = wanted_;
      pages_.clear();
      pending_.clear();
      error_ = std::move(answer.error);
      count_ = error_.empty() ? answer.count.value_or(answer.rows.size()) : 0;
      countKnown_ = answer.count.has_value() || !error_.empty();
      counted_.reset();
      pages_[0] = Page{std::move(answer.rows), ++clock_};
      update.reset = true;
      update.rows.clear();
      update.counted.reset();
    } else if (answer.generation == shown_ && answer.countOnly) {
      if (!answer.error.empty()) {
        error_ = std::move(answer.error);
      } else if (answer.count) {
        counted_ = *answer.count;
        update.counted = std::pair(*count_, *counted_);
      }
    } else if (answer.generation == shown_) {
      const std::size_t page = answer.offset / kPageSize;
      pending_.erase(page);
      if (!answer.error.empty()) {
        error_ = std::move(answer.error);
        continue;
      }
      const std::size_t first = page * kPageSize;
      const std::size_t last = first + answer.rows.size();
      pages_[page] = Page{std::move(answer.rows), ++clock_};
      if (!update.reset && last > first) update.rows.emplace_back(first, last);
    }
  }
  Evict();
  return update;
}

void LibraryBrowser::TakeCount() {
  if (!counted_) return;
  count_ = *counted_;
  countKnown_ = true;
  counted_.reset();
}

void LibraryBrowser::Evict() {
  while (pages_.size() > kPagesKept + 1) {
    auto oldest = std::min_element(pages_.begin(), pages_.end(), [](const auto& a, const auto& b) {
      return a.second.used < b.second.used;
    });
    pages_.erase(oldest);
  }
}

}  // namespace quorle::library
