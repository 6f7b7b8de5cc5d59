#include "qt/LibraryWindow.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QVBoxLayout>
#include <set>
#include <utility>

#include "app/IniFile.h"
#include "frontend/LibraryConnection.h"
#include "library/LibraryRescue.h"
#include "library/PutBack.h"
#include "protocol/DumpName.h"
#include "protocol/FileNames.h"
#include "protocol/SysexFile.h"
#include "qt/LibraryText.h"
#include "qt/MainWindow.h"
#include "qt/OnAndromedaView.h"

namespace quorle {

namespace {

constexpr const char* kSection = "LIBRARY";

QString Grouped(std::size_t n) {
  return QString::fromStdString(library::Grouped(n));
}

}  // namespace

LibraryWindow::LibraryWindow(MainWindow& main, LibraryConnection& library)
    : QWidget(nullptr, Qt::Window), main_(main), library_(library) {
  setObjectName("frmLibrary");
  setWindowTitle("Library");
  setAcceptDrops(true);
  catalogue_ = library_.Get();

  auto* layout = new QVBoxLayout(this);
  lblError = new QLabel(this);
  lblError->setObjectName("lblError");
  lblError->setWordWrap(true);
  lblError->setStyleSheet("color: #a00000");
  lblError->setVisible(!catalogue_);
  lblError->setText(Text("The library cannot be used: " + library_.LastError()));
  layout->addWidget(lblError);
  btnRescue = new QPushButton("Check and Rescue...", this);
  btnRescue->setObjectName("btnRescue");
  btnRescue->setVisible(library::FoundDamaged(library_.File()));
  connect(btnRescue, &QPushButton::clicked, this, &LibraryWindow::CheckAndRescue);
  layout->addWidget(btnRescue, 0, Qt::AlignLeft);

  auto* filters = new QHBoxLayout;
  eSearch = new QLineEdit(this);
  eSearch->setObjectName("eSearch");
  eSearch->setPlaceholderText("Search names");
  eSearch->setClearButtonEnabled(true);
  // A narrow window takes width from the search field first: it keeps room for a name.
  eSearch->setMinimumWidth(10 * eSearch->fontMetrics().horizontalAdvance('M'));
  filters->addWidget(eSearch, 2);
  cbKind = new QComboBox(this);
  cbKind->setObjectName("cbKind");
  cbKind->addItems({"All", "Programs", "Mixes"});
  filters->addWidget(cbKind);
  cbCategory = new QComboBox(this);
  cbCategory->setObjectName("cbCategory");
  cbCategory->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  filters->addWidget(cbCategory);
  layout->addLayout(filters);
  // The check boxes on a line of their own: the window stays narrow enough for a small screen.
  filters = new QHBoxLayout;
  cbFavoritesOnly = new QCheckBox("Favorites only", this);
  cbFavoritesOnly->setObjectName("cbFavoritesOnly");
  filters->addWidget(cbFavoritesOnly);
  cbDuplicatesOnly = new QCheckBox("Duplicates only", this);
  cbDuplicatesOnly->setObjectName("cbDuplicatesOnly");
  filters->addWidget(cbDuplicatesOnly);
  cbReplacedOnly = new QCheckBox(kReplacedOnlyText, this);
  cbReplacedOnly->setObjectName("cbReplacedOnly");
  cbReplacedOnly->setToolTip(kReplacedOnlyTip);
  filters->addWidget(cbReplacedOnly);
  cbOnlyOnInstrument = new QCheckBox(kOnlyOnInstrumentText, this);
  cbOnlyOnInstrument->setObjectName("cbOnlyOnInstrument");
  cbOnlyOnInstrument->setToolTip(kOnlyOnInstrumentTip);
  filters->addWidget(cbOnlyOnInstrument);
  filters->addStretch(1);
  layout->addLayout(filters);

  auto* splitter = new QSplitter(this);
  auto* left = new QWidget(splitter);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  model_ = new LibraryTableModel(library_.File(), this);
  Table_ = new QTableView(left);
  Table_->setObjectName("Table");
  Table_->setModel(model_);
  Table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Table_->setDragEnabled(true);
  Table_->setDragDropMode(QAbstractItemView::DragOnly);
  Table_->setWordWrap(false);
  Table_->setContextMenuPolicy(Qt::CustomContextMenu);
  // Rows of one height, never measured: a table of any length lays out at once.
  Table_->verticalHeader()->hide();
  Table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Table_->verticalHeader()->setDefaultSectionSize(Table_->fontMetrics().height() + 6);
  Table_->horizontalHeader()->setSectionsClickable(true);
  Table_->horizontalHeader()->setSortIndicatorShown(true);
  Table_->horizontalHeader()->setSortIndicator(LibraryTableModel::Name, Qt::AscendingOrder);
  // The text columns share the width the window has; the short ones keep what they need.
  const int em = Table_->fontMetrics().horizontalAdvance('M');
  QHeaderView* header = Table_->horizontalHeader();
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(4 * em);
  header->setSectionResizeMode(LibraryTableModel::Name, QHeaderView::Stretch);
  header->setSectionResizeMode(LibraryTableModel::Where, QHeaderView::Stretch);
  header->setSectionResizeMode(LibraryTableModel::Kind, QHeaderView::Interactive);
  header->setSectionResizeMode(LibraryTableModel::Category, QHeaderView::Interactive);
  header->setSectionResizeMode(LibraryTableModel::LastSeen, QHeaderView::Interactive);
  Table_->setColumnWidth(LibraryTableModel::Kind, 6 * em);
  Table_->setColumnWidth(LibraryTableModel::Category, 7 * em);
  Table_->setColumnWidth(LibraryTableModel::LastSeen,
                         Table_->fontMetrics().horizontalAdvance("2026-12-09 14:02") + em);
  leftLayout->addWidget(Table_, 1);
  auto* countLine = new QHBoxLayout;
  lblCount = new QLabel(left);
  lblCount->setObjectName("lblCount");
  countLine->addWidget(lblCount, 1);
  btnKeepSafe = new QPushButton(kKeepSafeText, left);
  btnKeepSafe->setObjectName("btnKeepSafe");
  btnKeepSafe->setToolTip(kKeepSafeTip);
  btnKeepSafe->setVisible(false);
  connect(btnKeepSafe, &QPushButton::clicked, this, [this] { KeepSafe(); });
  countLine->addWidget(btnKeepSafe);
  leftLayout->addLayout(countLine);

  // Beside the table, the chosen dump or the instrument's bank: a dump dragged from the table onto
  // a slot goes there.
  tabsSide = new QTabWidget(splitter);
  tabsSide->setObjectName("tabsSide");
  auto* details = new QWidget(tabsSide);
  details->setObjectName("Details");
  auto* form = new QFormLayout(details);
  form->setContentsMargins(6, 0, 0, 0);
  lblName = new QLabel(details);
  lblName->setObjectName("lblName");
  QFont big = lblName->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.2);
  lblName->setFont(big);
  form->addRow(lblName);
  lblKind = new QLabel(details);
  lblKind->setObjectName("lblKind");
  form->addRow("Kind:", lblKind);
  cbDumpCategory = new QComboBox(details);
  cbDumpCategory->setObjectName("cbDumpCategory");
  cbDumpCategory->setEditable(true);
  cbDumpCategory->setInsertPolicy(QComboBox::NoInsert);
  form->addRow("Category:", cbDumpCategory);
  cbFavorite = new QCheckBox("Favorite", details);
  cbFavorite->setObjectName("cbFavorite");
  form->addRow(cbFavorite);
  lstPlaces = new QTreeWidget(details);
  lstPlaces->setObjectName("lstPlaces");
  lstPlaces->setRootIsDecorated(false);
  lstPlaces->setHeaderLabels({"Place", "How", "Seen"});
  // The place takes what the pane has; how and when keep their width, the time to the second, so
  // two sightings of one place always read apart.
  lstPlaces->header()->setStretchLastSection(false);
  lstPlaces->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  lstPlaces->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  lstPlaces->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  form->addRow(new QLabel("Places:", details));
  form->addRow(lstPlaces);
  lstOtherNames = new QListWidget(details);
  lstOtherNames->setObjectName("lstOtherNames");
  lstOtherNames->setMaximumHeight(6 * (lstOtherNames->fontMetrics().height() + 4));
  form->addRow(new QLabel("The same sound, also stored as:", details));
  form->addRow(lstOtherNames);
  onAndromeda_ = new OnAndromedaView(tabsSide);
  tabsSide->addTab(details, "Details");
  tabsSide->addTab(onAndromeda_, "On the Andromeda");
  splitter->addWidget(left);
  splitter->addWidget(tabsSide);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  splitter->setSizes({600, 360});
  layout->addWidget(splitter, 1);

