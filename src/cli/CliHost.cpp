#include "cli/CliHost.h"

namespace quorle {

void CliHost::StatusChanged(const std::string& text) {
  // A status text cleared to nothing says nothing worth a line.
  if (text.find_first_not_of(' ') == std::string::npos) return;
  out_ << text << '\n' << std::flush;
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

}  // namespace quorle
