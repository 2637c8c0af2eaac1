// A set of texts that answers one question, "is this one new?", in constant time on
// average. Open addressing over indices into the stored texts: far less code in the
// stub than the library's tree or hash containers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class NameSet {
 public:
  // True when name was not in the set; it is in the set afterwards.
  bool Insert(const std::string& name);
  size_t Size() const { return names_.size(); }

 private:
  static uint32_t Hash(const std::string& name);
  void Grow();

  std::vector<std::string> names_;
  std::vector<uint32_t> slots_;  // index + 1 into names_; 0 = empty
};