  actSend = Action("actSend", "Send to Andromeda...", QKeySequence(Qt::CTRL | Qt::Key_Return),
                   &LibraryWindow::SendChosen);
  actPutBack = Action("actPutBack", kPutBackText, {}, &LibraryWindow::PutBackChosen);
  actPutBack->setToolTip(kPutBackTip);
  actSave = Action("actSaveAs", "Save as file...", QKeySequence(Qt::CTRL | Qt::Key_S),
                   &LibraryWindow::SaveChosen);
  actForget =
      Action("actForget", "Forget", QKeySequence(Qt::Key_Delete), &LibraryWindow::ForgetChosen);
  actAddFiles = Action("actAddFiles", "Add files...", QKeySequence(Qt::CTRL | Qt::Key_O),
                       &LibraryWindow::AddFiles);
  actAddFolder = Action("actAddFolder", "Add folder...",
                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), &LibraryWindow::AddFolder);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonFor(actSend, "btnSend"));
  buttons->addWidget(ButtonFor(actPutBack, "btnPutBack"));
  buttons->addWidget(ButtonFor(actSave, "btnSaveAs"));
  buttons->addWidget(ButtonFor(actForget, "btnForget"));
  buttons->addStretch(1);
  buttons->addWidget(ButtonFor(actAddFiles, "btnAddFiles"));
  buttons->addWidget(ButtonFor(actAddFolder, "btnAddFolder"));
  btnCompose = new QPushButton("Compose Bank...", this);
  btnCompose->setObjectName("btnCompose");
  auto* compose = new QMenu(btnCompose);
  compose->addAction("Program Bank", this, [this] { main_.ComposeBank(kProgramKind); });
  compose->addAction("Mix Bank", this, [this] { main_.ComposeBank(kMixKind); });
  btnCompose->setMenu(compose);
  buttons->addWidget(btnCompose);
  layout->addLayout(buttons);
  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  layout->addWidget(lblStatus);

  connect(eSearch, &QLineEdit::textChanged, this, [this] { ApplyQuery(); });
  for (QComboBox* box : {cbKind, cbCategory}) {
    connect(box, &QComboBox::currentIndexChanged, this, [this] { ApplyQuery(); });
  }
  for (QCheckBox* box : {cbFavoritesOnly, cbDuplicatesOnly, cbReplacedOnly, cbOnlyOnInstrument}) {
    connect(box, &QCheckBox::toggled, this, [this] { ApplyQuery(); });
  }
  connect(Table_->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
          [this](int column, Qt::SortOrder order) {
            if (LibraryTableModel::Sortable(column)) {
              model_->sort(column, order);
              return;
            }
            // Columns the catalogue does not sort by keep the indicator where it was.
            const library::Query& query = model_->Browser().Wanted();
            const QSignalBlocker block(Table_->horizontalHeader());
            Table_->horizontalHeader()->setSortIndicator(
                query.sort == library::SortBy::Name ? LibraryTableModel::Name
                                                    : LibraryTableModel::LastSeen,
                query.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
          });
  connect(model_, &LibraryTableModel::answered, this, [this] { Answered(); });
  connect(Table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    const auto chosen = Chosen();
    ShowDetails(chosen.size() == 1 ? std::optional(chosen.front()) : std::nullopt);
    UpdateActions();
  });
  connect(Table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    menu.addActions({actSend, actPutBack, actSave, actForget});
    menu.exec(Table_->viewport()->mapToGlobal(at));
  });
  connect(cbDumpCategory, &QComboBox::activated, this, [this] { CommitCategory(); });
  connect(cbDumpCategory->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { CommitCategory(); });
  connect(cbFavorite, &QCheckBox::clicked, this, [this](bool checked) {
    if (!current_ || !catalogue_) return;
    try {
      catalogue_->SetFavorite(*current_, checked);
    } catch (const std::exception& e) {
      Say(Text(e.what()));
    }
    model_->Refresh();
  });
  connect(lstOtherNames, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { ShowDetails(item->data(Qt::UserRole).toLongLong()); });
  connect(&main_, &MainWindow::FormStateChanged, this, [this] {
    // What an exchange fetched or sent is in the library once it is over.
    const bool idle = main_.Form().ControlsEnabled();
    if (idle && !idle_) {
      FillCategories();
      PlacesChanged();
      ShowInstrumentBank();
    }
    idle_ = idle;
    UpdateActions();
  });
  connect(&main_, &MainWindow::StatusShown, this, [this](const QString& text) { Say(text); });
  onAndromeda_->onBankChosen = [this] { ShowInstrumentBank(); };
  onAndromeda_->onFetchAgain = [this] { FetchAgain(); };
  onAndromeda_->onDumpsDropped = [this](int slot, const auto& dumps) { DropOnSlot(slot, dumps); };
  onAndromeda_->onDumpActivated = [this](library::DumpId id) {
    ShowDetails(id);
    tabsSide->setCurrentIndex(0);
  };
  connect(tabsSide, &QTabWidget::currentChanged, this, [this] { ShowInstrumentBank(); });

  FillCategories();
  ShowDetails(std::nullopt);
  UpdateActions();
  RestoreGeometry();
  ApplyQuery();
  CountNowhereElse();
}

