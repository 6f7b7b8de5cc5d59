#include "qt/ComposeBankWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMessageBox>
#include <QPointer>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/FileAccess.h"
#include "frontend/LibraryConnection.h"
#include "protocol/SysexFile.h"
#include "qt/LibraryText.h"
#include "qt/MainWindow.h"
#include "qt/QtText.h"

namespace quorle {

namespace {

bool IsProgram(const DumpKind& kind) {
  return &kind == &kProgramKind;
}

// What the list offers, with its age: "Programs User as last seen, 2026-12-09 14:02 to 16:40",
// "Programs User fetched 2026-12-09 14:02", "Bank3.syx, 2026-12-08 10:00". The instrument's banks
// go by their names alone, so the list stays narrow; the tooltip says more.
QString StartBankText(const DumpKind& kind, const library::BankToStartFrom& bank) {
  if (bank.lastSeen) {
    const QString oldest = LocalTime(bank.lastSeen->Oldest());
    const QString newest = LocalTime(bank.lastSeen->Newest());
    QString when = oldest;
    if (newest != oldest)
      when += " to " + (newest.left(10) == oldest.left(10) ? newest.mid(11) : newest);
    return QString("%1 as last seen, %2").arg(Text(BankName(kind, bank.lastSeen->bank)), when);
  }
  const library::WholeBank& whole = *bank.whole;
  const QString seen = LocalTime(whole.seen);
  if (whole.source == library::kInstrumentSource) {
    const QString name = Text(BankName(kind, whole.bank.value_or(0)));
    return whole.how == library::How::Replaced
               ? QString("%1 before a send, %2").arg(name, seen)
               : QString("%1 %2 %3")
                     .arg(name, Text(std::string(library::HowName(whole.how))), seen);
  }
  return QString("%1, %2").arg(Text(FileNameOf(whole.source)), seen);
}

}  // namespace

ComposeBankWindow::ComposeBankWindow(MainWindow& main, LibraryConnection& library,
                                     const DumpKind& kind)
    : QWidget(nullptr, Qt::Window), main_(main), library_(library), composer_(kind) {
  setObjectName(IsProgram(kind) ? "frmComposeBank" : "frmComposeMixBank");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);

  auto* start = new QHBoxLayout;
  start->addWidget(new QLabel("Start from:", this));
  btnOpenFile = new QPushButton("Bank File...", this);
  btnOpenFile->setObjectName("btnOpenFile");
  start->addWidget(btnOpenFile);
  cbLibraryBank = new QComboBox(this);
  cbLibraryBank->setObjectName("cbLibraryBank");
  cbLibraryBank->setMinimumContentsLength(28);
  cbLibraryBank->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  start->addWidget(cbLibraryBank, 1);
  btnOpenLibraryBank = new QPushButton("Open", this);
  btnOpenLibraryBank->setObjectName("btnOpenLibraryBank");
  start->addWidget(btnOpenLibraryBank);
  btnFromAndromeda = new QPushButton("Andromeda...", this);
  btnFromAndromeda->setObjectName("btnFromAndromeda");
  start->addWidget(btnFromAndromeda);
  layout->addLayout(start);

  lblSource = new QLabel(this);
  lblSource->setObjectName("lblSource");
  layout->addWidget(lblSource);
  grid_ = new SlotGrid(this);
  layout->addWidget(grid_, 0, Qt::AlignHCenter);

