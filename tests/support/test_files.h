#pragma once
// Small file helpers for tests.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace sucaigang::testing {

// Every byte of the file; empty when it cannot be read.
inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace sucaigang::testing
