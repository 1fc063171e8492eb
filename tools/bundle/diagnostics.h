// Build errors, collected as "file:line: message" and printed together so that one run shows every fault.
#pragma once
#include <string>
#include <vector>

struct Diagnostics {
  std::vector<std::string> errors;

  // line 0 means the message is about the whole file.
  void error(const std::string& file, int line, const std::string& message) {
    std::string where = line > 0 ? file + ":" + std::to_string(line) : file;
    errors.push_back(where + ": " + message);
  }
  bool failed() const { return !errors.empty(); }
};