LibraryWindow::~LibraryWindow() {
  // An import under way stops after the file in hand; what was taken stays.
  importJob_.reset();
  stopFileCheck_ = true;
  if (fileCheck_.joinable()) fileCheck_.join();
}

QAction* LibraryWindow::Action(const char* name, const QString& text, const QKeySequence& key,
                               void (LibraryWindow::*run)()) {
  auto* action = new QAction(text, this);
  action->setObjectName(name);
  action->setShortcut(key);
  action->setShortcutContext(Qt::WindowShortcut);
  addAction(action);
  connect(action, &QAction::triggered, this, [this, run] { (this->*run)(); });
  return action;
}

QPushButton* LibraryWindow::ButtonFor(QAction* action, const char* name) {
  auto* button = new QPushButton(action->text(), this);
  button->setObjectName(name);
  button->setToolTip(action->shortcut().isEmpty()
                         ? action->toolTip()
                         : action->shortcut().toString(QKeySequence::NativeText));
  connect(button, &QPushButton::clicked, action, &QAction::trigger);
  connect(action, &QAction::enabledChanged, button, &QPushButton::setEnabled);
  button->setEnabled(action->isEnabled());
  return button;
}

void LibraryWindow::ApplyQuery() {
  library::Query query = model_->Browser().Wanted();
  query.text = eSearch->text().toStdString();
  const int kind = cbKind->currentIndex();
  query.kind = kind == 1 ? &kProgramKind : kind == 2 ? &kMixKind : nullptr;
  query.category = cbCategory->currentIndex() > 0 ? cbCategory->currentText().toStdString() : "";
  query.favoritesOnly = cbFavoritesOnly->isChecked();
  query.duplicatesOnly = cbDuplicatesOnly->isChecked();
  query.replacedOnly = cbReplacedOnly->isChecked();
  query.onlyOnInstrument = cbOnlyOnInstrument->isChecked();
  // The filter has an order of its own, newest replaced first: the header offers no other while
  // it is on, and the one chosen before comes back after.
  Table_->horizontalHeader()->setSectionsClickable(!query.replacedOnly);
  Table_->horizontalHeader()->setSortIndicatorShown(!query.replacedOnly);
  model_->SetQuery(query);
}

