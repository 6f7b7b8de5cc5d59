#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/TMainState.h"
#include "dialogs/Dialog.h"
#include "protocol/DumpKind.h"

namespace quorle {

// What the bank and entry dialogs share: a bank chosen by radio buttons (User, the presets, Card)
// with a list of card banks, and for some an entry list "000" to "127". The three families differ
// in how they open on a stored bank and in what the Card button does.
class BankChooser : public Dialog {
 public:
  enum class Style {
    Select,  // get or rename one entry: every bank, Card alone changes nothing
    Send,    // send to User or a card bank, Card picks card bank 1
    Bank,    // fetch or split a bank: every bank, Card picks card bank 1
  };
  static constexpr int kNone = -1;  // no radio button checked

  // Entry list "000" to "127".
  static std::vector<std::string> EntryItems();
  // The card list: count entries "001", "002", ... when the count is known, else the design ones.
  static std::vector<std::string> CardItems(int count, int designCount);

  // The radio button checked: 0 User, 1 .. Presets() the presets, CardButton() the card, or kNone.
  int Checked() const { return checked_; }
  int Presets() const { return presets_; }
  int CardButton() const { return presets_ + 1; }
  bool IsCardChecked() const { return checked_ == CardButton(); }
  // OK waits for a bank: a chooser opened on a number no button stands for has none checked, and
  // Card Bank stands for no bank until a card entry is chosen.
  bool OkEnabled() const { return checked_ != kNone && (!IsCardChecked() || CardIndex >= 0); }
  int LastCardBank() const { return firstCard_ + kCardBanks - 1; }
  static constexpr int kCardBanks = 14;

  // The working choice.
  int Bank = 0;
  int Number = 0;

  std::vector<std::string> EntryList;
  int EntryIndex = -1;
  std::vector<std::string> CardList;
  int CardIndex = -1;
  bool CardEnabled = false;
  // Whether each radio button can be clicked, indexed like Checked().
  std::vector<bool> RadioEnabled;
  // The send dialogs' "Verify" check box: read back what was sent and send again what did not take.
  bool HasVerify() const { return hasVerify_.value_or(style_ == Style::Send); }
  bool cbVerifyChecked = false;
  // The bank send dialogs' "Keep a copy of what this replaces": the bank's present contents go
  // into the Library before the send.
  bool HasKeepCopy() const { return hasKeepCopy_; }
  bool cbKeepCopyChecked = true;

  // What a send carries, as the dialog names it above the choice ("Program \"Pad\" (pad.syx)");
  // empty for the dialogs that send nothing.
  std::string Subject;
  // Where the choice in hand sends it: "Programs User 017", "Mixes Card 2"; empty while OK waits.
  std::string Destination() const;

  // The rename commands: the presets cannot be chosen, and a stored preset falls back to User,
  // so a renamed preset entry is never sent to a bank the instrument does not let one write.
  void DisablePresets();

  // What the user does.
  void EntryChange(int index);
  void RadioClick(int button);
  void CardChange(int index);

 protected:
  BankChooser(const DumpKind& kind, Style style, int bank, int number, int cardCount,
              bool withEntries);
  bool hasKeepCopy_ = false;
  std::optional<bool> hasVerify_;  // nothing: as the style has it
  // Called after every change of the working choice; the dialogs that write through use it.
  virtual void ChoiceChanged() {}
  // No radio button checked, so OK waits for the user's choice.
  void ClearChoice();

 private:
  const DumpKind& kind_;
  const bool withEntries_;
  const Style style_;
  const int presets_;
  const int firstCard_;
  int checked_ = kNone;
};

}  // namespace quorle
