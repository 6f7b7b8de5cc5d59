#pragma once

#include <string>

namespace quorle {

enum class ModalResult { None, OK, Cancel };

// The logic of one modal dialog, created for one use. A view shows it, forwards what the user
// does to it and closes it with OK or Cancel; the caller then reads what it wrote back.
class Dialog {
 public:
  virtual ~Dialog() = default;
  std::string Caption;
};

}  // namespace quorle