  auto* actions = new QHBoxLayout;
  btnUndo = new QPushButton("Undo", this);
  btnUndo->setObjectName("btnUndo");
  btnRedo = new QPushButton("Redo", this);
  btnRedo->setObjectName("btnRedo");
  lblChanged = new QLabel(this);
  lblChanged->setObjectName("lblChanged");
  btnSave = new QPushButton("Save Bank...", this);
  btnSave->setObjectName("btnSaveBank");
  btnSend = new QPushButton("Send Bank...", this);
  btnSend->setObjectName("btnSendBank");
  actions->addWidget(btnUndo);
  actions->addWidget(btnRedo);
  actions->addSpacing(12);
  actions->addWidget(lblChanged, 1);
  actions->addWidget(btnSave);
  actions->addWidget(btnSend);
  layout->addLayout(actions);
  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  layout->addWidget(lblStatus);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(btnOpenFile, &QPushButton::clicked, this, [this] {
    TfrmMain& form = main_.Form();
    std::string& folder = IsProgram(composer_.Kind()) ? form.BankPath : form.MixBankPath;
    const auto path = main_.ChooseFile({FileChoice::Mode::Open, folder, {}});
    if (!path) return;
    folder = FolderOf(*path);
    StartFromFile(Text(*path));
  });
  connect(btnOpenLibraryBank, &QPushButton::clicked, this, [this] { StartFromLibraryBank(); });
  connect(btnFromAndromeda, &QPushButton::clicked, this, [this] { StartFromInstrument(); });
  connect(btnUndo, &QPushButton::clicked, this, [this] { Undo(); });
  connect(btnRedo, &QPushButton::clicked, this, [this] { Redo(); });
  connect(btnSave, &QPushButton::clicked, this, [this] { SaveBank(); });
  connect(btnSend, &QPushButton::clicked, this, [this] { SendBank(); });
  auto* undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
  connect(undo, &QShortcut::activated, this, [this] { Undo(); });
  // Escape closes the window as its close box does, asking first about changes not saved.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] { close(); });
  auto* redo = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this);
  connect(redo, &QShortcut::activated, this, [this] { Redo(); });
  grid_->onDumpsDropped = [this](int first, const auto& dumps) { DropDumps(first, dumps); };
  grid_->onSlotMoved = [this](int from, int to) { MoveSlot(from, to); };
  // Sends and fetches wait while the main window is busy with the instrument.
  connect(&main_, &MainWindow::FormStateChanged, this, [this] { Redraw(); });

  FillLibraryBanks();
  Redraw();
}

QString ComposeBankWindow::Title() const {
  QString title = IsProgram(composer_.Kind()) ? "Compose Bank" : "Compose Mix Bank";
  if (composer_.Unsaved()) title += " *";
  return title;
}

void ComposeBankWindow::Say(const QString& text) {
  lblStatus->setText(text);
}

void ComposeBankWindow::FillLibraryBanks() {
  cbLibraryBank->clear();
  startBanks_.clear();
  library::Library* library = library_.Get();
  if (library) {
    try {
      startBanks_ = library::BanksToStartFrom(*library, composer_.Kind());
    } catch (const std::exception& e) {
      Say(Text(e.what()));
    }
  }
  for (const library::BankToStartFrom& bank : startBanks_) {
    cbLibraryBank->addItem(StartBankText(composer_.Kind(), bank));
    cbLibraryBank->setItemData(cbLibraryBank->count() - 1,
                               bank.lastSeen ? QString("Each slot as the library last saw it on "
                                                       "the Andromeda: fetched, sent or replaced")
                                             : Text(bank.whole->source == library::kInstrumentSource
                                                        ? "The Andromeda's bank, seen whole"
                                                        : bank.whole->source),
                               Qt::ToolTipRole);
  }
  if (startBanks_.empty()) cbLibraryBank->addItem("No whole bank in the library");
  btnOpenLibraryBank->setEnabled(!startBanks_.empty());
  cbLibraryBank->setEnabled(!startBanks_.empty());
}

bool ComposeBankWindow::Start(ByteView base, const std::string& source) {
  if (!composer_.Start(base, source)) return false;
  savedName_.clear();
  Say({});
  Redraw();
  return true;
}

bool ComposeBankWindow::StartFromFile(const QString& path) {
  if (!MayDiscard()) return false;
  Bytes content;
  const IoResult read = ReadWholeFile(path.toStdString(), content, kLargestFileSize);
  const std::string name = FileNameOf(path.toStdString());
  if (!read.ok) {
    QMessageBox::critical(this, Title(), Text("Unable to read " + name + ": " + read.error));
    return false;
  }
  if (!Start(content, name)) {
    QMessageBox::critical(this, Title(),
                          Text(name + (IsProgram(composer_.Kind()) ? " is not a Program Bank Dump"
                                                                   : " is not a Mix Bank Dump")));
    return false;
  }
  return true;
}

