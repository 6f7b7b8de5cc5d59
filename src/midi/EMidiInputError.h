#pragma once

#include <stdexcept>
#include <string>

namespace quorle {

class EMidiInputError : public std::runtime_error {
 public:
  explicit EMidiInputError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quorle
