#pragma once

#include <set>

namespace quorle {

// The dump numbers of a bank reply that one fault hits. Assigning a number makes it the only one,
// so a single fault reads as a plain assignment; Add gathers several.
class SimDumpSet {
 public:
  SimDumpSet() = default;
  SimDumpSet& operator=(int k) {
    dumps_ = {k};
    return *this;
  }
  void Add(int k) { dumps_.insert(k); }
  bool Has(int k) const { return dumps_.count(k) > 0; }
  bool Empty() const { return dumps_.empty(); }
  bool operator==(const SimDumpSet&) const = default;

 private:
  std::set<int> dumps_;
};

}  // namespace quorle
