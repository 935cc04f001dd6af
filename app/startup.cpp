#include "app/startup.h"

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "common/program_strings.h"
#include "device/converter_device.h"
#include "link/serio.h"
#include "pages/notices.h"
#include "pargo/pargo.h"
#include "settings/config_object.h"

namespace {

// A new converter object keeps its construction values as its stored sets too, as
// a loaded one keeps what it loaded: the tree saved at exit then holds the
// defaults the window showed, not the empty records behind them (port "", address
// 0), which the next start would take for the user's settings.
void StoreDefaults(ConverterDevice& device) {
  device.StoredLinkSet() = device.LinkSet();
  device.StoredRs485Set() = device.Rs485Set();
  device.StoredLoopSet() = device.LoopSet();
}

}  // namespace

CCfgApp::CCfgApp(MainWindow& window) : window_(window) {}

CCfgApp::~CCfgApp() = default;

void CCfgApp::RegisterObjectTypes() { RegisterConverterDeviceFactory(); }

ConverterDevice* CCfgApp::FindDevice() const {
  ConverterDevice* device = nullptr;
  for (ConfigObject* child : root_->Children())
    if (child->type == ConverterDevice::kType)
      if (auto* found = dynamic_cast<ConverterDevice*>(child)) device = found;
  return device;
}

int CCfgApp::Run(std::wstring_view commandLine) {
  exitCode_ = 0;
  // Probed once per process; the computer-port page gets a copy of the list.
  std::vector<int> ports;
  list_serial_ports(ports);

  LoadCatalogue();
  RegisterObjectTypes();
  root_.reset(LoadTree(kConfigLocation));
  if (root_->Children().empty()) {
    auto device = std::make_unique<ConverterDevice>();
    StoreDefaults(*device);
    if (root_->AddChild(device.get())) device.release();
  }
  ConverterDevice* device = FindDevice();

  // Pargo takes 8-bit text; the file path and event names it hands back are
  // converted from Windows-1251 where they are used.
  const std::string line = WideToCp1251(commandLine);
  PRGO_SetArguments(line.c_str());
  ApplyCommandLine(device, options_);
  SetSilentState(options_.Silent());

  if (device) {
    if (options_.FileMode()) {
      // A file that cannot be read, or is not a configuration file, leaves the
      // settings as they are; it is written all the same at exit. What the
      // command line asks for of the link wins over what the file holds.
      device->LoadConfigFile(options_.filePath);
      ApplyLinkSettings(*device);
    }
    window_.Run(*device, options_);
    // Failures to save are not reported: the window is gone and the run is over.
    if (options_.FileMode())
      device->SaveConfigFile(options_.filePath);
    else
      SaveTree(root_.get(), kConfigLocation);
  } else if (!options_.Silent()) {
    UserNotices& notices = Notices();
    notices.ShowMessage(notices.MainWindow(), ProgramText(IDS_NO_DEVICE_OBJECT),
                        ProgramText(IDS_FATAL_CAPTION), kNoticeIconError);
  }
  ClearCatalogue();
  root_.reset();
  return exitCode_;
}
