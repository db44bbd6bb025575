#pragma once
// One ordered record of what the fakes saw: camera calls and desktop events
// side by side, so a test can assert their order across both.
#include <string>
#include <vector>

struct EventLog {
  std::vector<std::string> lines;
  void Add(std::string line) { lines.push_back(std::move(line)); }
  void Clear() { lines.clear(); }
  // The lines that start with the prefix, in order.
  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& line : lines) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }
  // The last line that starts with the prefix, or "" when none does: what a
  // put property was left at.
  std::string Last(const std::string& prefix) const {
    const auto found = Starting(prefix);
    return found.empty() ? std::string() : found.back();
  }
};
