// Loading a shared library by name at run time, as a program that imports it
// does: dlopen natively (loader_posix.cpp), LoadLibraryW under Windows
// (loader_win32.cpp).
#pragma once

#include <string>

namespace pargo_test {

using any_function = void (*)();

class shared_library {
public:
  explicit shared_library(const char* name);
  ~shared_library();
  shared_library(const shared_library&) = delete;
  shared_library& operator=(const shared_library&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // What went wrong when the library did not load.
  const std::string& error() const { return error_; }
  // The exported function of that exact name, or null.
  any_function symbol(const char* name) const;
  // The file the library was loaded from.
  std::string file_name() const;

private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace pargo_test
