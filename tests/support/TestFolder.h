#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace quorle::testing {

// An empty folder of the running test's own under the temporary folder, named after the test and
// this process, so neither a test beside it nor a run from another checkout can share it.
inline std::filesystem::path FreshTestFolder(const std::string& tag) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("quorle-" + tag + "-" + info->test_suite_name() + "-" +
                                     info->name() + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace quorle::testing
