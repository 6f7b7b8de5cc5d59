#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/FormHost.h"

namespace quorle {

// The main window's host in the command line: each status text and each message box becomes a
// line of output, in the order the window would have shown them; error boxes go to err.
class CliHost : public FormHost {
 public:
  CliHost(std::ostream& out, std::ostream& err);

  void StatusChanged(const std::string& text) override;
  void StateChanged() override {}
  void ShowMessage(MessageIcon icon, const std::string& text) override;
  // Dialogs and file choosers are answered by the command from its options.
  ModalResult ShowModal(Dialog& dialog) override;
  std::optional<std::string> ChooseFile(const FileChoice& choice) override;
  bool Confirm(const std::string& text) override;
  // On a terminal, the progress window's caption as one line that redraws itself.
  void ProgressChanged(const TfrmProgress* progress) override;

  std::function<ModalResult(Dialog&)> answerDialog;
  std::function<std::optional<std::string>(const FileChoice&)> answerFile;
  std::function<bool(const std::string&)> answerConfirm;
  // Whether the progress window is drawn as a line on standard error.
  bool progressOnTerminal;

  // Message boxes shown so far, and how many of them were information boxes.
  const std::vector<std::string>& Messages() const { return messages_; }
  int InformationCount() const { return information_; }
  int ErrorCount() const { return errors_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::string> messages_;
  int information_ = 0;
  int errors_ = 0;
  bool progressLine_ = false;
};

}  // namespace quorle
