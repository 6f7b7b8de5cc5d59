#pragma once

#include <stdexcept>
#include <string>

namespace quorle {

class EmidioutputError : public std::runtime_error {
 public:
  explicit EmidioutputError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quorle
