#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "library/Library.h"

namespace quorle::library {

// Runs the window's searches on a thread of its own, over a connection of its own, so a search
// of a large library never holds up the window. Requests of one generation are answered in the
// order asked; a request of a newer generation drops every older one still waiting.
//
// Ask and Take are called from one thread (the window's); notify is called on the worker thread
// whenever answers are waiting, and must do no more than post a wake-up.
class LibrarySearch {
 public:
  struct Request {
    std::uint64_t generation = 0;
    Query query;  // with the offset and limit of the rows wanted
    // The count too: it follows the rows in an answer of its own, as counting a frequent text
    // takes longer than finding its first rows.
    bool count = false;
  };
  struct Answer {
    std::uint64_t generation = 0;
    std::size_t offset = 0;
    std::vector<DumpSummary> rows;
    std::optional<std::size_t> count;  // when asked for (with the rows when they are all)
    bool countOnly = false;            // the count that follows the rows
    std::string error;                 // the library could not answer
  };

  LibrarySearch(std::filesystem::path file, std::function<void()> notify);
  ~LibrarySearch();
  LibrarySearch(const LibrarySearch&) = delete;
  LibrarySearch& operator=(const LibrarySearch&) = delete;

  void Ask(Request request);
  std::vector<Answer> Take();

 private:
  void Run();
  void Answered(Answer answer);
  // Whether a request of a newer generation waits: an older count is not worth its time.
  bool Superseded(std::uint64_t generation);

  const std::filesystem::path file_;
  const std::function<void()> notify_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Request> requests_;
  std::vector<Answer> answers_;
  bool stop_ = false;
  std::thread worker_;
};

}  // namespace quorle::library
