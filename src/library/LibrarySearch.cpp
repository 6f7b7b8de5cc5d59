#include "library/LibrarySearch.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace quorle::library {

LibrarySearch::LibrarySearch(std::filesystem::path file, std::function<void()> notify)
    : file_(std::move(file)), notify_(std::move(notify)), worker_([this] { Run(); }) {}

LibrarySearch::~LibrarySearch() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void LibrarySearch::Ask(Request request) {
  {
    std::lock_guard lock(mutex_);
    std::erase_if(requests_, [&](const Request& r) { return r.generation < request.generation; });
    requests_.push_back(std::move(request));
  }
  wake_.notify_one();
}

std::vector<LibrarySearch::Answer> LibrarySearch::Take() {
  std::lock_guard lock(mutex_);
  return std::exchange(answers_, {});
}

void LibrarySearch::Run() {
  // Opened here, on the thread that uses it, and only once: a library that cannot be opened
  // answers every request with the reason.
  std::unique_ptr<Library> library;
  std::string openError;
  bool opened = false;
  for (;;) {
    Request request;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || !requests_.empty(); });
      if (stop_) return;
      request = std::move(requests_.front());
      requests_.pop_front();
    }
    if (!opened) {
      opened = true;
      try {
        library = std::make_unique<Library>(file_);
      } catch (const std::exception& e) {
        openError = e.what();
      }
    }
    Answer answer;
    answer.generation = request.generation;
    answer.offset = request.query.offset;
    if (!library) {
      answer.error = openError;
      Answered(std::move(answer));
      continue;
    }
    try {
      answer.rows = library->Search(request.query);
    } catch (const std::exception& e) {
      answer.error = e.what();
    }
    // A first page that is not full is the whole count; no second query for it.
    const bool whole = request.query.offset == 0 && answer.rows.size() < request.query.limit;
    if (request.count && whole && answer.error.empty()) answer.count = answer.rows.size();
    const bool countNext = request.count && !whole && answer.error.empty();
    Answered(std::move(answer));
    if (!countNext || Superseded(request.generation)) continue;
    Answer count;
    count.generation = request.generation;
    count.offset = request.query.offset;
    count.countOnly = true;
    try {
      count.count = library->Count(request.query);
    } catch (const std::exception& e) {
      count.error = e.what();
    }
    Answered(std::move(count));
  }
}

void LibrarySearch::Answered(Answer answer) {
  {
    std::lock_guard lock(mutex_);
    answers_.push_back(std::move(answer));
  }
  if (notify_) notify_();
}

bool LibrarySearch::Superseded(std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  return std::any_of(requests_.begin(), requests_.end(),
                     [&](const Request& r) { return r.generation > generation; });
}

}  // namespace quorle::library
