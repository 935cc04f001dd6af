// Whole-file operations, one implementation per platform (files_win32.cpp,
// files_posix.cpp): the settings store file, the converter configuration file and
// the instrument description files are each read whole and written only by
// replacing the old file with a completely written new one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
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
// is removed and `path` is left as it was; false.
bool WriteFileReplacing(const std::filesystem::path& path, const void* data, size_t size);

// A path given as Windows-1251 text (a command-line argument).
std::filesystem::path PathFromCp1251(std::string_view text);