void ComposeBankWindow::StartFromLibraryBank() {
  const int index = cbLibraryBank->currentIndex();
  library::Library* library = library_.Get();
  if (index < 0 || index >= static_cast<int>(startBanks_.size()) || !library) return;
  if (!MayDiscard()) return;
  const library::BankToStartFrom& bank = startBanks_[static_cast<std::size_t>(index)];
  std::optional<Bytes> bytes;
  try {
    bytes = library::BankFileOf(*library, bank);
  } catch (const std::exception& e) {
    Say(Text(e.what()));
    return;
  }
  if (!bytes || !Start(*bytes, cbLibraryBank->currentText().toStdString())) {
    Say("The library no longer holds this bank whole");
    FillLibraryBanks();
  }
}

void ComposeBankWindow::StartFromInstrument() {
  if (!MayDiscard()) return;
  TfrmMain& form = main_.Form();
  const DumpKind& kind = composer_.Kind();
  QPointer<ComposeBankWindow> self(this);
  const std::uint64_t asked = composer_.Revision();
  form.Guarded([&] {
    form.FetchBankInto(kind, [self, &form, &kind, asked](Bytes bank) {
      if (!self) return;
      // The grid stayed open during the fetch: what was done there meanwhile is asked about too.
      if (self->composer_.Revision() != asked && !self->MayDiscard()) return;
      const int number = IsProgram(kind) ? form.ProgramBank : form.MixBank;
      self->Start(bank, "Andromeda, " + BankName(kind, number));
      self->FillLibraryBanks();
    });
  });
}

