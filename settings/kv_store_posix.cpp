// On hosts without a registry the settings live in the file store: the file
// $KV4T_STORE_FILE, else ~/.config/kv4t/registry.reg.
#include <cstdlib>
#include <filesystem>

#include "settings/file_store.h"

KvStore& DefaultKvStore() {
  static FileStore store([] {
    if (const char* file = std::getenv("KV4T_STORE_FILE"); file && *file)
      return std::filesystem::path(file);
    const char* home = std::getenv("HOME");
    std::filesystem::path base = home && *home ? std::filesystem::path(home) : std::filesystem::path(".");
    return base / ".config" / "kv4t" / "registry.reg";
  }());
  return store;
}
