#pragma once

#include <functional>
#include <string>

#include "help/THelpTrace.h"

namespace quorle {

class HelpViewer;

// The help hook: takes the help calls of the program and shows context topics in the viewer.
// One instance, owned by the main window from the start of its start-up to its close.
class THookHelpSystem {
 public:
  // The commands a help call carries; any other is left to the default handling.
  static constexpr unsigned kShowContext = 1;
  static constexpr unsigned kShowContextPopup = 8;
  static constexpr unsigned kSetPopupPosition = 13;

  struct Point {
    int x = 0, y = 0;
  };
  // What a help call carries: a context number, or a screen point for kSetPopupPosition.
  struct Data {
    int context = 0;
    Point point;
  };

  static constexpr const char* kNotInstalled = "Quorle Help is not installed on this PC.";

  // viewer may be null (a program without a help window); warn shows a warning box with OK.
  THookHelpSystem(std::string helpFile, std::string windowDefinition, int hostType,
                  HelpViewer* viewer, std::function<void(const std::string&)> warn,
                  THelpTrace trace);
  // Closes every help window the program opened.
  ~THookHelpSystem();
  THookHelpSystem(const THookHelpSystem&) = delete;
  THookHelpSystem& operator=(const THookHelpSystem&) = delete;

  // Answers whether the default help handling should still run.
  bool HelpHandler(unsigned command, const Data& data);

  const std::string& HelpFile() const { return helpFile_; }
  int HostType() const { return hostType_; }
  Point PopupPosition() const { return popupPosition_; }
  const THelpTrace& Trace() const { return trace_; }

 private:
  bool ShowContext(int context);

  std::string helpFile_;
  std::string windowDefinition_;
  int hostType_;
  HelpViewer* viewer_;
  std::function<void(const std::string&)> warn_;
  THelpTrace trace_;
  Point popupPosition_;
};

}  // namespace quorle
