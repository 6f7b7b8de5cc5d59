#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/FormHost.h"

namespace quorle {

// The main window's host in the command line: each status text and each message box becomes a
// line of output, in the order the window would have shown them; error boxes go to err.
class CliHost : public FormHost {
 public:
  CliHost(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void StatusChanged(const std::string& text) override;
  void StateChanged() override {}
  void ShowMessage(MessageIcon icon, const std::string& text) override;

  // Message boxes shown so far, and how many of them were information boxes.
  const std::vector<std::string>& Messages() const { return messages_; }
  int InformationCount() const { return information_; }
  int ErrorCount() const { return errors_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::string> messages_;
  int information_ = 0;
  int errors_ = 0;
};

}  // namespace quorle
