#include "qt/QtSelectDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <vector>

#include "dialogs/TdlgSendBank.h"
#include "dialogs/TdlgSendMix.h"
#include "dialogs/TdlgSendMixBank.h"
#include "dialogs/TdlgSendProgram.h"
#include "dialogs/TfrmSelBank.h"
#include "dialogs/TfrmSelMix.h"
#include "dialogs/TfrmSelProgram.h"

namespace quorle {

namespace {

struct Radio {
  const char* name = nullptr;  // nullptr: the form has no button for this bank
  const char* caption = nullptr;
};

// How one form names and labels its controls.
struct Form {
  const char* name;
  const char* entryLabel;  // nullptr: no entry list
  const char* entryName;
  std::vector<Radio> radios;  // indexed like BankChooser::Checked()
  const char* okName;
  const char* cancelName;
  const char* frameName;
};

const Radio kUser{"rbUser", "User Bank"};
const Radio kUserBank{"rbUserBank", "User Bank"};
const Radio kCard{"rbCard", "Card Bank"};
const Radio kPreset1{"rbPreset1", "Preset Bank 1"};
const Radio kPreset2{"rbPreset2", "Preset Bank 2"};
const Radio kMixPreset{"rbPreset1", "Preset Bank"};

Form FormOf(const BankChooser& logic) {
  if (dynamic_cast<const TfrmSelProgram*>(&logic)) {
    return {"frmSelProgram", "Program #", "cbProgram", {kUser, kPreset1, kPreset2, kCard},
            "btnOK",         "btnCancel", nullptr};
  }
  if (dynamic_cast<const TdlgSendProgram*>(&logic)) {
    return {"dlgSendProgram", "Program #", "cbProgram", {kUserBank, {}, {}, kCard},
            "btnOK",          "btnCancel", nullptr};
  }
  if (dynamic_cast<const TfrmSelMix*>(&logic)) {
    return {"frmSelMix", "Mix #",   "cbMix", {kUser, kMixPreset, kCard},
            "BitBtn1",   "BitBtn2", nullptr};
  }
  if (dynamic_cast<const TdlgSendMix*>(&logic)) {
    return {"dlgSendMix", "Mix #",     "cbProgram", {kUserBank, {}, kCard},
            "btnOK",      "btnCancel", nullptr};
  }
  if (dynamic_cast<const TdlgSendBank*>(&logic)) {
    return {"dlgSendBank", nullptr, nullptr, {kUser, {}, {}, kCard}, "BitBtn1", "BitBtn2", nullptr};
  }
  if (dynamic_cast<const TdlgSendMixBank*>(&logic)) {
    return {"dlgSendMixBank", nullptr, nullptr, {kUser, {}, kCard}, "btnOK", "btnCancel", nullptr};
  }
  if (dynamic_cast<const TfrmSelBank*>(&logic)) {
    if (logic.Presets() == 1) {
      return {"frmSelBank", nullptr, nullptr, {kUser, {}, kCard}, "btnOK", "btnCancel", nullptr};
    }
    return {"frmSelBank", nullptr, nullptr, {kUser, {}, {}, kCard}, "btnOK", "btnCancel", nullptr};
  }
  // The bank choosers, told apart by their preset banks, so a chooser without a form of its own
  // still shows the buttons its logic counts on.
  if (logic.Presets() == 1) {
    return {"frmSplitMixBank", nullptr,     nullptr, {kUser, kMixPreset, kCard},
            "btnOK",           "btnCancel", "Bevel2"};
  }
  return {"frmSplitBank", nullptr,     nullptr, {kUser, kPreset1, kPreset2, kCard},
          "btnOK",        "btnCancel", "Bevel2"};
}

void Fill(QComboBox* box, const std::vector<std::string>& items) {
  bool same = box->count() == static_cast<int>(items.size());
  for (int i = 0; same && i < box->count(); ++i) {
    same = box->itemText(i).toStdString() == items[static_cast<std::size_t>(i)];
  }
  if (same) return;
  box->clear();
  for (const auto& item : items) box->addItem(QString::fromStdString(item));
}

}  // namespace

QtSelectDialog::QtSelectDialog(BankChooser& logic, QWidget* parent)
    : QtFormDialog(logic, FormOf(logic).name, parent), logic_(logic) {
  const Form form = FormOf(logic);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  if (!logic.Subject.empty()) {
    lblSubject_ = new QLabel(this);
    lblSubject_->setObjectName("lblSubject");
    layout->addWidget(lblSubject_);
  }

  if (form.entryName) {
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(form.entryLabel, this);
    entries_ = new QComboBox(this);
    entries_->setObjectName(form.entryName);
    // Fits "000" to "127" and shows a good part of the list at once: a list popup, since some
    // styles open a menu as tall as the screen whatever the limit.
    entries_->setMaxVisibleItems(16);
    entries_->setStyleSheet("QComboBox { combobox-popup: 0; }");
    entries_->setMinimumWidth(80);
    label->setBuddy(entries_);
    row->addWidget(label);
    row->addWidget(entries_);
    row->addStretch(1);
    layout->addLayout(row);
    connect(entries_, &QComboBox::activated, this, [this](int index) {
      logic_.EntryChange(index);
      Redraw();
    });
  }

  if (auto* bank = dynamic_cast<TfrmSelBank*>(&logic)) {
    // A file on disk instead of a bank: the answer is complete with the click.
    const bool load = bank->Asked() == TfrmSelBank::Question::Source;
    auto* btnLoad = new QPushButton(
        style()->standardIcon(load ? QStyle::SP_DialogOpenButton : QStyle::SP_DialogSaveButton),
        QString::fromStdString(bank->btnLoadCaption), this);
    btnLoad->setObjectName("btnLoad");
    btnLoad->setAutoDefault(false);
    layout->addWidget(btnLoad);
    connect(btnLoad, &QPushButton::clicked, this, [this, bank] {
      bank->btnLoadClick();
      accept();
    });
  }

  auto* frame = new QFrame(this);
  if (form.frameName) {
    frame->setObjectName(form.frameName);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  } else {
    frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  }
  auto* grid = new QGridLayout(frame);
  cbCard = new QComboBox(frame);
  cbCard->setObjectName("cbCard");
  cbCard->setMinimumWidth(80);
  const int cardButton = logic.CardButton();
  int row = 0;
  for (int i = 0; i < static_cast<int>(form.radios.size()); ++i) {
    const Radio& r = form.radios[static_cast<std::size_t>(i)];
    if (!r.name || i > cardButton) {
      radios_.push_back(nullptr);
      continue;
    }
    auto* radio = new QRadioButton(r.caption, frame);
    radio->setObjectName(r.name);
    radios_.push_back(radio);
    grid->addWidget(radio, row, 0);
    if (i == cardButton) grid->addWidget(cbCard, row, 1);
    ++row;
    // A radio button reports only when it becomes checked, as the forms' click events do.
    connect(radio, &QRadioButton::toggled, this, [this, i](bool checked) {
      if (redrawing_ || !checked) return;
      logic_.RadioClick(i);
      Redraw();
    });
  }
  grid->setColumnStretch(2, 1);
  layout->addWidget(frame);
  connect(cbCard, &QComboBox::activated, this, [this](int index) {
    logic_.CardChange(index);
    Redraw();
  });

  // A check box that shows and sets one of the send's choices.
  const auto addChoice = [&](const char* text, const char* name, const char* tip, bool& choice) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(name);
    box->setToolTip(tip);
    box->setChecked(choice);
    layout->addWidget(box);
    connect(box, &QCheckBox::toggled, this, [&choice](bool checked) { choice = checked; });
  };
  if (logic.HasVerify()) {
    addChoice("&Verify", "cbVerify", "Read back what was sent and send again what did not take",
              logic_.cbVerifyChecked);
  }
  if (logic.HasKeepCopy()) {
    addChoice("&Keep a copy of what this replaces", "cbKeepCopy",
              "Fetch the bank there now into the Library before sending", logic_.cbKeepCopyChecked);
  }

