#pragma once

#include <array>
#include <string>
#include <string_view>

#include "app/TMainState.h"
#include "dialogs/Dialog.h"
#include "protocol/DumpKind.h"

namespace quorle {

class FormHost;

// The 128 names of a bank in one grid of 4 columns by 32 rows: "Rename Program Bank" or "Rename
// Mix Bank". A cell is the entry's number, a blank and its 16 name bytes. Names are bytes: a cell
// holds them as they are, so an entry nobody renamed goes back to BankNames unchanged.
class TfrmList : public Dialog {
 public:
  static constexpr int kColumns = 4;
  static constexpr int kRows = 32;

  // BankNames must hold the 128 names.
  explicit TfrmList(TMainState& state);

  static int Entry(int column, int row) { return kRows * column + row; }
  const std::string& Cell(int column, int row) const;
  bool Changed() const { return changed_; }

  // A double-click: the name dialog for the entry under it; true when a new name was taken.
  bool GridDblClick(FormHost& host, int column, int row);
  // What the name dialog proposes: the old name without blanks around it and without the bytes an
  // edited name cannot hold.
  static std::string EditText(std::string_view name);
  // Takes a confirmed name: at most 16 printable ASCII characters, padded with blanks. False, and
  // nothing changes, for anything else.
  bool Rename(int column, int row, std::string_view text);
  void btnOKClick();

 private:
  TMainState& state_;
  std::array<std::string, kBankEntries> cells_;
  bool changed_ = false;
};

}  // namespace quorle
