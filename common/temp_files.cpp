// The temporary files of WriteFileReplacing: their names, and the removal of those
// that killed saves left behind.
#include <atomic>
#include <string>
#include <system_error>
#include <type_traits>

#include "common/file_io.h"

namespace fs = std::filesystem;

namespace {

constexpr char kTempInfix[] = ".kv4t-";
constexpr char kTempSuffix[] = ".tmp";
// Attempt numbers of this process's temporary files.
std::atomic<uint32_t> g_tempCounter{0};
// Process start times and file times are compared with this much allowance: some
// systems tell a process's start only to the second.
constexpr std::chrono::seconds kClockSlack{2};
// A process id and an attempt number are 32-bit numbers: ten decimal digits at most.
constexpr size_t kMaxDigits = 10;

// The digits at the start of `text` as a number of at most 32 bits; false when
// there are none or too many, or the number does not fit.
bool TakeNumber(std::string_view& text, uint32_t& value) {
  size_t n = 0;
  uint64_t v = 0;
  while (n < text.size() && text[n] >= '0' && text[n] <= '9') {
    if (++n > kMaxDigits) return false;
    v = v * 10 + static_cast<uint64_t>(text[n - 1] - '0');
  }
  if (n == 0 || v > 0xFFFFFFFFu) return false;
  value = static_cast<uint32_t>(v);
  text.remove_prefix(n);
  return true;
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

}  // namespace

fs::path TempFilePath(const fs::path& path, uint32_t pid, uint32_t n) {
  fs::path temp = path;
  temp += kTempInfix + std::to_string(pid) + "-" + std::to_string(n) + kTempSuffix;
  return temp;
}

fs::path NextTempFilePath(const fs::path& path) {
  return TempFilePath(path, CurrentProcessId(), g_tempCounter.fetch_add(1));
}

bool ParseTempFileName(const fs::path& target, const fs::path& name, uint32_t& pid) {
  const fs::path::string_type& full = name.native();
  const fs::path::string_type& base = target.native();
  if (base.empty() || full.size() <= base.size() || full.compare(0, base.size(), base) != 0)
    return false;
  // What follows the target's name is ours only when it is plain ASCII.
  std::string rest;
  for (size_t i = base.size(); i < full.size(); ++i) {
    const auto c = static_cast<std::make_unsigned_t<fs::path::value_type>>(full[i]);
    if (c == 0 || c >= 0x80) return false;
    rest.push_back(static_cast<char>(c));
  }
  std::string_view text = rest;
  uint32_t writer = 0;
  uint32_t attempt = 0;
  if (!TakePrefix(text, kTempInfix) || !TakeNumber(text, writer) || !TakePrefix(text, "-") ||
      !TakeNumber(text, attempt) || text != kTempSuffix || writer == 0)
    return false;
  pid = writer;
  return true;
}

bool WriterMayBeAlive(uint32_t pid, std::chrono::system_clock::time_point modified) {
  std::optional<std::chrono::system_clock::time_point> started;
  if (!ProcessExists(pid, started)) return false;
  // A process that started after the file was last written has only got the id of
  // the writer, which is gone.
  return !(started && *started > modified + kClockSlack);
}

size_t RemoveStaleTempFiles(const fs::path& path, std::chrono::seconds grace) {
  const fs::path target = path.filename();
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return 0;
  size_t removed = 0;
  const auto now = fs::file_time_type::clock::now();
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    uint32_t pid = 0;
    if (!ParseTempFileName(target, it->path().filename(), pid)) continue;
    // Only regular files: a folder or a link of that name is not one of ours.
    std::error_code statEc;
    if (!it->is_regular_file(statEc) || it->is_symlink(statEc)) continue;
    const fs::file_time_type modified = it->last_write_time(statEc);
    if (statEc || now - modified < grace) continue;
    if (WriterMayBeAlive(pid, std::chrono::file_clock::to_sys(modified))) continue;
    if (fs::remove(it->path(), statEc)) ++removed;
  }
  return removed;
}