  AddButtons(layout, form.okName, form.cancelName);
  Redraw();
}

void QtSelectDialog::Redraw() {
  redrawing_ = true;
  if (lblSubject_) {
    const std::string where = logic_.Destination();
    lblSubject_->setText(QString::fromStdString("Sends " + logic_.Subject + "\nto " +
                                                (where.empty() ? "the bank chosen below" : where)));
  }
  if (entries_) {
    Fill(entries_, logic_.EntryList);
    entries_->setCurrentIndex(logic_.EntryIndex);
  }
  Fill(cbCard, logic_.CardList);
  cbCard->setCurrentIndex(logic_.CardIndex);
  cbCard->setEnabled(logic_.CardEnabled);
  ok_->setEnabled(logic_.OkEnabled());
  for (int i = 0; i < radios_.size(); ++i) {
    QRadioButton* radio = radios_[i];
    if (!radio) continue;
    const auto index = static_cast<std::size_t>(i);
    radio->setEnabled(index < logic_.RadioEnabled.size() && logic_.RadioEnabled[index]);
    // An exclusive button cannot be unchecked directly, and a chooser may open with none checked.
    radio->setAutoExclusive(false);
    radio->setChecked(logic_.Checked() == i);
    radio->setAutoExclusive(true);
  }
  redrawing_ = false;
}

}  // namespace quorle
