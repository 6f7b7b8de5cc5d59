#include "dialogs/BankChooser.h"

#include <cstdio>

#include "protocol/BankName.h"

namespace quorle {

namespace {

std::string Three(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%.3d", n);
  return text;
}

}  // namespace

std::vector<std::string> BankChooser::EntryItems() {
  std::vector<std::string> items;
  for (int i = 0; i < static_cast<int>(kBankEntries); ++i) items.push_back(Three(i));
  return items;
}

std::vector<std::string> BankChooser::CardItems(int count, int designCount) {
  std::vector<std::string> items;
  if (count >= 0) {
    for (int i = 1; i <= count; ++i) items.push_back(Three(i));
  } else {
    for (int i = 1; i <= designCount; ++i) items.push_back(std::to_string(i));
  }
  return items;
}

BankChooser::BankChooser(const DumpKind& kind, Style style, int bank, int number, int cardCount,
                         bool withEntries)
    : kind_(kind),
      withEntries_(withEntries),
      style_(style),
      presets_(kind.firstCardBank - 1),
      firstCard_(kind.firstCardBank) {
  // The Program forms list eight card banks before the count is known, the Mix forms fourteen;
  // the bank choosers eight for both.
  const int design = style == Style::Bank || kind.opcode == kProgramKind.opcode ? 8 : 14;
  CardList = CardItems(cardCount, design);
  RadioEnabled.assign(static_cast<std::size_t>(CardButton() + 1), true);
  // The send dialogs have no preset buttons at all.
  if (style == Style::Send) {
    for (int i = 1; i <= presets_; ++i) RadioEnabled[static_cast<std::size_t>(i)] = false;
  }
  if (withEntries) {
    EntryList = EntryItems();
    Number = number >= 0 && number < static_cast<int>(kBankEntries) ? number : 0;
    EntryIndex = Number;
  }

  Bank = bank;
  const bool card = bank >= firstCard_ && bank <= LastCardBank();
  if (card) {
    checked_ = CardButton();
    CardEnabled = true;
    const int entry = bank - firstCard_;
    CardIndex = entry < static_cast<int>(CardList.size()) ? entry : -1;
  } else if (bank > LastCardBank() && style != Style::Select) {
    // A bank byte beyond the card (a damaged or foreign file) names no bank: nothing is chosen
    // and OK waits for the user, so nothing is sent or fetched where the user did not point.
    checked_ = kNone;
  } else if (style == Style::Send) {
    // Only User and card banks can be sent to.
    checked_ = 0;
    Bank = 0;
  } else if (bank >= 0 && bank <= presets_) {
    checked_ = bank;
  } else if (style == Style::Select) {
    checked_ = 0;
    Bank = 0;
  } else {
    // -1 (a bank read from a file) checks nothing either.
    checked_ = kNone;
  }
}

void BankChooser::DisablePresets() {
  for (int i = 1; i <= presets_; ++i) RadioEnabled[static_cast<std::size_t>(i)] = false;
  if (checked_ >= 1 && checked_ <= presets_) RadioClick(0);
}

void BankChooser::ClearChoice() {
  checked_ = kNone;
  CardEnabled = false;
  CardIndex = -1;
}

void BankChooser::EntryChange(int index) {
  // Typed text that matches no entry keeps the previous choice.
  if (index < 0 || index >= static_cast<int>(EntryList.size())) return;
  EntryIndex = index;
  Number = index;
  ChoiceChanged();
}

void BankChooser::RadioClick(int button) {
  if (button < 0 || button > CardButton() || !RadioEnabled[static_cast<std::size_t>(button)]) {
    return;
  }
  checked_ = button;
  if (button != CardButton()) {
    Bank = button;
    CardEnabled = false;
    // The list no longer shows a choice, so coming back to Card Bank asks for one again.
    CardIndex = -1;
  } else {
    CardEnabled = true;
    if (style_ != Style::Select) {
      Bank = firstCard_;
      CardIndex = CardList.empty() ? -1 : 0;
    }
  }
  ChoiceChanged();
}

void BankChooser::CardChange(int index) {
  // A typed text that names no card bank must not turn into a preset bank.
  if (!CardEnabled || index < 0 || index >= static_cast<int>(CardList.size())) return;
  CardIndex = index;
  Bank = firstCard_ + index;
  ChoiceChanged();
}

std::string BankChooser::Destination() const {
  if (!OkEnabled()) return {};
  std::string where = BankName(kind_, Bank);
  if (withEntries_) where += " " + Three(Number);
  return where;
}

}  // namespace quorle