void LibraryWindow::Answered() {
  const library::LibraryBrowser& browser = model_->Browser();
  // The count follows the first rows; until it comes the label keeps the last one.
  if (browser.CountKnown()) {
    counted_ = browser.Count().value_or(0);
    ShowCount();
  }
  if (!browser.Error().empty()) Say(Text(browser.Error()));
  // The dump in the details pane stays chosen when the new rows hold it, and leaves the pane when
  // they surely do not: all of them are in one page, which is held once the count has come.
  if (current_) {
    if (const auto row = browser.RowOf(*current_)) {
      const QSignalBlocker block(Table_->selectionModel());
      Table_->selectRow(static_cast<int>(*row));
    } else if (!browser.Searching() && browser.CountKnown() &&
               browser.Count().value_or(0) <= library::LibraryBrowser::kPageSize) {
      ShowDetails(std::nullopt);
    }
  }
  UpdateActions();
}

std::vector<library::DumpId> LibraryWindow::Chosen() const {
  std::set<int> rows;
  for (const QModelIndex& index : Table_->selectionModel()->selectedRows())
    rows.insert(index.row());
  std::vector<library::DumpId> ids;
  for (int row : rows) {
    const library::DumpSummary* dump = model_->Summary(row);
    // Part of a choice is never acted on as if it were all of it.
    if (!dump) return {};
    ids.push_back(dump->id);
  }
  return ids;
}

void LibraryWindow::ShowDetails(std::optional<library::DumpId> id) {
  std::optional<library::DumpDetails> details;
  if (id && catalogue_) {
    try {
      details = catalogue_->Details(*id);
    } catch (const std::exception& e) {
      Say(Text(e.what()));
    }
  }
  current_ = details ? id : std::nullopt;
  lstPlaces->clear();
  lstOtherNames->clear();
  const QSignalBlocker blockCategory(cbDumpCategory), blockFavorite(cbFavorite);
  cbDumpCategory->setEditText({});
  cbFavorite->setChecked(false);
  for (QWidget* w :
       std::initializer_list<QWidget*>{cbDumpCategory, cbFavorite, lstPlaces, lstOtherNames}) {
    w->setEnabled(details.has_value());
  }
  if (!details) {
    lblName->setText(id ? "This dump is no longer in the library" : "No dump chosen");
    lblKind->clear();
    return;
  }
  const library::DumpSummary& s = details->summary;
  lblName->setText(Text(s.name));
  lblKind->setText(KindText(s.kind));
  cbDumpCategory->setEditText(Text(s.category));
  cbFavorite->setChecked(s.favorite);
  for (const library::Place& place : details->places) {
    auto* item = new QTreeWidgetItem(lstPlaces);
    item->setText(0, s.kind ? PlaceText(*s.kind, place) : Text(place.source));
    item->setToolTip(0, Text(place.source + (place.note.empty() ? "" : " (" + place.note + ")")));
    item->setText(1, Text(std::string(library::HowName(place.how))));
    item->setText(2, LocalTime(place.seen, true));
    item->setToolTip(2, Text(place.seen));
    if (place.gone) {
      // The file no longer holds it: a place to remember, not one to count on.
      item->setText(1, item->text(1) + ", gone");
      item->setToolTip(1, "The file is gone or no longer holds this dump");
      for (int column = 0; column < 3; ++column)
        item->setForeground(column, palette().brush(QPalette::Disabled, QPalette::Text));
    }
  }
  for (const auto& [other, name] : details->otherNames) {
    // "id 42 (from Mixes.syx)": one sound stored twice may well carry one name twice.
    QString text = QString("id %1").arg(other);
    if (name != s.name) text += " \"" + Text(name) + "\"";
    try {
      if (const auto more = catalogue_->Details(other); more && !more->summary.where.empty())
        text += " (from " + Text(more->summary.where) + ")";
    } catch (const std::exception&) {
    }
    auto* item = new QListWidgetItem(text, lstOtherNames);
    item->setData(Qt::UserRole, static_cast<qlonglong>(other));
  }
}

void LibraryWindow::FillCategories() {
  std::vector<std::string> categories;
  if (catalogue_) {
    try {
      categories = catalogue_->Categories();
    } catch (const std::exception& e) {
      Say(Text(e.what()));
    }
  }
  const QString chosen = cbCategory->currentIndex() > 0 ? cbCategory->currentText() : QString();
  {
    const QSignalBlocker block(cbCategory);
    cbCategory->clear();
    cbCategory->addItem("All categories");
    for (const std::string& category : categories) cbCategory->addItem(Text(category));
    cbCategory->setCurrentIndex(std::max(0, cbCategory->findText(chosen)));
  }
  const QString typed = cbDumpCategory->currentText();
  const QSignalBlocker block(cbDumpCategory);
  cbDumpCategory->clear();
  for (const std::string& category : categories) cbDumpCategory->addItem(Text(category));
  cbDumpCategory->setEditText(typed);
  // A category that went out of use leaves the filter on All.
  if (cbCategory->currentIndex() == 0 && !chosen.isEmpty()) ApplyQuery();
}

