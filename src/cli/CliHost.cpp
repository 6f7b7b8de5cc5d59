#include "cli/CliHost.h"

#include <unistd.h>

#include <iostream>

#include "dialogs/TfrmProgress.h"
#include "protocol/DumpName.h"

namespace quorle {

CliHost::CliHost(std::ostream& out, std::ostream& err)
    // Only a person watching a terminal wants the line; a log or a pipe would fill with redraws.
    : progressOnTerminal(&err == &std::cerr && ::isatty(STDERR_FILENO)), out_(out), err_(err) {}

void CliHost::ProgressChanged(const TfrmProgress* progress) {
  if (!progressOnTerminal) return;
  if (progress && !progress->Caption().empty()) {
    // A caption carries names as the instrument keeps them: an escape byte must not reach the
    // terminal.
    err_ << '\r' << PrintableName(progress->Caption()) << "\033[K" << std::flush;
    progressLine_ = true;
  } else if (!progress && progressLine_) {
    err_ << "\r\033[K" << std::flush;
    progressLine_ = false;
  }
}

void CliHost::StatusChanged(const std::string& text) {
  // A status text cleared to nothing says nothing worth a line.
  if (text.find_first_not_of(' ') == std::string::npos) return;
  out_ << text << '\n' << std::flush;
  // Dumps that had to be asked for again say the link is poor: worth a word where warnings go.
  if (text.find(" fetched again") != std::string::npos ||
      text.find("(input overflowed") != std::string::npos) {
    err_ << text.substr(text.front() == ' ' ? 1 : 0) << '\n' << std::flush;
  }
}

void CliHost::ShowMessage(MessageIcon icon, const std::string& text) {
  messages_.push_back(text);
  if (icon == MessageIcon::Information) ++information_;
  if (icon == MessageIcon::Error) ++errors_;
  (icon == MessageIcon::Error ? err_ : out_) << text << '\n' << std::flush;
}

ModalResult CliHost::ShowModal(Dialog& dialog) {
  return answerDialog ? answerDialog(dialog) : ModalResult::Cancel;
}

std::optional<std::string> CliHost::ChooseFile(const FileChoice& choice) {
  return answerFile ? answerFile(choice) : std::nullopt;
}

bool CliHost::Confirm(const std::string& text) {
  return answerConfirm && answerConfirm(text);
}

}  // namespace quorle
