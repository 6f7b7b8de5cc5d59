#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/FormHost.h"

namespace quorle::bench {

// A FormHost that answers every dialog and file chooser the same way, so one window can repeat
// an operation, and notes when the status bar last changed and when the progress window went.
class BenchHost : public FormHost {
 public:
  using Clock = std::chrono::steady_clock;

  void StatusChanged(const std::string& text) override {
    status = text;
    statusTime = Clock::now();
  }
  void StateChanged() override {}
  void ShowMessage(MessageIcon, const std::string& text) override { messages.push_back(text); }
  ModalResult ShowModal(Dialog& dialog) override {
    return answerDialog ? answerDialog(dialog) : ModalResult::Cancel;
  }
  std::optional<std::string> ChooseFile(const FileChoice&) override { return file; }
  void ProgressChanged(const TfrmProgress* progress) override {
    if (!progress) progressGoneTime = Clock::now();
  }

  std::function<ModalResult(Dialog&)> answerDialog;
  std::optional<std::string> file;

  std::string status;
  Clock::time_point statusTime{};
  // A fetch closes its progress window as the last dump is in, before it writes the file.
  Clock::time_point progressGoneTime{};
  std::vector<std::string> messages;
};

}  // namespace quorle::bench
