// Whole-file operations, one implementation per platform (files_win32.cpp,
// files_posix.cpp): the settings store file, the converter configuration file and
// the instrument description files are each read whole and written only by
// replacing the old file with a completely written new one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

enum class FileReadStatus { kOk, kMissing, kCannotOpen, kTooLarge, kReadError };

// Reads the whole file (opened for reading and writing when `forUpdate`, else
// for reading with read sharing) into `data`. Only a regular file is read: a
// folder, or a named pipe in the file's place, is kCannotOpen and never waited
// on. Files larger than `maxBytes`, or growing beyond it while being read, are
// not read (kTooLarge).
FileReadStatus ReadWholeFile(const std::filesystem::path& path, bool forUpdate, size_t maxBytes,
                             std::vector<uint8_t>& data);

// Writes `size` bytes to a new temporary file beside `path`, makes them durable and
// then renames the temporary file over `path`. On any failure the temporary file
// is removed and `path` is left as it was; false. First the stale temporary files
// of `path` (below) are removed.
bool WriteFileReplacing(const std::filesystem::path& path, const void* data, size_t size);

// A save that is killed part-way leaves its temporary file beside the file it was
// replacing. Temporary files are named "<file name>.kv4t-<process id>-<n>.tmp", so
// that a later save of the same file can tell them from anything else in the folder
// and learn who wrote them. One is stale when its writer is gone (no such process,
// or a process started after the file was last written: the id was reused) and it
// has not been written for `grace`, which spares a writer whose process this host
// cannot see (a shared folder, another container).
constexpr std::chrono::seconds kStaleTempGrace{600};

// A fresh temporary file name for `path` (this process, its next attempt number),
// beside `path` in its folder; a save tries up to kTempFileAttempts of them.
std::filesystem::path NextTempFilePath(const std::filesystem::path& path);
constexpr unsigned kTempFileAttempts = 100;
// The temporary file name for `path` written by process `pid`, attempt `n`.
std::filesystem::path TempFilePath(const std::filesystem::path& path, uint32_t pid, uint32_t n);
// Whether `name` (a file name, no folder) is a temporary file name of the file
// named `target` (likewise); `pid` receives its writer's process id.
bool ParseTempFileName(const std::filesystem::path& target, const std::filesystem::path& name,
                       uint32_t& pid);
// False only when process `pid` is surely not the one that last wrote a file at
// `modified`: no such process exists, or it was started after that time.
bool WriterMayBeAlive(uint32_t pid, std::chrono::system_clock::time_point modified);
// Removes the stale temporary files of `path`; how many were removed. Files of
// other names, and files of this pattern whose writer may still be at work, are
// never touched.
size_t RemoveStaleTempFiles(const std::filesystem::path& path,
                            std::chrono::seconds grace = kStaleTempGrace);

// The platform's side (files_posix.cpp, files_win32.cpp): this process's id, and
// whether process `pid` exists (when unsure: true); `started` receives its start
// time where the platform tells it.
uint32_t CurrentProcessId();
bool ProcessExists(uint32_t pid, std::optional<std::chrono::system_clock::time_point>& started);

// A path given as Windows-1251 text (a command-line argument).
std::filesystem::path PathFromCp1251(std::string_view text);
