#include "qt/MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "dialogs/BankChooser.h"
#include "dialogs/TfrmList.h"
#include "dialogs/TfrmPickDir.h"
#include "dialogs/TfrmSetName.h"
#include "frontend/LibraryConnection.h"
#include "midi/MidiDispatcher.h"
#include "qt/ComposeBankWindow.h"
#include "qt/LibraryWindow.h"
#include "qt/QtHelpKey.h"
#include "qt/QtHelpViewer.h"
#include "qt/QtListDialog.h"
#include "qt/QtPickDirDialog.h"
#include "qt/QtProgressWindow.h"
#include "qt/QtSelectDialog.h"
#include "qt/QtSetNameDialog.h"
#include "qt/QtText.h"

namespace quorle {

namespace {

constexpr int kClientWidth = 410;
constexpr int kClientHeight = 337;
constexpr int kButtonHeight = 25;

}  // namespace

MainWindow::MainWindow(MidiService& service, MidiDispatcher& dispatcher, const QString& appFolder)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      appFolder_(appFolder),
      dispatcher_(dispatcher) {
  setObjectName("frmMain");
  setWindowTitle(" Quorle");
  setFixedSize(kClientWidth, kClientHeight);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  Tabs = new QTabWidget(this);
  Tabs->setObjectName("Tabs");
  Tabs->addTab(BuildAboutPage(), "About");
  Tabs->addTab(BuildSetupPage(), "Setup");
  Tabs->addTab(BuildGlobalPage(), "Global");
  Tabs->addTab(BuildProgramPage(), "Program");
  Tabs->addTab(BuildMixPage(), "Mix");
  layout->addWidget(Tabs, 1);
  Stat = new QLabel(this);
  Stat->setObjectName("Stat");
  Stat->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  Stat->setFixedHeight(19);
  layout->addWidget(Stat);

  help_ = std::make_unique<QtHelpViewer>(appFolder, this);
  new QtHelpKey(*this);
  form_ = std::make_unique<TfrmMain>(*this, service, dispatcher, appFolder.toStdString());

  connect(Tabs, &QTabWidget::currentChanged, this, [this](int index) {
    if (!redrawing_) form_->UserSelectsPage(index);
  });
  connect(cbxIn, &QComboBox::activated, this,
          [this](int index) { form_->UserSelectsInput(index); });
  connect(cbxOut, &QComboBox::activated, this,
          [this](int index) { form_->UserSelectsOutput(index); });
  connect(tbSendDelay, &QSlider::valueChanged, this, [this](int value) {
    if (!redrawing_) form_->UserMovesSendDelay(value);
  });
  for (QSpinBox* field : {spCount, spSize}) {
    const bool count = field == spCount;
    // Each keystroke takes effect at once; leaving the field brings it into range.
    connect(field->findChild<QLineEdit*>(), &QLineEdit::textEdited, this,
            [this, count](const QString& text) {
              count ? form_->UserTypesBufferCount(text.toStdString())
                    : form_->UserTypesBufferSize(text.toStdString());
            });
    // Arrows, keys and the wheel step the value without an edit; a keystroke was already sent.
    connect(field, &QSpinBox::valueChanged, this, [this, field, count](int) {
      const std::string text = field->cleanText().toStdString();
      if (redrawing_ || text == (count ? form_->spCountText : form_->spSizeText)) return;
      count ? form_->UserTypesBufferCount(text) : form_->UserTypesBufferSize(text);
    });
    connect(field, &QSpinBox::editingFinished, this, [this, count] {
      count ? form_->UserLeavesBufferCount() : form_->UserLeavesBufferSize();
    });
  }
  Wire(btnCheck, &TfrmMain::btnCheckClick);
  const std::pair<const char*, void (TfrmMain::*)()> clicks[] = {
      {"btnRefresh", &TfrmMain::btnRefreshClick},
      {"btnGetGlobal", &TfrmMain::btnGetGlobalClick},
      {"btnSendGlobal", &TfrmMain::btnSendGlobalClick},
      {"btnBackup", &TfrmMain::btnBackupClick},
      {"btnRestore", &TfrmMain::btnRestoreClick},
      {"btnGetProgram", &TfrmMain::btnGetProgramClick},
      {"btnSendProgram", &TfrmMain::btnSendProgramClick},
      {"btnRenameProgram", &TfrmMain::btnRenameProgramClick},
      {"btnGetMix", &TfrmMain::btnGetMixClick},
      {"btnSendMix", &TfrmMain::btnSendMixClick},
      {"btnRenameMix", &TfrmMain::btnRenameMixClick},
      {"btnInitMix", &TfrmMain::btnInitMixClick},
      {"btnSendBank", &TfrmMain::btnSendBankClick},
      {"btnSendMixBank", &TfrmMain::btnSendMixBankClick},
      {"btnRenameProgBank", &TfrmMain::btnRenameProgBankClick},
      {"btnRenameMixBank", &TfrmMain::btnRenameMixBankClick}};
  for (const auto& [name, click] : clicks) Wire(findChild<QPushButton*>(name), click);
  // Buttons that share a handler tell it apart by their tag.
  const std::pair<const char*, void (TfrmMain::*)(int)> tagged[] = {
      {"btnGetBank", &TfrmMain::btnGetBankClick},
      {"btnGetMixBank", &TfrmMain::btnGetMixBankClick},
      {"btnSplitProgramBank", &TfrmMain::btnGetBankClick},
      {"btnSplitMixBank", &TfrmMain::btnGetMixBankClick}};
  for (const auto& [name, click] : tagged) {
    auto* button = findChild<QPushButton*>(name);
    const int tag = button->property("tag").toInt();
    connect(button, &QPushButton::clicked, this, [this, click, tag] {
      form_->Guarded([this, click, tag] { (form_.get()->*click)(tag); });
    });
  }

  // The Library opens from wherever the user is, the Library and composer windows included.
  auto* library = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
  library->setContext(Qt::ApplicationShortcut);
  connect(library, &QShortcut::activated, this, [this] { ShowLibrary(); });

  notifier_ = new QSocketNotifier(dispatcher_.WakeFd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { dispatcher_.Dispatch(); });

  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

MainWindow::~MainWindow() {
  // The windows over the library go first: they use the window logic and the library.
  for (const QPointer<ComposeBankWindow>& composer : composers_) delete composer.data();
  libraryWindow_.reset();
  if (!closed_) form_->FormClose();
  // The window's logic goes first: its progress window reports back here as it is destroyed.
  form_.reset();
  if (waitCursor_) QGuiApplication::restoreOverrideCursor();
}

void MainWindow::Wire(QPushButton* button, void (TfrmMain::*click)()) {
  connect(button, &QPushButton::clicked, this,
          [this, click] { form_->Guarded([this, click] { (form_.get()->*click)(); }); });
}

QWidget* MainWindow::Page(const char* name) {
  auto* page = new QWidget;
  page->setObjectName(name);
  return page;
}

QPushButton* MainWindow::Button(QWidget* page, const char* name, const QString& caption, int column,
                                int row, int width) {
  auto* button = new QPushButton(caption, page);
  button->setObjectName(name);
  button->setProperty("column", column);
  PlaceButton(button, width, row);
  buttons_.push_back(button);
  return button;
}

void MainWindow::PlaceButton(QPushButton* button, int width, int row) {
  const int gap = 30;
  const int left = (kClientWidth - 2 * width - gap) / 2;
  button->setFixedSize(width, kButtonHeight);
  button->move(left + button->property("column").toInt() * (width + gap), row);
}

void MainWindow::EvenOutButtons(QWidget* page) {
  // The design width, unless a caption needs more in the font at hand; equal across the page.
  const auto buttons = page->findChildren<QPushButton*>();
  int width = 0;
  for (QPushButton* button : buttons) width = std::max(width, button->width());
  for (QPushButton* button : buttons) width = std::max(width, button->sizeHint().width());
  for (QPushButton* button : buttons) PlaceButton(button, width, button->y());
}

QWidget* MainWindow::BuildAboutPage() {
  QWidget* page = Page("tabAbout");
  auto* layout = new QVBoxLayout(page);
  layout->addStretch(2);
  auto* logo = new QLabel(page);
  logo->setObjectName("iLogo");
  logo->setPixmap(QPixmap(":/quorle-logo.png"));
  logo->setFixedSize(185, 34);
  layout->addWidget(logo, 0, Qt::AlignHCenter);
  layout->addSpacing(16);
  // Filled at start from the program's version block.
  for (const char* name : {"lblDescription", "lblVersion", "lblCopyright"}) {
    auto* label = new QLabel(page);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedWidth(kClientWidth - 20);
    layout->addWidget(label, 0, Qt::AlignHCenter);
  }
  layout->addStretch(3);
  return page;
}

QWidget* MainWindow::BuildSetupPage() {
  QWidget* page = Page("tabSetup");
  auto label = [page](const QString& text, int x, int y) {
    auto* l = new QLabel(text, page);
    l->move(x, y);
    return l;
  };
  QLabel* inLabel = label("Midi In", 16, 14);
  cbxIn = new QComboBox(page);
  cbxIn->setObjectName("cbxIn");
  cbxIn->setGeometry(16, 32, 372, 24);
  inLabel->setBuddy(cbxIn);
  QLabel* outLabel = label("Midi Out", 16, 62);
  cbxOut = new QComboBox(page);
  cbxOut->setObjectName("cbxOut");
  cbxOut->setGeometry(16, 80, 372, 24);
  outLabel->setBuddy(cbxOut);

  QLabel* delayLabel = label("Midi Send Delay", 16, 112);
  lblSendDelay = new QLabel("00 ms", page);
  lblSendDelay->setObjectName("lblSendDelay");
  lblSendDelay->setStyleSheet("color: navy");
  lblSendDelay->setGeometry(320, 112, 68, 16);
  lblSendDelay->setAlignment(Qt::AlignRight);
  tbSendDelay = new QSlider(Qt::Horizontal, page);
  tbSendDelay->setObjectName("tbSendDelay");
  tbSendDelay->setRange(0, TfrmMain::kMaxSendDelay);
  tbSendDelay->setPageStep(10);
  tbSendDelay->setTickInterval(10);
  tbSendDelay->setTickPosition(QSlider::TicksBelow);
  tbSendDelay->setValue(10);
  tbSendDelay->setGeometry(16, 130, 372, 28);
  delayLabel->setBuddy(tbSendDelay);

  QLabel* countLabel = label("SysEx Buffer Count", 16, 168);
  spCount = new QSpinBox(page);
  spCount->setObjectName("spCount");
  spCount->setRange(TfrmMain::kMinBufferCount, TfrmMain::kMaxBufferCount);
  spCount->setValue(16);
  spCount->findChild<QLineEdit*>()->setMaxLength(3);
  spCount->setGeometry(16, 186, 120, 24);
  countLabel->setBuddy(spCount);
  QLabel* sizeLabel = label("SysEx Buffer Size", 160, 168);
  spSize = new QSpinBox(page);
  spSize->setObjectName("spSize");
  spSize->setRange(TfrmMain::kMinBufferSize, TfrmMain::kMaxBufferSize);
  spSize->setSingleStep(128);
  spSize->setValue(4096);
  spSize->findChild<QLineEdit*>()->setMaxLength(5);
  spSize->setGeometry(160, 186, 120, 24);
  sizeLabel->setBuddy(spSize);

  btnCheck = new QPushButton(
      QIcon::fromTheme("view-refresh", style()->standardIcon(QStyle::SP_BrowserReload)),
      "&Check Connection", page);
  btnCheck->setObjectName("btnCheck");
  btnCheck->setGeometry(16, 226, 160, 25);
  buttons_.push_back(btnCheck);
  // An interface plugged in after the start can be chosen without a restart.
  auto* btnRefresh = new QPushButton("Refresh", page);
  btnRefresh->setObjectName("btnRefresh");
  btnRefresh->setGeometry(192, 226, 100, 25);
  buttons_.push_back(btnRefresh);
  return page;
}

QWidget* MainWindow::BuildGlobalPage() {
  QWidget* page = Page("tabGlobal");
  Button(page, "btnGetGlobal", "Receive Global Data", 0, 120, 129);
  Button(page, "btnSendGlobal", "Send Global Data", 1, 120, 129);
  Button(page, "btnBackup", "Backup...", 0, 170, 129);
  Button(page, "btnRestore", "Restore...", 1, 170, 129);
  EvenOutButtons(page);
  auto* presets = new QCheckBox("Include presets in the backup", page);
  presets->setObjectName("cbBackupPresets");
  presets->move(page->findChild<QPushButton*>("btnBackup")->x(), 205);
  connect(presets, &QCheckBox::toggled, this,
          [this](bool checked) { form_->cbBackupPresetsChecked = checked; });
  return page;
}

// The line between the single-object rows and the bank rows of the Program and Mix pages.
void MainWindow::Separator(QWidget* page) {
  auto* line = new QFrame(page);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(20, 125, kClientWidth - 40, 4);
}

QWidget* MainWindow::BuildProgramPage() {
  QWidget* page = Page("tabProgram");
  Button(page, "btnGetProgram", "Get Program", 0, 30);
  Button(page, "btnSendProgram", "Send Program", 1, 30);
  Button(page, "btnRenameProgram", "Rename Program", 0, 70);
  Separator(page);
  Button(page, "btnGetBank", "Get Bank", 0, 150)->setProperty("tag", 0);
  Button(page, "btnSendBank", "Send Bank", 1, 150);
  Button(page, "btnSplitProgramBank", "Split Bank", 0, 190)->setProperty("tag", 1);
  Button(page, "btnRenameProgBank", "Rename Bank", 1, 190);
  LibraryButtons(page, "btnLibrary", "btnComposeBank", "Compose Bank...", kProgramKind);
  EvenOutButtons(page);
  return page;
}

QWidget* MainWindow::BuildMixPage() {
  QWidget* page = Page("tabMix");
  Button(page, "btnGetMix", "Get Mix", 0, 30);
  Button(page, "btnSendMix", "Send Mix", 1, 30);
  Button(page, "btnRenameMix", "Rename Mix", 0, 70);
  Button(page, "btnInitMix", "Initialize Mix", 1, 70);
  Separator(page);
  Button(page, "btnGetMixBank", "Get Mix Bank", 0, 150)->setProperty("tag", 0);
  Button(page, "btnSendMixBank", "Send Mix Bank", 1, 150);
  Button(page, "btnSplitMixBank", "Split Mix Bank", 0, 190)->setProperty("tag", 1);
  Button(page, "btnRenameMixBank", "Rename Mix Bank", 1, 190);
  LibraryButtons(page, "btnMixLibrary", "btnComposeMixBank", "Compose Mix Bank...", kMixKind);
  EvenOutButtons(page);
  return page;
}

void MainWindow::LibraryButtons(QWidget* page, const char* library, const char* compose,
                                const QString& composeCaption, const DumpKind& kind) {
  for (auto [name, caption, column] :
       {std::tuple{library, QString("Library..."), 0}, std::tuple{compose, composeCaption, 1}}) {
    auto* button = new QPushButton(caption, page);
    button->setObjectName(name);
    button->setProperty("column", column);
    PlaceButton(button, 137, 240);
  }
  connect(page->findChild<QPushButton*>(library), &QPushButton::clicked, this,
          [this] { ShowLibrary(); });
  connect(page->findChild<QPushButton*>(compose), &QPushButton::clicked, this,
          [this, &kind] { ComposeBank(kind); });
}

void MainWindow::SetLibrary(LibraryConnection* library) {
  library_ = library;
  form_->SetDumpListener(library);
  if (library) form_->DataFolder = std::filesystem::absolute(library->File()).parent_path();
}

LibraryConnection& MainWindow::Library() {
  if (!library_) {
    ownLibrary_ = std::make_unique<LibraryConnection>(
        ResolveLibraryPath(std::nullopt, appFolder_.toStdString()));
    library_ = ownLibrary_.get();
  }
  return *library_;
}

LibraryWindow* MainWindow::ShowLibrary() {
  if (!libraryWindow_) libraryWindow_ = std::make_unique<LibraryWindow>(*this, Library());
  libraryWindow_->show();
  libraryWindow_->raise();
  libraryWindow_->activateWindow();
  return libraryWindow_.get();
}

ComposeBankWindow* MainWindow::ComposeBank(const DumpKind& kind) {
  auto* composer = new ComposeBankWindow(*this, Library(), kind);
  composers_.removeAll(nullptr);
  composers_.push_back(composer);
  PlaceComposer(composer);
  composer->show();
  composer->raise();
  composer->activateWindow();
  return composer;
}

void MainWindow::PlaceComposer(QWidget* composer) {
  // Beside the Library window when there is room on its screen, else beside the main window; in
  // any case whole on the screen, its title bar first.
  composer->adjustSize();
  const QWidget* anchor = libraryWindow_ && libraryWindow_->isVisible()
                              ? static_cast<const QWidget*>(libraryWindow_.get())
                              : this;
  QScreen* screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect room = screen->availableGeometry();
  const QRect beside = anchor->frameGeometry();
  const QSize size = composer->frameGeometry().size().expandedTo(composer->size());
  int left = beside.right() + 1;
  if (left + size.width() > room.right() + 1) left = beside.left() - size.width();
  if (left < room.left()) left = room.right() + 1 - size.width();
  left = std::max(room.left(), left);
  int top =
      std::clamp(beside.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height()));
  composer->move(left, top);
}

bool MainWindow::IsOwnWindow(const QWidget* window) const {
  if (!window) return false;
  if (window == libraryWindow_.get()) return true;
  return std::any_of(composers_.begin(), composers_.end(),
                     [window](const QPointer<ComposeBankWindow>& c) { return c.data() == window; });
}

QList<QPushButton*> MainWindow::Buttons() const {
  return buttons_;
}

void MainWindow::StatusChanged(const std::string& text) {
  // A text longer than the bar shows its beginning and an ellipsis; the whole is its tooltip.
  const QString whole = Text(text);
  // The bar spans the window, which has a fixed width; it may not be laid out yet.
  const int room = kClientWidth - 2 * (Stat->frameWidth() + Stat->margin());
  Stat->setText(Stat->fontMetrics().elidedText(whole, Qt::ElideRight, room));
  Stat->setToolTip(whole.trimmed());
  emit StatusShown(whole);
}

void MainWindow::StateChanged() {
  if (!form_) return;
  const TfrmMain& f = *form_;
  redrawing_ = true;
  const QSignalBlocker b1(cbxIn), b2(cbxOut), b3(tbSendDelay), b4(Tabs);
  auto fill = [](QComboBox* box, const std::vector<std::string>& items, int index) {
    if (box->count() != static_cast<int>(items.size())) {
      box->clear();
      for (const auto& item : items) box->addItem(QString::fromStdString(item));
    }
    box->setCurrentIndex(index);
  };
  fill(cbxIn, f.cbxInItems, f.cbxInIndex);
  fill(cbxOut, f.cbxOutItems, f.cbxOutIndex);
  tbSendDelay->setValue(f.tbSendDelayPosition);
  lblSendDelay->setText(QString::fromStdString(f.lblSendDelayCaption));
  for (auto [field, text] :
       {std::pair{spCount, &f.spCountText}, std::pair{spSize, &f.spSizeText}}) {
    // The text the user is typing stays as typed until the field is left.
    if (!field->findChild<QLineEdit*>()->hasFocus()) {
      const QSignalBlocker block(field);
      field->setValue(QString::fromStdString(*text).toInt());
    }
  }
  Tabs->setCurrentIndex(f.ActivePage);
  findChild<QLabel*>("lblDescription")->setText(Text(f.lblDescriptionCaption));
  findChild<QLabel*>("lblVersion")->setText(Text(f.lblVersionCaption));
  findChild<QLabel*>("lblCopyright")->setText(Text(f.lblCopyrightCaption));

  const bool enabled = f.ControlsEnabled();
  cbxIn->setEnabled(enabled);
  cbxOut->setEnabled(enabled);
  tbSendDelay->setEnabled(enabled);
  for (QPushButton* button : buttons_) button->setEnabled(enabled);
  if (auto* presets = findChild<QCheckBox*>("cbBackupPresets")) {
    const QSignalBlocker block(presets);
    presets->setChecked(f.cbBackupPresetsChecked);
    presets->setEnabled(enabled);
  }
  // A connection check leaves the window unlocked; its wait shows on the cursor.
  if (f.Checking() != waitCursor_) {
    waitCursor_ = f.Checking();
    waitCursor_ ? QGuiApplication::setOverrideCursor(Qt::BusyCursor)
                : QGuiApplication::restoreOverrideCursor();
  }
  redrawing_ = false;
  emit FormStateChanged();
}

void MainWindow::ShowMessage(MessageIcon icon, const std::string& text) {
  const QString message = Text(text);
  switch (icon) {
    case MessageIcon::Information:
      QMessageBox::information(this, "Quorle", message);
      break;
    case MessageIcon::Warning:
      QMessageBox::warning(this, "Quorle", message);
      break;
    case MessageIcon::Error:
      QMessageBox::critical(this, "Quorle", message);
      break;
  }
}

bool MainWindow::Confirm(const std::string& text) {
  return QMessageBox::question(this, "Quorle", Text(text), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

ModalResult MainWindow::ShowModal(Dialog& dialog) {
  if (auto* chooser = dynamic_cast<BankChooser*>(&dialog)) {
    return QtSelectDialog(*chooser, this).Run();
  }
  if (auto* name = dynamic_cast<TfrmSetName*>(&dialog)) {
    return QtSetNameDialog(*name, this).Run();
  }
  if (auto* list = dynamic_cast<TfrmList*>(&dialog)) {
    return QtListDialog(*list, *this, this).Run();
  }
  if (auto* folder = dynamic_cast<TfrmPickDir*>(&dialog)) {
    return QtPickDirDialog(*folder, this).Run();
  }
  // A form without a view cannot be confirmed: the operation that asked stops there.
  return ModalResult::Cancel;
}

std::optional<std::string> MainWindow::ChooseFile(const FileChoice& choice) {
  if (fileChooserForTests) return fileChooserForTests(choice);
  if (choice.mode == FileChoice::Mode::Folder) {
    const QString folder =
        QFileDialog::getExistingDirectory(this, "Restore from backup folder", Text(choice.folder));
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdString();
  }
  if (choice.mode == FileChoice::Mode::NewFolder) {
    // A name for the folder the backup creates; no extension, no file filter.
    QFileDialog dialog(this, "Back up into a new folder",
                       QDir(Text(choice.folder)).filePath(Text(choice.fileName)));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
      return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
  }
  const QString filter = "SysEx files (*syx)";
  const QString start = QDir(Text(choice.folder)).filePath(Text(choice.fileName));
  QFileDialog dialog(this, QString(), start, filter);
  dialog.setDefaultSuffix("syx");
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (choice.mode == FileChoice::Mode::Save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

void MainWindow::ProgressChanged(const TfrmProgress* progress) {
  if (!progress) {
    // Its own Cancel button may be what ended the transfer: let that click return first.
    if (progress_) {
      progress_->hide();
      progress_->deleteLater();
      progress_ = nullptr;
    }
    return;
  }
  if (!progress_) {
    progress_ = new QtProgressWindow(this);
    progress_->onCancel = [this] { form_->Guarded([this] { form_->CancelExchange(); }); };
  }
  progress_->Redraw(*progress);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Escape gives up the exchange that holds the window locked.
  if (event->key() == Qt::Key_Escape && !form_->ControlsEnabled()) {
    form_->Guarded([this] { form_->CancelExchange(); });
    return;
  }
  // A push button outside a dialog takes only Space; Return on the focused one presses it too.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && isAncestorOf(button) && button->isEnabled()) {
      button->animateClick();
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

HelpViewer* MainWindow::Help() {
  return help_.get();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A composer with changes asks first; the window stays when the user keeps them open.
  for (const QPointer<ComposeBankWindow>& composer : composers_) {
    if (composer && composer->isVisible() && !composer->close()) {
      event->ignore();
      return;
    }
  }
  if (!closed_ && !form_->FormCloseQuery()) {
    event->ignore();
    return;
  }
  if (libraryWindow_) libraryWindow_->close();
  if (!closed_) {
    closed_ = true;
    form_->FormClose();
  }
  event->accept();
}

}  // namespace quorle