bool ComposeBankWindow::MayDiscard() {
  if (!composer_.Unsaved()) return true;
  const auto answer = QMessageBox::question(
      this, Title(), "The bank has changes that are not saved. Save them first?",
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (answer == QMessageBox::Save) return SaveBank();
  return answer == QMessageBox::Discard;
}

void ComposeBankWindow::DropDumps(int first, const std::vector<LibraryTableModel::Dragged>& dumps) {
  const DumpKind& kind = composer_.Kind();
  if (!composer_.Started()) {
    Say("Start from a bank first: a file, a bank of the library or the Andromeda");
    return;
  }
  for (const auto& d : dumps) {
    if (d.kind != &kind) {
      Say(IsProgram(kind) ? "A Mix cannot go into a Program bank"
                          : "A Program cannot go into a Mix bank");
      return;
    }
  }
  library::Library* library = library_.Get();
  if (!library) {
    Say(Text("The library cannot be used: " + library_.LastError()));
    return;
  }
  std::vector<library::BankComposer::Dropped> put;
  try {
    for (const auto& d : dumps) {
      auto bytes = library->DumpBytes(d.id);
      if (!bytes) {
        Say("That dump is no longer in the library");
        return;
      }
      put.push_back({d.id, std::move(*bytes)});
    }
  } catch (const std::exception& e) {
    Say(Text(e.what()));
    return;
  }
  if (!composer_.Put(first, put)) {
    Say("That dump is damaged and cannot go into the bank");
    return;
  }
  Say({});
  Redraw();
}

void ComposeBankWindow::MoveSlot(int from, int to) {
  if (composer_.Swap(from, to)) {
    grid_->setCurrentItem(grid_->Cell(to));
    Say({});
    Redraw();
  }
}

void ComposeBankWindow::Undo() {
  composer_.Undo();
  Redraw();
}

void ComposeBankWindow::Redo() {
  composer_.Redo();
  Redraw();
}

bool ComposeBankWindow::SaveBank() {
  if (!composer_.Started()) return false;
  TfrmMain& form = main_.Form();
  std::string& folder = IsProgram(composer_.Kind()) ? form.BankPath : form.MixBankPath;
  const std::string proposed = !savedName_.empty()           ? savedName_
                               : IsProgram(composer_.Kind()) ? "Composed Bank"
                                                             : "Composed Mix Bank";
  const auto path = main_.ChooseFile({FileChoice::Mode::Save, folder, proposed});
  if (!path) return false;
  folder = FolderOf(*path);
  Bytes bank;
  try {
    bank = composer_.Build();
  } catch (const std::exception& e) {
    QMessageBox::critical(this, Title(), Text(e.what()));
    return false;
  }
  const IoResult written = WriteFileAtomically(*path, bank);
  if (!written.ok) {
    QMessageBox::critical(this, Title(), Text("Unable to write " + *path + ": " + written.error));
    return false;
  }
  // The file holds its dumps from now on, as a fetched bank's file does.
  library_.FileWritten(*path);
  composer_.MarkSaved();
  savedName_ = FileNameOf(*path);
  Say(Text((IsProgram(composer_.Kind()) ? "Bank \"" : "Mix Bank \"") + savedName_ +
           "\" saved to disk"));
  Redraw();
  return true;
}

void ComposeBankWindow::SendBank() {
  if (!composer_.Started()) return;
  TfrmMain& form = main_.Form();
  // What goes out is the composition in hand, saved or not.
  const std::string name = "the composed bank";
  QPointer<ComposeBankWindow> self(this);
  form.Guarded([&] {
    form.SendBank(composer_.Kind(), composer_.Build(), name,
                  [self](int bank) { return self && self->MaySendTo(bank); });
  });
  // The bank sent is now what the instrument holds, slot by slot.
  if (self) FillLibraryBanks();
}

bool ComposeBankWindow::MaySendTo(int bank) {
  library::Library* library = library_.Get();
  if (!library) return true;
  library::SendPreview preview;
  try {
    preview = library::PreviewSend(*library, composer_, bank);
  } catch (const std::exception&) {
    return true;
  }
  if (preview.others.empty()) return true;
  const DumpKind& kind = composer_.Kind();
  QString list;
  for (std::size_t i = 0; i < preview.others.size(); ++i) {
    const auto& o = preview.others[i];
    if (i == 12) {
      list += QString("\nand %1 more").arg(preview.others.size() - i);
      break;
    }
    list += QString("\n%1  %2  becomes  %3")
                .arg(o.slot, 3, 10, QChar('0'))
                .arg(Shown(o.was), Shown(o.becomes));
  }
  const QString text =
      QString(
          "Besides the slots changed here, this send changes %1 on %2 as the library last "
          "saw it:%3\n\nSend anyway?")
          .arg(preview.others.size() == 1 ? QString("1 slot")
                                          : QString("%1 slots").arg(preview.others.size()),
               Text(BankName(kind, bank)), list);
  return QMessageBox::question(this, Title(), text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void ComposeBankWindow::Redraw() {
  const bool started = composer_.Started();
  QFont plain = grid_->font();
  QFont bold = plain;
  bold.setBold(true);
  const QColor changedColor(255, 236, 179);
  int changed = 0;
  for (int slot = 0; slot < static_cast<int>(kBankEntries); ++slot) {
    QTableWidgetItem* cell = grid_->Cell(slot);
    const bool isChanged = composer_.Changed(slot);
    changed += isChanged;
    cell->setText(started ? Shown(composer_.Cell(slot)) : QString());
    cell->setFont(isChanged ? bold : plain);
    cell->setBackground(isChanged ? QBrush(changedColor) : QBrush());
    QString tip;
    if (isChanged) {
      tip = composer_.At(slot).from
                ? QString("From the library (dump %1)").arg(*composer_.At(slot).from)
                : QString("Moved here from the base bank");
    }
    cell->setToolTip(tip);
  }
  grid_->setEnabled(started);
  lblSource->setText(started ? "Base: " + Text(composer_.Source())
                             : "Start from a bank file, a bank of the library or the Andromeda");
  lblChanged->setText(!started       ? QString()
                      : changed == 1 ? QString("1 slot changed")
                                     : QString("%1 slots changed").arg(changed));
  const bool idle = main_.Form().ControlsEnabled();
  btnUndo->setEnabled(composer_.CanUndo());
  btnRedo->setEnabled(composer_.CanRedo());
  btnSave->setEnabled(started);
  btnSend->setEnabled(started && idle);
  btnFromAndromeda->setEnabled(idle);
  btnOpenLibraryBank->setEnabled(!startBanks_.empty());
  cbLibraryBank->setEnabled(!startBanks_.empty());
  setWindowTitle(Title());
}

void ComposeBankWindow::closeEvent(QCloseEvent* event) {
  if (MayDiscard()) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace quorle