void LibraryWindow::CommitCategory() {
  if (!current_ || !catalogue_) return;
  const std::string category = cbDumpCategory->currentText().trimmed().toStdString();
  try {
    const auto details = catalogue_->Details(*current_);
    if (!details || details->summary.category == category) return;
    catalogue_->SetCategory(*current_, category);
  } catch (const std::exception& e) {
    Say(Text(e.what()));
    return;
  }
  FillCategories();
  ShowDetails(current_);
  model_->Refresh();
}

void LibraryWindow::UpdateActions() {
  const std::vector<library::DumpId> ids = Chosen();
  const std::size_t chosen = ids.size();
  const bool usable = catalogue_ != nullptr;
  // As the main window's buttons: nothing is sent while an exchange with the instrument runs.
  const bool idle = main_.Form().ControlsEnabled();
  actSend->setEnabled(usable && chosen == 1 && idle);
  actPutBack->setEnabled(usable && idle && CanGoBack(ids));
  actSave->setEnabled(usable && chosen == 1);
  actForget->setEnabled(usable && chosen > 0);
  actAddFiles->setEnabled(usable && !importJob_);
  actAddFolder->setEnabled(usable && !importJob_);
  onAndromeda_->SetFetchEnabled(usable && idle);
  constexpr std::size_t kRowsAtHand =
      (library::LibraryBrowser::kPagesKept + 1) * library::LibraryBrowser::kPageSize;
  if (chosen == 0 && Table_->selectionModel()->selectedRows().size() > qsizetype{kRowsAtHand}) {
    Say(QString("Too many dumps chosen to act on at once: choose at most %1")
            .arg(Grouped(kRowsAtHand)));
  }
}

void LibraryWindow::ShowCount() {
  QString text = counted_ == 1 ? QString("1 dump") : Grouped(counted_) + " dumps";
  if (model_->Browser().Wanted().replacedOnly && counted_ > 1) {
    text += QString(", ") + kReplacedOrderText;
  }
  if (nowhereElse_ == 1) text += "; 1 exists nowhere else";
  if (nowhereElse_ > 1) text += "; " + Grouped(nowhereElse_) + " exist nowhere else";
  lblCount->setText(text);
  btnKeepSafe->setVisible(nowhereElse_ > 0);
}

void LibraryWindow::CountNowhereElse() {
  if (!catalogue_) return;
  try {
    library::Query query;
    query.onlyOnInstrument = true;
    nowhereElse_ = catalogue_->Count(query);
  } catch (const std::exception& e) {
    Say(Text(e.what()));
  }
  ShowCount();
}

void LibraryWindow::PlacesChanged() {
  CountNowhereElse();
  model_->Refresh();
  ShowDetails(current_);
}

void LibraryWindow::CheckFiles() {
  if (!catalogue_) return;
  if (fileCheck_.joinable()) {
    checkAgain_ = true;
    return;
  }
  stopFileCheck_ = false;
  fileCheck_ = std::thread([this, file = library_.File()] {
    std::string error;
    try {
      library::Library own(file);
      own.CheckFiles([this] { return !stopFileCheck_; });
    } catch (const std::exception& e) {
      error = e.what();
    }
    // The window waits for this thread before it goes, so it is still there to be told.
    QMetaObject::invokeMethod(
        this, [this, error] { FilesChecked(error); }, Qt::QueuedConnection);
  });
}

void LibraryWindow::FilesChecked(const std::string& error) {
  if (fileCheck_.joinable()) fileCheck_.join();
  if (!error.empty()) Say(Text(error));
  if (std::exchange(checkAgain_, false)) CheckFiles();
  // Places whose files are gone count no more: the dumps they held may now exist nowhere else.
  PlacesChanged();
}

void LibraryWindow::KeepSafe() {
  if (!catalogue_) return;
  const QString folder =
      keepSafeChooserForTests
          ? keepSafeChooserForTests()
          : QFileDialog::getExistingDirectory(this, "Keep the dumps that exist nowhere else in");
  if (folder.isEmpty()) return;
  std::vector<std::filesystem::path> written;
  try {
    written = catalogue_->KeepSafe(folder.toStdString());
    Say((written.size() == 1 ? QString("1 dump") : Grouped(written.size()) + " dumps") +
        " written to " + folder);
  } catch (const std::exception& e) {
    QMessageBox::critical(this, "Library", Text(e.what()));
  }
  PlacesChanged();
}

void LibraryWindow::ShowInstrumentBank() {
  if (tabsSide->currentWidget() != onAndromeda_) return;
  if (!catalogue_) {
    onAndromeda_->ShowNothing(lblError->text());
    return;
  }
  const std::string now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
  try {
    onAndromeda_->Show(
        library::InstrumentBank(*catalogue_, onAndromeda_->Kind(), onAndromeda_->Bank()), now);
  } catch (const std::exception& e) {
    onAndromeda_->ShowNothing(Text(e.what()));
  }
}

