// Whole-file operations on Windows (W functions; paths are UTF-16).
#include <windows.h>

#include <string>

#include "store/codepage.h"
#include "store/files.h"

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
  std::wstring target = path.wstring();
  HANDLE file = INVALID_HANDLE_VALUE;
  std::wstring temp;
  for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(attempt) + L".tmp";
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

std::filesystem::path PathFromCp1251(std::string_view text) {
  return std::filesystem::path(Cp1251ToWide(text));
}
