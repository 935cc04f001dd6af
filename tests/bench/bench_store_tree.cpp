// The settings store at start-up and exit: loading and saving the configurator's
// tree (root + converter object) through the file store, in memory and through a
// real file, and reading a configuration file's record.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "catalogue/catalogue.h"
#include "device/converter_device.h"
#include "settings/file_store.h"

namespace {

const char kLocation[] = "reg::SOFTWARE\\RAVIK\\KV4T-Config";

void Prepare() {
  RegisterConverterDeviceFactory();
  if (Catalogue().empty()) Catalogue().AddBuiltInWhenEmpty();
}

void SaveAndLoad(benchmark::State& state, FileStore& store) {
  Prepare();
  SetKvStore(&store);
  ConfigObject root;
  root.AddChild(new ConverterDevice());
  for (auto _ : state) {
    SaveTree(&root, kLocation);
    std::unique_ptr<ConfigObject> back(LoadTree(kLocation));
    benchmark::DoNotOptimize(back.get());
  }
  SetKvStore(nullptr);
}

void BM_TreeInMemory(benchmark::State& state) {
  FileStore store;
  SaveAndLoad(state, store);
}
BENCHMARK(BM_TreeInMemory);

void BM_TreeThroughFile(benchmark::State& state) {
  std::filesystem::path file = std::filesystem::temp_directory_path() / "kv4t-bench-store.reg";
  {
    FileStore store(file);
    SaveAndLoad(state, store);
  }
  std::filesystem::remove(file);
}
BENCHMARK(BM_TreeThroughFile)->Unit(benchmark::kMillisecond);

void BM_ConfigRecordLoad(benchmark::State& state) {
  Prepare();
  ConverterDevice source;
  source.description = std::string(200, 'x');
  Archive ar;
  ar.WriteString("KV4TCFG1");
  source.Serialize(ar);
  std::vector<uint8_t> data = ar.Data();
  ConverterDevice d;
  for (auto _ : state) benchmark::DoNotOptimize(d.LoadConfigData(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ConfigRecordLoad);

}  // namespace

BENCHMARK_MAIN();
