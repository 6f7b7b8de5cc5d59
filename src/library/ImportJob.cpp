#include "library/ImportJob.h"

#include <utility>

namespace quorle::library {

std::string Grouped(std::size_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return digits;
}

std::string ImportSummary(const ImportReport& report) {
  return Grouped(report.dumps) + (report.dumps == 1 ? " dump" : " dumps") + " from " +
         Grouped(report.files) + (report.files == 1 ? " file" : " files") + ", " +
         Grouped(report.fresh) + " new" +
         (report.passedOver == 0
              ? std::string()
              : "; " + Grouped(report.passedOver) +
                    (report.passedOver == 1 ? " other file" : " other files") + " passed over");
}

ImportJob::ImportJob(std::filesystem::path library, std::vector<std::filesystem::path> paths,
                     std::function<void()> notify)
    : library_(std::move(library)),
      paths_(std::move(paths)),
      notify_(std::move(notify)),
      worker_([this] { Run(); }) {}

ImportJob::~ImportJob() {
  cancel_ = true;
  worker_.join();
}

ImportJob::Progress ImportJob::Now() const {
  std::lock_guard lock(mutex_);
  return progress_;
}

void ImportJob::Run() {
  try {
    Library library(library_);
    report_ = library.Import(paths_,
                             [this](std::size_t done, std::size_t total, const std::string& path) {
                               {
                                 std::lock_guard lock(mutex_);
                                 progress_ = Progress{done, total, path};
                               }
                               if (notify_) notify_();
                               return !cancel_;
                             });
  } catch (const std::exception& e) {
    error_ = e.what();
  }
  finished_ = true;
  if (notify_) notify_();
}

}  // namespace quorle::library
