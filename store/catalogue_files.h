// The platform side of the catalogue: the program's folder, the description files
// in a folder, and reading one file whole (catalogue_win32.cpp, catalogue_posix.cpp).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// Full paths of the files (not folders) in folder whose names end in ".xml" (any
// case), in the order the listing gives them; empty when the folder cannot be read.
std::vector<std::filesystem::path> ListDescriptionFiles(const std::filesystem::path& folder);

// Reads the whole file, opened for reading with read sharing, into bytes. false when
// it cannot be opened or read, or is larger than maxBytes.
bool ReadDescriptionFile(const std::filesystem::path& file, std::string& bytes, std::size_t maxBytes);