void LibraryWindow::FetchAgain() {
  if (!main_.Form().ControlsEnabled() || !catalogue_) return;
  TfrmMain& form = main_.Form();
  const DumpKind& kind = onAndromeda_->Kind();
  const int bank = onAndromeda_->Bank();
  // What was fetched is in the library once the exchange is over; the view reads it then.
  form.Guarded([&] { form.FetchBankInto(kind, bank, [](Bytes) {}); });
}

void LibraryWindow::DropOnSlot(int slot, const std::vector<LibraryTableModel::Dragged>& dumps) {
  const DumpKind& kind = onAndromeda_->Kind();
  const int bank = onAndromeda_->Bank();
  if (!catalogue_) return;
  if (!main_.Form().ControlsEnabled()) {
    Say("The Andromeda is busy: drop it again once the exchange under way has ended");
    return;
  }
  if (dumps.size() != 1) {
    Say("One dump at a time goes onto a slot");
    return;
  }
  if (dumps.front().kind != &kind) {
    Say(&kind == &kProgramKind ? "A Mix cannot go into a Program bank"
                               : "A Program cannot go into a Mix bank");
    return;
  }
  if (!kind.TakesDumps(bank)) {
    Say(Text(BankName(kind, bank)) +
        " cannot be written: only the User and card banks take a dump");
    return;
  }
  std::optional<library::DumpDetails> details;
  std::optional<Bytes> dump;
  try {
    details = catalogue_->Details(dumps.front().id);
    dump = catalogue_->DumpBytes(dumps.front().id);
  } catch (const std::exception& e) {
    Say(Text(e.what()));
    return;
  }
  if (!details || !dump) {
    Say("That dump is no longer in the library");
    return;
  }
  library::Place place;
  place.source = std::string(library::kInstrumentSource);
  place.bank = bank;
  place.entry = slot;
  QString question =
      Text("Send \"" + details->summary.name + "\" to ") + PlaceText(kind, place) + "?\n\n";
  const QString there = onAndromeda_->SlotName(slot);
  question += there.isEmpty() ? QString("What is there now is kept in the Library first.")
                              : "It replaces \"" + there +
                                    "\", which is kept in the Library first (Put Back undoes it).";
  QMessageBox box(QMessageBox::Question, "Library", question, QMessageBox::Cancel, this);
  QPushButton* go = box.addButton("Send", QMessageBox::AcceptRole);
  go->setObjectName("btnConfirmSend");
  box.setDefaultButton(go);
  box.exec();
  if (box.clickedButton() != go || !main_.Form().ControlsEnabled()) return;
  TfrmMain& form = main_.Form();
  form.Guarded([&] { form.SendDumpTo(kind, *dump, bank, slot); });
}

void LibraryWindow::Say(const QString& text) {
  lblStatus->setText(text);
  btnRescue->setVisible(library::FoundDamaged(library_.File()));
}

void LibraryWindow::CheckAndRescue() {
  const std::filesystem::path file = library_.File();
  try {
    const library::CheckReport check = library::CheckLibrary(file);
    if (check.whole) {
      QMessageBox::information(this, "Library", Text(library::CheckSummary(check)));
      return;
    }
    const QString question = Text(library::CheckSummary(check)) +
                             "\n\nCopy what can still be read into a new library? The damaged "
                             "library is not changed.";
    if (QMessageBox::question(this, "Library", question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::Yes) != QMessageBox::Yes) {
      return;
    }
    const QString target = QFileDialog::getSaveFileName(this, "Rescue into a new library",
                                                        Text(library::RescueFileFor(file).string()),
                                                        "Library (*.sqlite)");
    if (target.isEmpty()) return;
    const library::RescueReport report = library::RescueLibrary(file, target.toStdString());
    QMessageBox::information(
        this, "Library",
        Text(target.toStdString() + ": " + library::RescueSummary(report)) +
            "\n\nTo use it, close Quorle and put it in place of the damaged library, or start "
            "Quorle with --library and its name.");
  } catch (const std::exception& e) {
    QMessageBox::critical(this, "Library", Text(e.what()));
  }
}

std::optional<LibraryWindow::Stored> LibraryWindow::ChosenDump() {
  const auto chosen = Chosen();
  if (chosen.size() != 1 || !catalogue_) return std::nullopt;
  Stored stored;
  try {
    stored.kind = catalogue_->KindOf(chosen.front());
    if (auto bytes = catalogue_->DumpBytes(chosen.front())) stored.dump = std::move(*bytes);
  } catch (const std::exception& e) {
    Say(Text(e.what()));
    return std::nullopt;
  }
  if (!stored.kind || stored.dump.empty()) {
    Say("This dump is no longer in the library");
    return std::nullopt;
  }
  return stored;
}

void LibraryWindow::SendChosen() {
  if (!main_.Form().ControlsEnabled()) return;
  const auto chosen = ChosenDump();
  if (!chosen) return;
  TfrmMain& form = main_.Form();
  form.Guarded([&] { form.SendDump(*chosen->kind, chosen->dump); });
}

bool LibraryWindow::CanGoBack(const std::vector<library::DumpId>& ids) const {
  if (ids.empty() || !catalogue_) return false;
  // A choice of thousands is not read through at every change of it (a look-up each); Put Back
  // itself refuses, naming the dump, when one of them has no place to go back to.
  constexpr std::size_t kCheckedAtMost = 500;
  if (ids.size() > kCheckedAtMost) return true;
  try {
    for (const library::DumpId id : ids) {
      const auto details = catalogue_->Details(id);
      if (!details || library::PutBackPlaces(*details).empty()) return false;
    }
  } catch (const std::exception&) {
    return false;  // said when the details are shown
  }
  return true;
}

