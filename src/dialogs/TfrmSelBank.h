#pragma once

#include <string>

#include "dialogs/BankChooser.h"

namespace quorle {

// The bank whose names are to be renamed, and afterwards where the renamed bank goes: "Select
// Program Bank" or "Select Mix Bank". It counts banks as its kind does and writes ProgramBank or
// MixBank, so a Mix rename never touches the Program bank. Only the User bank and card banks are
// offered; the button above them stands for a file on disk.
class TfrmSelBank : public BankChooser {
 public:
  enum class Question {
    Source,  // which bank to rename: "Load from disk"
    Target,  // where the renamed bank goes: "Save to disk"
  };
  TfrmSelBank(TMainState& state, const DumpKind& kind, Question question);

  // The bank := -1 (a file), and the dialog closes with OK at once.
  void btnLoadClick();
  bool DiskChosen() const { return disk_; }
  Question Asked() const { return question_; }
  // Where the bank in hand cannot reach the instrument: only the disk is left to choose.
  void OnlyDisk();

  bool rbUserChecked() const { return Checked() == 0; }
  bool rbCardChecked() const { return IsCardChecked(); }
  void rbUserClick() { RadioClick(0); }
  void rbCardClick() { RadioClick(CardButton()); }
  void cbCardChange(int index) { CardChange(index); }
  void btnOKClick();

  std::string btnLoadCaption;

 private:
  int& bank_;
  bool& verify_;
  const Question question_;
  bool disk_ = false;
};

}  // namespace quorle
