#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/FormHost.h"
#include "dialogs/TfrmProgress.h"

namespace quorle::testing {

// A FormHost that records everything the window shows and answers dialogs and file choosers
// from a script the test sets up beforehand.
class ScriptedHost : public FormHost {
 public:
  struct Message {
    MessageIcon icon;
    std::string text;
  };
  using DialogScript = std::function<ModalResult(Dialog&)>;
  using FileScript = std::function<std::optional<std::string>(const FileChoice&)>;

  void StatusChanged(const std::string& text) override { statuses.push_back(text); }
  void StateChanged() override { ++stateChanges; }
  void ShowMessage(MessageIcon icon, const std::string& text) override {
    messages.push_back({icon, text});
    if (onMessage) onMessage();
  }
  ModalResult ShowModal(Dialog& dialog) override {
    dialogsShown.push_back(dialog.Caption);
    if (dialogs.empty()) return ModalResult::Cancel;
    DialogScript next = std::move(dialogs.front());
    dialogs.pop_front();
    return next(dialog);
  }
  std::optional<std::string> ChooseFile(const FileChoice& choice) override {
    fileChoices.push_back(choice);
    if (files.empty()) return std::nullopt;
    FileScript next = std::move(files.front());
    files.pop_front();
    return next(choice);
  }
  bool Confirm(const std::string& text) override {
    questions.push_back(text);
    if (confirms.empty()) return false;
    const bool yes = confirms.front();
    confirms.pop_front();
    return yes;
  }
  void ProgressChanged(const TfrmProgress* progress) override {
    progressShown = progress != nullptr;
    if (progress) progressCaption = progress->Caption();
    if (progress) progressPositions.push_back(progress->Position());
    if (progress && (progressCaptions.empty() || progressCaptions.back() != progressCaption))
      progressCaptions.push_back(progressCaption);
    ++progressChanges;
  }
  HelpViewer* Help() override { return helpViewer; }

  // Answers, used in order; when none is left a dialog is cancelled and a file choice too.
  std::deque<DialogScript> dialogs;
  std::deque<FileScript> files;
  std::deque<bool> confirms;
  std::function<void()> onMessage;
  HelpViewer* helpViewer = nullptr;

  std::vector<std::string> statuses;
  std::vector<Message> messages;
  std::vector<std::string> dialogsShown;
  std::vector<FileChoice> fileChoices;
  std::vector<std::string> questions;
  int stateChanges = 0;
  bool progressShown = false;
  std::string progressCaption;
  std::vector<std::string> progressCaptions;  // every caption shown, in order
  std::vector<int> progressPositions;         // the bar at every change, in order
  int progressChanges = 0;
};

}  // namespace quorle::testing
