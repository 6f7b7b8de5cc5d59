#pragma once

#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>
#include <memory>

#include "help/HelpViewer.h"

class QHelpEngineCore;

namespace quorle {

class QtHelpBrowser;

// The program's help window over the compiled help "quorle.qch". Topics are found by the keyword
// id that is their context number, and link to each other.
class QtHelpViewer : public HelpViewer {
 public:
  // The help file is looked for beside the program, then in ../share/quorle/; the window is a
  // window of its own that belongs to parent.
  QtHelpViewer(const QString& appFolder, QWidget* parent);
  ~QtHelpViewer() override;

  bool ShowTopic(const std::string& helpFile, int context) override;
  void CloseAll() override;

  // The help window; null until a topic has been shown.
  QWidget* Window() const { return window_; }
  // The address of the topic shown last.
  QUrl ShownTopic() const;

 private:
  bool OpenHelp(const QString& path);
  void LendToModalDialog();

  QString appFolder_;
  QPointer<QWidget> parent_;
  QString openFile_;
  // The help engine keeps its collection in a folder of its own for this run.
  std::unique_ptr<QTemporaryDir> collection_;
  std::unique_ptr<QHelpEngineCore> engine_;
  QPointer<QWidget> window_;
  QtHelpBrowser* browser_ = nullptr;
};

}  // namespace quorle
