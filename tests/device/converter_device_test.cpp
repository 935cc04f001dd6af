// The device object without a converter: what a new one holds beside its
// settings, and the object factory that start-up registers after the catalogue.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "device/converter_device.h"
#include "settings/config_object.h"

namespace {

namespace fs = std::filesystem;

TEST(ConverterDeviceObject, NewObjectHoldsItsChannelAndCodecsWithThePortClosed) {
  Catalogue().AddBuiltInWhenEmpty();
  ConverterDevice d;
  EXPECT_EQ(d.type, "kv4t_device");
  EXPECT_FALSE(d.connected);
  EXPECT_EQ(d.state, -1);
  ASSERT_TRUE(d.channel && d.ravik && d.modbusAscii && d.modbusRtu && d.modbusRequest);
  EXPECT_EQ(d.LinkSet().port, "COM1");
}

// Start-up with no description file: the built-in entry, and the factory makes a
// converter whose loop instrument comes from it.
TEST(ConverterDeviceFactory, StartUpMakesConvertersForTheTree) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path folder = fs::temp_directory_path() / ("kv4t-factory-" + std::to_string(stamp));
  fs::create_directories(folder);
  ClearCatalogue();
  LoadCatalogue(folder);
  RegisterConverterDeviceFactory();
  ASSERT_EQ(Catalogue().size(), 1u);

  ASSERT_NE(RegisteredObjectFactory().create, nullptr);
  EXPECT_EQ(FactoryCreate("object"), nullptr);
  ConfigObject* object = FactoryCreate("kv4t_device");
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->type, "kv4t_device");
  auto* device = dynamic_cast<ConverterDevice*>(object);
  ASSERT_NE(device, nullptr);
  const PortSettings builtIn = {.devtype = "ZR-40", .fwver = "ZR40A12", .baud = 9600,
                                .bytesize = 8, .parity = 0, .stopbits = 2, .delay = 1,
                                .changed = true};
  EXPECT_EQ(device->LoopSet(), builtIn);
  FactoryDestroy(object);

  RegisterObjectFactory(nullptr, nullptr);
  ClearCatalogue();
  std::error_code ec;
  fs::remove_all(folder, ec);
}

}  // namespace
