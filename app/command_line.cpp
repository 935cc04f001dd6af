#include "app/command_line.h"

#include <cstdint>
#include <string>

#include "pargo/pargo.h"
#include "settings/converter_settings.h"

namespace {

// An integer or a switch without value under `key`.
bool LookupInt(int key, int& value) { return PRGO_LookupArgInt(key, &value) == 1; }

bool Present(int key) {
  int ignored = 0;
  return LookupInt(key, ignored);
}

// The text under `key`, given back to the library at once. False when the key is
// absent, and when the library ran out of memory for the text.
bool LookupText(int key, std::string& text) {
  char* buffer = nullptr;
  if (PRGO_LookupArgString(key, &buffer) != 1 || !buffer) return false;
  text = buffer;
  PRGO_FreeString(buffer);
  return true;
}

// The link settings the command line may preset, in the order they are looked up.
struct LinkKey {
  int key;
  int32_t PortSettings::*field;  // null: the port, "COM" and the number
};

constexpr LinkKey kLinkKeys[] = {
    {PRGO_KEY_PORT, nullptr},
    {PRGO_KEY_BPS, &PortSettings::baud},
    {PRGO_KEY_PRTY, &PortSettings::parity},
    {PRGO_KEY_LEN, &PortSettings::bytesize},
    {PRGO_KEY_SBIT, &PortSettings::stopbits},
    {PRGO_KEY_ALEN, &PortSettings::alen},
    {PRGO_KEY_ADDR, &PortSettings::address},
    {PRGO_KEY_RS485, &PortSettings::adaptor},
};

void OpenEvent(int key, EventHandle& event) {
  std::string name;
  if (!LookupText(key, name) || name.empty()) return;
  CloseNamedEvent(event);
  event = OpenNamedEvent(name);
}

}  // namespace

CommandLineOptions::~CommandLineOptions() {
  CloseNamedEvent(exitEvent);
  CloseNamedEvent(confirmEvent);
}

void ApplyLinkSettings(ConverterSettings& device) {
  PortSettings& link = device.LinkSet();
  for (const LinkKey& k : kLinkKeys) {
    int value = 0;
    if (!LookupInt(k.key, value) || value < 0) continue;
    if (k.field)
      link.*k.field = value;
    else
      link.port = "COM" + std::to_string(value);
  }
}

void ApplyCommandLine(ConverterSettings* device, CommandLineOptions& options) {
  std::string file;
  const bool fileGiven = LookupText(PRGO_KEY_POSITIONAL, file);
  if (fileGiven) options.filePath = file;
  if (device) ApplyLinkSettings(*device);

  LookupInt(PRGO_KEY_X, options.x);
  LookupInt(PRGO_KEY_Y, options.y);
  LookupInt(PRGO_KEY_W, options.w);
  LookupInt(PRGO_KEY_H, options.h);

  OpenEvent(PRGO_KEY_EXITEVENT, options.exitEvent);
  OpenEvent(PRGO_KEY_CONFIRMEVENT, options.confirmEvent);

  if (Present(PRGO_KEY_CLOSE)) options.flags |= CommandLineOptions::kClose;
  const bool read = Present(PRGO_KEY_READ);
  const bool write = Present(PRGO_KEY_WRITE);
  if (read)
    options.operation = CommandLineOptions::kOperationRead;
  else if (write)
    options.operation = CommandLineOptions::kOperationWrite;
  const bool newNetParam = Present(PRGO_KEY_NEWNETPARAM);
  if (newNetParam) options.flags |= CommandLineOptions::kNewNetParam;
  const bool aply = Present(PRGO_KEY_APLY);
  if (aply) options.flags |= CommandLineOptions::kAply;

  if (!device && (read || write || newNetParam || aply)) return;
  if (Present(PRGO_KEY_SILENT)) options.flags |= CommandLineOptions::kSilent;
  if (fileGiven) options.flags |= CommandLineOptions::kFileMode;
}