bool LibraryWindow::ConfirmPutBack(const std::vector<library::DumpId>& ids) {
  // Each dump with the places it goes back to; a long choice is named in part.
  constexpr int kNamedAtMost = 12;
  QStringList lines;
  int places = 0;
  for (const library::DumpId id : ids) {
    const auto details = catalogue_->Details(id);
    if (!details || !details->summary.kind) continue;
    for (const library::Place& place : library::PutBackPlaces(*details)) {
      if (++places <= kNamedAtMost) {
        lines << Text("\"" + details->summary.name + "\" to ") +
                     PlaceText(*details->summary.kind, place);
      }
    }
  }
  if (places > kNamedAtMost) lines << QString("and %1 more").arg(places - kNamedAtMost);
  QMessageBox box(
      QMessageBox::Question, "Library",
      QString("Put back on the Andromeda, replacing what is there now?\n\n") + lines.join('\n'),
      QMessageBox::Cancel, this);
  QPushButton* go = box.addButton(kPutBackText, QMessageBox::AcceptRole);
  go->setObjectName("btnConfirmPutBack");
  box.setDefaultButton(go);
  box.exec();
  return box.clickedButton() == go;
}

void LibraryWindow::PutBackChosen() {
  if (!main_.Form().ControlsEnabled() || !catalogue_) return;
  const auto chosen = Chosen();
  if (chosen.empty()) return;
  library::PutBackDumps back;
  try {
    back = library::PutBackDumpsOf(*catalogue_, chosen);
  } catch (const std::exception& e) {
    Say(Text(e.what()));
    return;
  }
  if (!back.refused.empty()) {
    QMessageBox::warning(this, "Library", Text(back.refused));
    return;
  }
  if (!ConfirmPutBack(chosen)) return;
  TfrmMain& form = main_.Form();
  form.Guarded([&] { form.PutBack(std::move(back.dumps)); });
}

void LibraryWindow::SaveChosen() {
  const auto chosen = ChosenDump();
  if (!chosen) return;
  const auto& [kind, dump] = *chosen;
  TfrmMain& form = main_.Form();
  std::string& folder = kind == &kProgramKind ? form.ProgramPath : form.MixPath;
  const auto path =
      main_.ChooseFile({FileChoice::Mode::Save, folder, ProposedFileName(DumpName(*kind, dump))});
  if (!path) return;
  folder = FolderOf(*path);
  const IoResult written = WriteFileAtomically(*path, dump);
  if (!written.ok) {
    QMessageBox::critical(this, "Library", Text("Unable to write " + *path + ": " + written.error));
    return;
  }
  // The dump is held there from now on: it may no longer exist only on the instrument.
  library_.FileWritten(*path);
  Say(Text(" " + FileNameOf(*path) + " saved to disk"));
  PlacesChanged();
}

void LibraryWindow::ForgetChosen() {
  const auto chosen = Chosen();
  if (chosen.empty() || !catalogue_) return;
  QString question;
  if (chosen.size() == 1) {
    const library::DumpSummary* dump = model_->Summary(Table_->currentIndex().row());
    const QString name = dump && dump->id == chosen.front() ? Text(dump->name) : QString("it");
    question = QString("Forget \"%1\"? It leaves the library; no file is touched.").arg(name);
  } else {
    question = QString("Forget %1 dumps? They leave the library; no file is touched.")
                   .arg(Grouped(chosen.size()));
  }
  if (QMessageBox::question(this, "Library", question, QMessageBox::Yes | QMessageBox::No,
                            QMessageBox::No) != QMessageBox::Yes) {
    return;
  }
  try {
    catalogue_->Forget(chosen);
  } catch (const std::exception& e) {
    Say(Text(e.what()));
    return;
  }
  Table_->clearSelection();
  ShowDetails(std::nullopt);
  FillCategories();
  model_->Refresh();
  CountNowhereElse();
  ShowInstrumentBank();
  Say(chosen.size() == 1 ? QString("1 dump forgotten")
                         : Grouped(chosen.size()) + " dumps forgotten");
}

void LibraryWindow::AddFiles() {
  const QStringList files =
      addChooserForTests
          ? addChooserForTests(false)
          : QFileDialog::getOpenFileNames(this, "Add files to the library", {},
                                          "SysEx and MIDI files (*.syx *.mid);;All files (*)");
  std::vector<std::filesystem::path> paths;
  for (const QString& file : files) paths.emplace_back(file.toStdString());
  if (!paths.empty()) Import(paths);
}

void LibraryWindow::AddFolder() {
  QStringList folders;
  if (addChooserForTests) {
    folders = addChooserForTests(true);
  } else if (const QString folder =
                 QFileDialog::getExistingDirectory(this, "Add a folder to the library");
             !folder.isEmpty()) {
    folders << folder;
  }
  std::vector<std::filesystem::path> paths;
  for (const QString& folder : folders) paths.emplace_back(folder.toStdString());
  if (!paths.empty()) Import(paths);
}

