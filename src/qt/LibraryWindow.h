#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "library/ImportJob.h"
#include "qt/LibraryTableModel.h"

namespace quorle {

class LibraryConnection;
class MainWindow;
class OnAndromedaView;

// "Library": every dump the user owns, found as the name is typed, with where each was seen and
// the actions on it. A view over the catalogue: searches run on a thread of their own, imports
// on another; sends go through the main window's transfers and wait while it is busy.
class LibraryWindow : public QWidget {
  Q_OBJECT

 public:
  LibraryWindow(MainWindow& main, LibraryConnection& library);
  ~LibraryWindow() override;

  LibraryTableModel& Model() { return *model_; }
  QTableView& Table() { return *Table_; }
  OnAndromedaView& OnAndromeda() { return *onAndromeda_; }
  // The file check runs in the background: whether it is under way.
  bool CheckingFiles() const { return fileCheck_.joinable(); }
  // The dumps chosen in the table, in row order; none while some of them are not at hand (more
  // than the rows the table keeps loaded).
  std::vector<library::DumpId> Chosen() const;

  // Adds files and folders to the library on a worker thread, with progress and Cancel.
  void Import(const std::vector<std::filesystem::path>& paths);
  bool Importing() const { return importJob_ != nullptr; }

  // Answers the add dialogs in place of the file dialog when set (tests): the paths chosen.
  std::function<QStringList(bool folder)> addChooserForTests;
  // Answers "Keep them safe..." in place of the folder dialog when set (tests).
  std::function<QString()> keepSafeChooserForTests;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QAction* Action(const char* name, const QString& text, const QKeySequence& key,
                  void (LibraryWindow::*run)());
  QPushButton* ButtonFor(QAction* action, const char* name);
  void ApplyQuery();
  void Answered();
  void ShowDetails(std::optional<library::DumpId> id);
  void FillCategories();
  void UpdateActions();
  void Say(const QString& text);
  // The count line: the rows of the query in hand, and what exists nowhere but on the instrument.
  void ShowCount();
  void CountNowhereElse();
  // Places were found, written or lost: the count line, the rows and the details are read again.
  void PlacesChanged();
  // Whether each file the library names still holds its dumps, on a thread and a connection of
  // its own; one run at a time, another after it when asked for meanwhile.
  void CheckFiles();
  void FilesChecked(const std::string& error);
  void KeepSafe();
  // The bank the "On the Andromeda" view shows, read again.
  void ShowInstrumentBank();
  void FetchAgain();
  void DropOnSlot(int slot, const std::vector<LibraryTableModel::Dragged>& dumps);
  void RestoreGeometry();
  void SaveGeometry();

  // The one dump chosen, as stored; nothing (the reason said) otherwise.
  struct Stored {
    const DumpKind* kind = nullptr;
    Bytes dump;
  };
  std::optional<Stored> ChosenDump();
  void SendChosen();
  // Whether each of the dumps has a place on the instrument to go back to (a large choice is
  // taken as it is, and checked when Put Back is clicked).
  bool CanGoBack(const std::vector<library::DumpId>& ids) const;
  void PutBackChosen();
  // Names each dump and the places it goes back to; true when the user goes on.
  bool ConfirmPutBack(const std::vector<library::DumpId>& ids);
  void SaveChosen();
  void ForgetChosen();
  void AddFiles();
  void AddFolder();
  void CommitCategory();
  void ImportProgressed();
  // Offered once the library is found damaged: SQLite's check, then a rescue into a new library.
  void CheckAndRescue();

  MainWindow& main_;
  LibraryConnection& library_;
  library::Library* catalogue_ = nullptr;  // the main thread's connection; nullptr when unusable
  LibraryTableModel* model_ = nullptr;
  std::optional<library::DumpId> current_;  // the dump the details pane shows
  bool idle_ = true;                        // no exchange with the instrument under way
  std::unique_ptr<library::ImportJob> importJob_;
  QPointer<QProgressDialog> importProgress_;
  std::size_t counted_ = 0;      // rows of the query in hand, as last counted
  std::size_t nowhereElse_ = 0;  // dumps whose only places are the instrument's
  std::thread fileCheck_;
  std::atomic<bool> stopFileCheck_ = false;
  bool checkAgain_ = false;

  QLineEdit* eSearch = nullptr;
  QComboBox* cbKind = nullptr;
  QComboBox* cbCategory = nullptr;
  QCheckBox* cbFavoritesOnly = nullptr;
  QCheckBox* cbDuplicatesOnly = nullptr;
  QCheckBox* cbReplacedOnly = nullptr;
  QCheckBox* cbOnlyOnInstrument = nullptr;
  QTabWidget* tabsSide = nullptr;
  OnAndromedaView* onAndromeda_ = nullptr;
  QPushButton* btnKeepSafe = nullptr;
  QTableView* Table_ = nullptr;
  QLabel* lblCount = nullptr;
  QLabel* lblError = nullptr;
  QLabel* lblStatus = nullptr;
  QLabel* lblName = nullptr;
  QLabel* lblKind = nullptr;
  QComboBox* cbDumpCategory = nullptr;
  QCheckBox* cbFavorite = nullptr;
  QTreeWidget* lstPlaces = nullptr;
  QListWidget* lstOtherNames = nullptr;
  QAction* actSend = nullptr;
  QAction* actPutBack = nullptr;
  QAction* actSave = nullptr;
  QAction* actForget = nullptr;
  QAction* actAddFiles = nullptr;
  QAction* actAddFolder = nullptr;
  QPushButton* btnCompose = nullptr;
  QPushButton* btnRescue = nullptr;
};

}  // namespace quorle
