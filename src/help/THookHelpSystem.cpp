#include "help/THookHelpSystem.h"

#include "help/HelpViewer.h"

namespace quorle {

THookHelpSystem::THookHelpSystem(std::string helpFile, std::string windowDefinition, int hostType,
                                 HelpViewer* viewer, std::function<void(const std::string&)> warn,
                                 THelpTrace trace)
    : helpFile_(std::move(helpFile)),
      windowDefinition_(std::move(windowDefinition)),
      hostType_(hostType),
      viewer_(viewer),
      warn_(std::move(warn)),
      trace_(std::move(trace)) {}

THookHelpSystem::~THookHelpSystem() {
  if (viewer_) viewer_->CloseAll();
}

bool THookHelpSystem::HelpHandler(unsigned command, const Data& data) {
  const std::string call = "help call: command " + std::to_string(command);
  switch (command) {
    case kShowContext:
    case kShowContextPopup: {
      const bool shown = ShowContext(data.context);
      trace_.Line(call + ", context " + std::to_string(data.context) + ": " +
                  (shown ? "topic shown from " + helpFile_ : std::string(kNotInstalled)));
      if (!shown && warn_) warn_(kNotInstalled);
      return false;
    }
    case kSetPopupPosition:
      popupPosition_ = data.point;
      trace_.Line(call + ", popup position " + std::to_string(data.point.x) + "," +
                  std::to_string(data.point.y));
      return false;
    default:
      trace_.Line(call + ", left to the default handling");
      return true;
  }
}

bool THookHelpSystem::ShowContext(int context) {
  const std::string file =
      windowDefinition_.empty() ? helpFile_ : helpFile_ + ">" + windowDefinition_;
  return viewer_ && viewer_->ShowTopic(file, context);
}

}  // namespace quorle
