// Start-up of the catalogue. Kept apart from the catalogue itself because it ties
// the catalogue to the configuration objects: the factory that creates a
// ConverterDevice for "kv4t_device" is registered here, before the tree is loaded.
#include "store/catalogue.h"
#include "store/config_object.h"
#include "store/converter_device.h"

namespace {

ConfigObject* CreateObject(const std::string& type) {
  if (type == "kv4t_device") return new ConverterDevice();
  return nullptr;
}

void DestroyObject(ConfigObject* object) { delete object; }

}  // namespace

void LoadCatalogue(const std::filesystem::path& folder) {
  RegisterObjectFactory(&CreateObject, &DestroyObject);
  InstrumentCatalogue& catalogue = Catalogue();
  catalogue.LoadFolder(folder);
  catalogue.AddBuiltInWhenEmpty();
}

void LoadCatalogue() { LoadCatalogue(ProgramFolder()); }
