#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/FormHost.h"
#include "app/TfrmMain.h"

class QSocketNotifier;

namespace quorle {

class QtProgressWindow;
class QtHelpViewer;
class LibraryConnection;
class LibraryWindow;
class ComposeBankWindow;

class MidiService;
class MidiDispatcher;

// The main window: a passive view of TfrmMain. It forwards what the user does and redraws from
// the window state whenever TfrmMain says it changed.
class MainWindow : public QWidget, public FormHost {
  Q_OBJECT

 public:
  MainWindow(MidiService& service, MidiDispatcher& dispatcher, const QString& appFolder);
  ~MainWindow() override;

  TfrmMain& Form() { return *form_; }
  // Every push button of the window, in page order.
  QList<QPushButton*> Buttons() const;

  void StatusChanged(const std::string& text) override;
  void StateChanged() override;
  void ShowMessage(MessageIcon icon, const std::string& text) override;
  ModalResult ShowModal(Dialog& dialog) override;
  bool Confirm(const std::string& text) override;
  std::optional<std::string> ChooseFile(const FileChoice& choice) override;
  void ProgressChanged(const TfrmProgress* progress) override;
  HelpViewer* Help() override;
  QtHelpViewer& HelpView() { return *help_; }

  // Answers file choices in place of the file dialog when set (tests).
  std::function<std::optional<std::string>(const FileChoice&)> fileChooserForTests;

  // The library the Library window and the composers show, told of every dump the window logic
  // fetches and sends; without one, the default library file is opened for the windows when first
  // needed.
  void SetLibrary(LibraryConnection* library);
  LibraryConnection& Library();
  // The Library window (Ctrl+L, or "Library..." on the Program and Mix pages), made on first use.
  LibraryWindow* ShowLibrary();
  // A new "Compose Bank" window for a bank of kind.
  ComposeBankWindow* ComposeBank(const DumpKind& kind);
  // Whether window is this window's Library window or one of its composers.
  bool IsOwnWindow(const QWidget* window) const;

 signals:
  // The window state was redrawn: the lock may have changed.
  void FormStateChanged();
  // The status bar shows text.
  void StatusShown(const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // A new composer beside the Library window, whole on its screen.
  void PlaceComposer(QWidget* composer);
  QWidget* BuildAboutPage();
  QWidget* BuildSetupPage();
  QWidget* BuildGlobalPage();
  QWidget* BuildProgramPage();
  QWidget* BuildMixPage();
  QPushButton* Button(QWidget* page, const char* name, const QString& caption, int column, int row,
                      int width = 137);
  void PlaceButton(QPushButton* button, int width, int row);
  void EvenOutButtons(QWidget* page);
  QWidget* Page(const char* name);
  static void Separator(QWidget* page);
  // "Library..." and "Compose Bank..." below the bank rows; they open windows, so the lock
  // leaves them be.
  void LibraryButtons(QWidget* page, const char* library, const char* compose,
                      const QString& composeCaption, const DumpKind& kind);
  // A click on button runs the window operation click, as the top-level handler would.
  void Wire(QPushButton* button, void (TfrmMain::*click)());

  QTabWidget* Tabs = nullptr;
  QLabel* Stat = nullptr;
  QComboBox* cbxIn = nullptr;
  QComboBox* cbxOut = nullptr;
  QSlider* tbSendDelay = nullptr;
  QLabel* lblSendDelay = nullptr;
  QSpinBox* spCount = nullptr;
  QSpinBox* spSize = nullptr;
  QPushButton* btnCheck = nullptr;
  QList<QPushButton*> buttons_;
  QPointer<QtProgressWindow> progress_;

  QString appFolder_;
  LibraryConnection* library_ = nullptr;
  std::unique_ptr<LibraryConnection> ownLibrary_;
  std::unique_ptr<LibraryWindow> libraryWindow_;
  QList<QPointer<ComposeBankWindow>> composers_;
  std::unique_ptr<QtHelpViewer> help_;
  QSocketNotifier* notifier_ = nullptr;
  MidiDispatcher& dispatcher_;
  std::unique_ptr<TfrmMain> form_;
  bool redrawing_ = false;
  bool waitCursor_ = false;  // the busy cursor this window set
  bool closed_ = false;
};

}  // namespace quorle
