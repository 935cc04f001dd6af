// A ports folder of a test's own: the folder in which "COMn" is the link comN, made
// $KV4T_PORTS_DIR while the object lives and put back as it was (set to its old
// value, or unset) when it goes; and the simulated converter started in process
// on one of its ports.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "sim/sim.h"

class PortsFolder {
 public:
  // A new folder in the system's temporary folder, its name the prefix, the
  // process id and a count (tests of several processes run side by side). It is
  // removed with its links when the object goes.
  explicit PortsFolder(const std::string& prefix);
  ~PortsFolder();
  PortsFolder(const PortsFolder&) = delete;
  PortsFolder& operator=(const PortsFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Where the link of COMn is.
  std::filesystem::path PortPath(int number) const;
  // Links target (a device, or any path) as COMn.
  void Link(const std::string& target, int number) const;
  // The simulated converter with these options, linked as COMn while it runs, in
  // simulator; false when it did not start (error, when given, says why), with
  // simulator holding it all the same.
  bool StartSimulator(std::unique_ptr<kv4t::sim::Simulator>& simulator, int number,
                      kv4t::sim::Options options = {}, std::string* error = nullptr) const;

 private:
  std::filesystem::path path_;
  std::optional<std::string> saved_;  // $KV4T_PORTS_DIR before, if it was set
};
