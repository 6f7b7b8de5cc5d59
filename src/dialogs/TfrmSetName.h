#pragma once

#include <string>

#include "dialogs/Dialog.h"

namespace quorle {

// The new name of a Program or Mix: "Rename", at most 16 characters.
class TfrmSetName : public Dialog {
 public:
  static constexpr std::size_t kMaxLength = 16;

  TfrmSetName() { Caption = "Rename"; }

  // The edit field refuses what goes beyond 16 characters.
  void SetName(const std::string& text) { eName = text.substr(0, kMaxLength); }
  void btnOKClick() {}

  std::string eName = "Program Name";
};

}  // namespace quorle
