// Loading a catalogue of 1000 description files (about 5 MB) from a folder, and the
// XML reader's throughput on the same text beside tinyxml2 and pugixml.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/xml.h"
#include "common/code_pages.h"

#ifdef KV4T_BENCH_TINYXML2
#include <tinyxml2.h>
#endif
#ifdef KV4T_BENCH_PUGIXML
#include <pugixml.hpp>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 1000;

// One description file of about 5 KB: a few instruments with several versions
// each, Cyrillic descriptions in UTF-8 or Windows-1251.
std::string MakeFile(int index, std::mt19937& rng) {
  const bool utf8 = index % 2 == 0;
  auto text = [&](const std::string& s) { return utf8 ? s : Utf8ToCp1251(s); };
  std::string out = std::string("<?xml version=\"1.0\" encoding=\"") + (utf8 ? "UTF-8" : "CP1251") + "\"?>\n<KV4T>\n";
  static const char* const kBauds[] = {"1200,2400,4800,9600", "2400,4800,9600,19200", "9600,19200,38400,57600,115200"};
  for (int d = 0; d < 4; ++d) {
    out += "  <device name=\"ZR-" + std::to_string(index * 4 + d) + "\" description=\"" +
           text("Регулятор температуры, серия ") + std::to_string(d) + "\"\n    validbauds=\"" +
           kBauds[rng() % 3] + "\" defbaud=\"0\" defbytesize=\"8\" defparity=\"" + std::to_string(rng() % 3) +
           "\" defstopbits=\"2\" pollmin=\"1\" pollmax=\"1000\" flags=\"15\">\n";
    for (int v = 0; v < 6; ++v) {
      out += "    <version name=\"V" + std::to_string(v) + "A" + std::to_string(rng() % 100) + "\" description=\"" +
             text("Исполнение ") + std::to_string(v) + text(", прошивка &quot;ZR") + std::to_string(v) +
             ".HEX&quot; &amp; " + text("опрос от двух до восьми") + "\"\n      minpolls=\"8,4,2,1\" flags=\"" +
             std::to_string(rng() % 16) + "\" />\n";
    }
    out += "  </device>\n";
  }
  out += "</KV4T>\n";
  return out;
}

struct Corpus {
  fs::path folder;
  std::vector<std::string> files;
  size_t bytes = 0;

  Corpus() {
    folder = fs::temp_directory_path() / ("kv4t_bench_catalogue_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::mt19937 rng(4);
    for (int i = 0; i < kFiles; ++i) {
      files.push_back(MakeFile(i, rng));
      bytes += files.back().size();
      char name[32];
      std::snprintf(name, sizeof name, "instruments_%04d.xml", i);
      std::ofstream(folder / name, std::ios::binary) << files.back();
    }
  }
  ~Corpus() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

Corpus& TheCorpus() {
  static Corpus corpus;
  return corpus;
}

void BM_LoadCatalogueFolder(benchmark::State& state) {
  Corpus& corpus = TheCorpus();
  size_t entries = 0;
  for (auto _ : state) {
    InstrumentCatalogue catalogue;
    catalogue.LoadFolder(corpus.folder);
    entries = catalogue.size();
    benchmark::DoNotOptimize(entries);
  }
  state.counters["files"] = kFiles;
  state.counters["MB"] = static_cast<double>(corpus.bytes) / 1e6;
  state.counters["entries"] = static_cast<double>(entries);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(corpus.bytes));
}
BENCHMARK(BM_LoadCatalogueFolder)->Unit(benchmark::kMillisecond);

size_t ParseAll(const std::wstring& text) {
  XmlNode node;
  XmlParseInfo info;
  info.trimValues = info.decodeEntities = true;
  const wchar_t* pos = text.data();
  const wchar_t* end = pos + text.size();
  size_t elements = 0;
  bool first = true;
  while (pos != end) {
    const wchar_t* next = ParseElement(node, pos, end, info, first);
    if (!next || info.errorOccurred) break;
    elements += node.children.size() + 1;
    pos = next;
    first = false;
  }
  return elements;
}

// The reader alone, on the wide text the loader hands it.
void BM_Xml_kv4t(benchmark::State& state) {
  Corpus& corpus = TheCorpus();
  std::vector<std::wstring> wide;
  for (const auto& f : corpus.files) wide.push_back(Cp1251ToWide(f));
  for (auto _ : state)
    for (const auto& w : wide) benchmark::DoNotOptimize(ParseAll(w));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(corpus.bytes));
}
BENCHMARK(BM_Xml_kv4t)->Unit(benchmark::kMillisecond);

// The reader with the conversion of the bytes to wide text, as the loader runs it.
void BM_Xml_kv4t_from_bytes(benchmark::State& state) {
  Corpus& corpus = TheCorpus();
  for (auto _ : state)
    for (const auto& f : corpus.files) benchmark::DoNotOptimize(ParseAll(Cp1251ToWide(f)));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(corpus.bytes));
}
BENCHMARK(BM_Xml_kv4t_from_bytes)->Unit(benchmark::kMillisecond);

#ifdef KV4T_BENCH_TINYXML2
void BM_Xml_tinyxml2(benchmark::State& state) {
  Corpus& corpus = TheCorpus();
  for (auto _ : state) {
    for (const auto& f : corpus.files) {
      tinyxml2::XMLDocument doc;
      doc.Parse(f.data(), f.size());
      benchmark::DoNotOptimize(doc.ErrorID());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(corpus.bytes));
}
BENCHMARK(BM_Xml_tinyxml2)->Unit(benchmark::kMillisecond);
#endif

#ifdef KV4T_BENCH_PUGIXML
void BM_Xml_pugixml(benchmark::State& state) {
  Corpus& corpus = TheCorpus();
  for (auto _ : state) {
    for (const auto& f : corpus.files) {
      pugi::xml_document doc;
      const pugi::xml_parse_result r = doc.load_buffer(f.data(), f.size());
      benchmark::DoNotOptimize(r.status);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(corpus.bytes));
}
BENCHMARK(BM_Xml_pugixml)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
