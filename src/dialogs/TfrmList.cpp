#include "dialogs/TfrmList.h"

#include <cstdio>

#include "app/FormHost.h"
#include "dialogs/TfrmSetName.h"
#include "protocol/DumpName.h"

namespace quorle {

namespace {

constexpr std::size_t kPrefix = 4;  // "005 "

}  // namespace

TfrmList::TfrmList(TMainState& state) : state_(state) {
  Caption = "Rename Program Bank";
  for (std::size_t i = 0; i < kBankEntries; ++i) {
    char number[8];
    std::snprintf(number, sizeof number, "%3.3d ", static_cast<int>(i));
    const bool known = state_.BankNames && i < state_.BankNames->size();
    cells_[i] = number + (known ? (*state_.BankNames)[i] : std::string(kNameLength, ' '));
  }
}

const std::string& TfrmList::Cell(int column, int row) const {
  return cells_.at(static_cast<std::size_t>(Entry(column, row)));
}

std::string TfrmList::EditText(std::string_view name) {
  std::string text;
  for (char c : name) {
    if (c >= 0x20 && c <= 0x7E) text += c;
  }
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool TfrmList::GridDblClick(FormHost& host, int column, int row) {
  if (column < 0 || column >= kColumns || row < 0 || row >= kRows) return false;
  TfrmSetName dialog;
  dialog.SetName(EditText(std::string_view(Cell(column, row)).substr(kPrefix)));
  if (host.ShowModal(dialog) != ModalResult::OK) return false;
  return Rename(column, row, dialog.eName);
}

bool TfrmList::Rename(int column, int row, std::string_view text) {
  if (column < 0 || column >= kColumns || row < 0 || row >= kRows || !IsValidNameText(text)) {
    return false;
  }
  std::string& cell = cells_[static_cast<std::size_t>(Entry(column, row))];
  cell = cell.substr(0, kPrefix) + PadName(text);
  if (!changed_) {
    changed_ = true;
    Caption += " *";
  }
  return true;
}

void TfrmList::btnOKClick() {
  std::vector<std::string> names;
  for (const std::string& cell : cells_) names.push_back(cell.substr(kPrefix));
  state_.BankNames = std::move(names);
}

}  // namespace quorle
