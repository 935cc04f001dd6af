// The platform side of the catalogue: the description files in a folder
// (catalogue_win32.cpp, catalogue_posix.cpp). Each file is read whole through
// store/files.h.
#pragma once

#include <filesystem>
#include <vector>

// Full paths of the files (not folders) in folder whose names end in ".xml" (any
// case), in the order the listing gives them; empty when the folder cannot be read.
std::vector<std::filesystem::path> ListDescriptionFiles(const std::filesystem::path& folder);

