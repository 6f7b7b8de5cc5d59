#pragma once

#include <optional>
#include <string>

#include "dialogs/Dialog.h"

namespace quorle {

class TfrmProgress;
class HelpViewer;

enum class MessageIcon { Information, Warning, Error };

// A save or open file dialog: default extension "syx", filter "SysEx files (*syx)|*.syx". The save
// dialog asks before overwriting; the open dialog takes only an existing file.
struct FileChoice {
  // NewFolder: a name for a folder that does not exist yet; Folder: an existing folder.
  enum class Mode { Save, Open, NewFolder, Folder } mode = Mode::Open;
  std::string folder;    // where it opens; empty: wherever the platform starts
  std::string fileName;  // proposed name (save)
};

// Everything the main window shows goes through here: the Qt window, the command line and the
// tests each implement it. Calls come on the main thread only.
class FormHost {
 public:
  virtual ~FormHost() = default;

  // The one-line status bar; each text replaces the last, an empty text clears it.
  virtual void StatusChanged(const std::string& text) = 0;
  // Something else the window shows changed (lock, Setup page, page shown): redraw from the state.
  virtual void StateChanged() = 0;
  // A modal message box with a single OK button; returns when it is closed.
  virtual void ShowMessage(MessageIcon icon, const std::string& text) = 0;

  // Shows a dialog modally and returns how it was closed. Received messages are still handled
  // meanwhile, as by any modal loop.
  virtual ModalResult ShowModal(Dialog& dialog) = 0;
  // The chosen file's full path, or nothing when cancelled.
  virtual std::optional<std::string> ChooseFile(const FileChoice& choice) = 0;
  // A question to be answered Yes or No before something is overwritten; true for Yes. A host
  // that cannot ask answers No.
  virtual bool Confirm(const std::string& text) {
    (void)text;
    return false;
  }
  // The modeless progress window appeared or changed (caption, bar); nullptr when it is gone.
  virtual void ProgressChanged(const TfrmProgress* progress) = 0;
  // The help window of this front end; none where help is not shown.
  virtual HelpViewer* Help() { return nullptr; }
};

}  // namespace quorle
