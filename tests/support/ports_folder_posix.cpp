#include "tests/support/ports_folder.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace {

constexpr const char* kPortsVariable = "KV4T_PORTS_DIR";

std::filesystem::path NewFolderPath(const std::string& prefix) {
  static std::atomic<int> count{0};
  return std::filesystem::temp_directory_path() /
         (prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(++count));
}

}  // namespace

PortsFolder::PortsFolder(const std::string& prefix) : path_(NewFolderPath(prefix)) {
  std::filesystem::create_directories(path_);
  if (const char* old = std::getenv(kPortsVariable)) saved_ = old;
  setenv(kPortsVariable, path_.c_str(), 1);
}

PortsFolder::~PortsFolder() {
  if (saved_) setenv(kPortsVariable, saved_->c_str(), 1);
  else unsetenv(kPortsVariable);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path PortsFolder::PortPath(int number) const {
  return path_ / ("com" + std::to_string(number));
}

void PortsFolder::Link(const std::string& target, int number) const {
  std::filesystem::create_symlink(target, PortPath(number));
}

bool PortsFolder::StartSimulator(std::unique_ptr<kv4t::sim::Simulator>& simulator, int number,
                                 kv4t::sim::Options options, std::string* error) const {
  options.link_path = PortPath(number).string();
  simulator = std::make_unique<kv4t::sim::Simulator>(std::move(options));
  return simulator->start(error);
}
