#include "loader.h"

#include <dlfcn.h>
#include <link.h>

namespace pargo_test {

shared_library::shared_library(const char* name) {
  handle_ = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error_ = why != nullptr ? why : "dlopen failed";
  }
}

shared_library::~shared_library() {
  if (handle_ != nullptr) dlclose(handle_);
}

any_function shared_library::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<any_function>(dlsym(handle_, name));
}

std::string shared_library::file_name() const {
  link_map* map = nullptr;
  // dlinfo answers 0 on success.
  if (handle_ == nullptr || dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return {};
  return map->l_name != nullptr ? map->l_name : "";
}

}  // namespace pargo_test
