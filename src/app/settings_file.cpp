#include "app/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "text/encoding.h"

namespace sucaigang {
namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length of the character at `i`: a GBK lead byte takes its trail byte along.
size_t UnitLength(std::string_view s, size_t i) {
  return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// ASCII letters match in either case; double-byte characters must match exactly (their trail
// bytes may look like ASCII letters).
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size();) {
    size_t n = UnitLength(a, i);
    if (n == 2) {
      if (a.substr(i, 2) != b.substr(i, 2)) return false;
    } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
      return false;
    }
    i += n;
  }
  return true;
}

size_t FindChar(std::string_view s, char c) {
  for (size_t i = 0; i < s.size(); i += UnitLength(s, i)) {
    if (s[i] == c) return i;
  }
  return std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

struct Line {
  size_t start;       // first byte
  size_t contentEnd;  // before CR LF / LF
  size_t end;         // after the line ending
};

std::vector<Line> SplitLines(std::string_view file) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < file.size()) {
    size_t newline = file.find('\n', start);
    size_t end = newline == std::string_view::npos ? file.size() : newline + 1;
    size_t contentEnd = newline == std::string_view::npos ? file.size() : newline;
    if (contentEnd > start && file[contentEnd - 1] == '\r') --contentEnd;
    lines.push_back({start, contentEnd, end});
    start = end;
  }
  return lines;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;
  std::string_view value;
};

ParsedLine ParseLine(std::string_view content) {
  std::string_view t = Trim(content);
  if (!t.empty() && t.front() == '[') {
    std::string_view inner = t.substr(1);
    size_t close = FindChar(inner, ']');
    return {LineKind::Section, Trim(inner.substr(0, close)), {}};
  }
  size_t equals = t.find('=');  // '=' is never a trail byte
  if (equals == std::string_view::npos) return {};
  return {LineKind::Key, Trim(t.substr(0, equals)), Trim(t.substr(equals + 1))};
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == '"' || value.front() == '\'')) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// A value read back unchanged by the reader above: no line break (the line would end there), and
// quoted when the reader would otherwise strip blanks or quotes from it.
std::string EncodeValue(std::string_view value) {
  value = value.substr(0, value.find_first_of("\r\n"));
  bool needsQuotes = Trim(value).size() != value.size() || Unquote(value).size() != value.size();
  return needsQuotes ? "\"" + std::string(value) + "\"" : std::string(value);
}

std::string_view CutToBuffer(std::string_view value) {
  const size_t room = kProfileBufferBytes - 1;
  if (value.size() <= room) return value;
  size_t i = 0;
  while (i < value.size() && i + UnitLength(value, i) <= room) i += UnitLength(value, i);
  return value.substr(0, i);
}

enum class ReadStatus { Read, Missing, Failed };

ReadStatus ReadWholeFile(const std::string& path, std::string& content) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return ReadStatus::Read;
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadStatus::Failed;
    }
    content.append(buffer, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The file holds a clear-text password: whatever we write is for the owner's eyes only. A new
// copy replaces the old one in one step, so a crash never leaves half a file.
bool ReplaceFile(const std::string& path, std::string_view content) {
  std::string temporary = path + ".XXXXXX";
  UniqueFd fd(mkstemp(temporary.data()));  // mode 0600
  if (fd.get() >= 0) {
    bool ok = WriteAll(fd.get(), content) && fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    if (ok && rename(temporary.c_str(), path.c_str()) == 0) return true;
    unlink(temporary.c_str());
  }
  // The folder may refuse new files while the file itself is writable: write it in place.
  UniqueFd direct(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (direct.get() < 0) return false;
  bool ok = fchmod(direct.get(), 0600) == 0;
  ok = WriteAll(direct.get(), content) && ok;
  return direct.Close() && ok;
}

}  // namespace

Text ReadProfileText(const std::string& path, std::string_view section, std::string_view key) {
  std::string file;
  if (ReadWholeFile(path, file) != ReadStatus::Read) return {};
  bool inSection = false;
  for (const Line& line : SplitLines(file)) {
    ParsedLine parsed =
        ParseLine(std::string_view(file).substr(line.start, line.contentEnd - line.start));
    if (parsed.kind == LineKind::Section) {
      if (inSection) return {};  // the first matching section decides
      inSection = SameName(parsed.name, section);
    } else if (inSection && parsed.kind == LineKind::Key && SameName(parsed.name, key)) {
      return Text(CutToBuffer(Unquote(parsed.value)));
    }
  }
  return {};
}

bool WriteProfileText(const std::string& path, std::string_view section, std::string_view key,
                      const Text& value) {
  std::string file;
  if (ReadWholeFile(path, file) == ReadStatus::Failed) return false;  // never lose what is there
  const std::string entry = std::string(key) + "=" + EncodeValue(UntilZero(value));
  const std::vector<Line> lines = SplitLines(file);

  size_t sectionLine = lines.size();
  for (size_t i = 0; i < lines.size() && sectionLine == lines.size(); ++i) {
    ParsedLine parsed = ParseLine(
        std::string_view(file).substr(lines[i].start, lines[i].contentEnd - lines[i].start));
    if (parsed.kind == LineKind::Section && SameName(parsed.name, section)) sectionLine = i;
  }

  std::string updated;
  if (sectionLine == lines.size()) {
    updated = file;
    if (!updated.empty() && updated.back() != '\n') updated += "\r\n";
    updated += "[" + std::string(section) + "]\r\n" + entry + "\r\n";
  } else {
    size_t lastFilled = sectionLine;
    size_t keyLine = lines.size();
    for (size_t i = sectionLine + 1; i < lines.size(); ++i) {
      std::string_view content =
          std::string_view(file).substr(lines[i].start, lines[i].contentEnd - lines[i].start);
      ParsedLine parsed = ParseLine(content);
      if (parsed.kind == LineKind::Section) break;
      if (parsed.kind == LineKind::Key && SameName(parsed.name, key)) {
        keyLine = i;
        break;
      }
      if (!Trim(content).empty()) lastFilled = i;
    }
    if (keyLine != lines.size()) {
      // Only the key's line changes; its line ending stays as it was.
      updated =
          file.substr(0, lines[keyLine].start) + entry + file.substr(lines[keyLine].contentEnd);
    } else {
      // A new key goes after the section's last non-blank line.
      const Line& after = lines[lastFilled];
      updated = file.substr(0, after.end);
      if (after.end == after.contentEnd) updated += "\r\n";
      updated += entry + "\r\n";
      updated += file.substr(after.end);
    }
  }
  return ReplaceFile(path, updated);
}

void RestoreCredentials(Window& window, const std::string& path) {
  window.SetText("编辑框_user", ReadProfileText(path, "conf", "user"));
  window.SetText("编辑框_pass", ReadProfileText(path, "conf", "pass"));
}

void SaveCredentials(Window& window, const std::string& path) {
  WriteProfileText(path, "conf", "user", window.GetText("编辑框_user"));
  WriteProfileText(path, "conf", "pass", window.GetText("编辑框_pass"));
}

}  // namespace sucaigang
