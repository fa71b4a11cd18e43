#include "app/program_paths.h"

#include <unistd.h>

#include <vector>

namespace sucaigang {

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return ".";  // no /proc: fall back to the working folder
    if (static_cast<size_t>(length) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(length));
      return path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string SettingsFilePath() { return ProgramFolder() + "/pz.ini"; }

}  // namespace sucaigang