void LibraryWindow::Import(const std::vector<std::filesystem::path>& paths) {
  if (importJob_ || !catalogue_ || paths.empty()) return;
  // Called on the import's thread after each file: one wake-up waits in the event loop at a time.
  auto posted = std::make_shared<std::atomic<bool>>(false);
  QPointer<LibraryWindow> self(this);
  importJob_ = std::make_unique<library::ImportJob>(library_.File(), paths, [self, posted] {
    if (posted->exchange(true)) return;
    QMetaObject::invokeMethod(
        self.data(),
        [self, posted] {
          *posted = false;
          if (self) self->ImportProgressed();
        },
        Qt::QueuedConnection);
  });
  importProgress_ = new QProgressDialog("Adding to the library...", "Cancel", 0, 0, this);
  importProgress_->setObjectName("frmImportProgress");
  importProgress_->setWindowTitle("Library");
  importProgress_->setWindowModality(Qt::WindowModal);
  importProgress_->setMinimumDuration(500);
  importProgress_->setAutoClose(false);
  importProgress_->setAutoReset(false);
  connect(importProgress_, &QProgressDialog::canceled, this, [this] {
    if (importJob_) importJob_->Cancel();
  });
  Say("Adding to the library...");
  UpdateActions();
}

void LibraryWindow::ImportProgressed() {
  if (!importJob_) return;
  const library::ImportJob::Progress now = importJob_->Now();
  if (importProgress_ && !importJob_->Finished()) {
    importProgress_->setMaximum(static_cast<int>(now.total));
    importProgress_->setValue(static_cast<int>(now.done));
    importProgress_->setLabelText(Text("Adding " + FileNameOf(now.path)));
    return;
  }
  if (!importJob_->Finished()) return;
  const std::unique_ptr<library::ImportJob> job = std::move(importJob_);
  if (importProgress_) {
    importProgress_->hide();
    importProgress_->deleteLater();
  }
  const library::ImportReport& report = job->Report();
  QString said = Text(library::ImportSummary(report));
  if (job->Cancelled()) said += " (cancelled)";
  Say(said);
  FillCategories();
  model_->Refresh();
  UpdateActions();
  CountNowhereElse();
  CheckFiles();
  if (!job->Error().empty()) {
    QMessageBox::critical(this, "Library", Text(job->Error()));
  } else if (!report.skipped.empty()) {
    QString text =
        QString("%1 not taken:\n")
            .arg(report.skipped.size() == 1 ? QString("1 file was")
                                            : Grouped(report.skipped.size()) + " files were");
    constexpr std::size_t kShown = 12;
    for (std::size_t i = 0; i < report.skipped.size() && i < kShown; ++i) {
      text += Text("\n" + FileNameOf(report.skipped[i].path) + ": " + report.skipped[i].reason);
    }
    if (report.skipped.size() > kShown) {
      text += QString("\n... and %1 more").arg(report.skipped.size() - kShown);
    }
    QMessageBox::warning(this, "Library", text);
  }
}

void LibraryWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* mime = event->mimeData();
  // Files and folders from the desktop; the table's own rows are not imported again.
  if (catalogue_ && !importJob_ && mime->hasUrls() &&
      !mime->hasFormat(LibraryTableModel::kMimeType)) {
    for (const QUrl& url : mime->urls()) {
      if (!url.isLocalFile()) return event->ignore();
    }
    event->acceptProposedAction();
  }
}

void LibraryWindow::dropEvent(QDropEvent* event) {
  std::vector<std::filesystem::path> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.emplace_back(url.toLocalFile().toStdString());
  }
  if (paths.empty()) return;
  event->acceptProposedAction();
  Import(paths);
}

void LibraryWindow::RestoreGeometry() {
  const IniFile ini = IniFile::Load(main_.Form().SettingsPath());
  const long long width = ini.GetInt(kSection, "Width", 0);
  const long long height = ini.GetInt(kSection, "Height", 0);
  resize(width >= 320 && width <= 10000 && height >= 240 && height <= 10000
             ? QSize(static_cast<int>(width), static_cast<int>(height))
             : QSize(960, 560));
  const long long left = ini.GetInt(kSection, "Left", -100000);
  const long long top = ini.GetInt(kSection, "Top", -100000);
  if (left > -10000 && left < 10000 && top > -10000 && top < 10000) {
    move(static_cast<int>(left), static_cast<int>(top));
  }
}

void LibraryWindow::SaveGeometry() {
  const std::filesystem::path path = main_.Form().SettingsPath();
  IniFile ini = IniFile::Load(path);
  ini.Set(kSection, "Left", std::to_string(pos().x()));
  ini.Set(kSection, "Top", std::to_string(pos().y()));
  ini.Set(kSection, "Width", std::to_string(width()));
  ini.Set(kSection, "Height", std::to_string(height()));
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  // Where the window was is no reason to bother the user when the file cannot be written.
  ini.Save(path);
}

void LibraryWindow::showEvent(QShowEvent* event) {
  // Files may have gone or changed while the window was closed.
  if (!event->spontaneous()) CheckFiles();
  QWidget::showEvent(event);
}

void LibraryWindow::hideEvent(QHideEvent* event) {
  SaveGeometry();
  QWidget::hideEvent(event);
}

}  // namespace quorle
