#include "dialogs/TfrmProgress.h"

#include <algorithm>

#include "app/FormHost.h"

namespace quorle {

TfrmProgress::~TfrmProgress() {
  if (visible_) host_.ProgressChanged(nullptr);
}

void TfrmProgress::Show() {
  visible_ = true;
  Changed();
}

void TfrmProgress::SetCaption(const std::string& caption) {
  caption_ = caption;
  Changed();
}

void TfrmProgress::SetPosition(int position) {
  position_ = std::clamp(position, 0, kMax);
  Changed();
}

void TfrmProgress::Changed() {
  if (visible_) host_.ProgressChanged(this);
}

}  // namespace quorle
