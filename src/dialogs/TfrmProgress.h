#pragma once

#include <string>

namespace quorle {

class FormHost;

// The modeless progress window of the long transfers: a caption and the bar pBank (0 to 127).
// The operation that creates it destroys it when it ends.
class TfrmProgress {
 public:
  static constexpr int kMax = 127;

  explicit TfrmProgress(FormHost& host) : host_(host) {}
  ~TfrmProgress();
  TfrmProgress(const TfrmProgress&) = delete;
  TfrmProgress& operator=(const TfrmProgress&) = delete;

  void Show();
  void SetCaption(const std::string& caption);
  void SetPosition(int position);

  const std::string& Caption() const { return caption_; }
  int Position() const { return position_; }
  bool Visible() const { return visible_; }

 private:
  void Changed();

  FormHost& host_;
  std::string caption_ = "Progress";
  int position_ = 0;
  bool visible_ = false;
};

}  // namespace quorle
