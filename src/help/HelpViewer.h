#pragma once

#include <string>

namespace quorle {

// What shows help topics: the toolkit's help window. Calls come on the main thread only.
class HelpViewer {
 public:
  virtual ~HelpViewer() = default;
  // Shows the topic of the context number from helpFile (a name without a folder); false when the
  // compiled help cannot be opened.
  virtual bool ShowTopic(const std::string& helpFile, int context) = 0;
  // Closes every help window this viewer opened.
  virtual void CloseAll() = 0;
};

}  // namespace quorle
