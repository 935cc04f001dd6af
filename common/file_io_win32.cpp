// Whole-file operations on Windows (W functions; paths are UTF-16).
#include <windows.h>

#include <string>

#include "common/code_pages.h"
#include "common/file_io.h"

namespace {

// 1970-01-01 in FILETIME units.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;

}  // namespace

FileReadStatus ReadWholeFile(const std::filesystem::path& path, bool forUpdate, size_t maxBytes,
                             std::vector<uint8_t>& data) {
  data.clear();
  DWORD access = GENERIC_READ | (forUpdate ? GENERIC_WRITE : 0);
  HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  // INVALID_HANDLE_VALUE, not null, on failure.
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? FileReadStatus::kMissing
               : FileReadStatus::kCannotOpen;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    return FileReadStatus::kReadError;
  }
  if (static_cast<uint64_t>(size.QuadPart) > maxBytes) {
    CloseHandle(file);
    return FileReadStatus::kTooLarge;
  }
  BYTE buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      CloseHandle(file);
      return FileReadStatus::kReadError;
    }
    if (got == 0) break;
    if (data.size() + got > maxBytes) {
      CloseHandle(file);
      return FileReadStatus::kTooLarge;
    }
    data.insert(data.end(), buffer, buffer + got);
  }
  CloseHandle(file);
  return FileReadStatus::kOk;
}

bool WriteFileReplacing(const std::filesystem::path& path, const void* data, size_t size) {
  RemoveStaleTempFiles(path);
  std::wstring target = path.wstring();
  HANDLE file = INVALID_HANDLE_VALUE;
  std::wstring temp;
  for (unsigned attempt = 0; attempt < kTempFileAttempts && file == INVALID_HANDLE_VALUE;
       ++attempt) {
    temp = NextTempFilePath(path).wstring();
    // No sharing: while it is being written nobody else can open or delete it.
    file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  const BYTE* p = static_cast<const BYTE*>(data);
  bool ok = true;
  while (ok && size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    ok = WriteFile(file, p, chunk, &written, nullptr) && written == chunk;
    p += written;
    size -= written;
  }
  ok = ok && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  if (ok && MoveFileExW(temp.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(temp.c_str());
  return false;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessExists(uint32_t pid, std::optional<std::chrono::system_clock::time_point>& started) {
  // OpenProcess fails with ERROR_INVALID_PARAMETER for an id no process has; any
  // other failure (access denied) means a process is there.
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
  bool exists = true;
  DWORD code = 0;
  FILETIME created, exited, kernel, user;
  // An ended process keeps its id while someone still holds a handle to it.
  if (GetExitCodeProcess(process, &code) && code != STILL_ACTIVE) {
    exists = false;
  } else if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
    // FILETIME: 100 ns units since 1601-01-01.
    const uint64_t units =
        (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    if (units >= kFileTimeUnixEpoch)
      started = std::chrono::system_clock::time_point(
          std::chrono::duration_cast<std::chrono::system_clock::duration>(
              std::chrono::microseconds((units - kFileTimeUnixEpoch) / 10)));
  }
  CloseHandle(process);
  return exists;
}

std::filesystem::path PathFromCp1251(std::string_view text) {
  return std::filesystem::path(Cp1251ToWide(text));
}
