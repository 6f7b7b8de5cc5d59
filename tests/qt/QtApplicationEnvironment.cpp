// One QApplication for the whole test program, on the offscreen platform unless the caller chose
// another (xvfb-run, say), with a runtime folder of its own so Qt does not make a shared one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <memory>
#include <string>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorle-qt-XDG-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    runtime_ = pattern;
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime_));
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override {
    app_.reset();
    std::error_code ec;
    std::filesystem::remove_all(runtime_, ec);
  }

 private:
  int argc_ = 1;
  char name_[9] = "tests_qt";
  char* argv_[2] = {name_, nullptr};
  std::string runtime_;
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
