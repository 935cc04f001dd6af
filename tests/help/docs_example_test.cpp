// The instrument description example of docs/instrument-files.md, loaded through the
// catalogue: the entries it yields must be those the table under it shows, in every
// encoding the document offers, so the document cannot promise what the program
// does not do.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"

namespace {

std::string ReadDocument() {
  std::ifstream in(KV4T_INSTRUMENT_DOC, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The body of the fenced block that opens with "```xml example".
std::string ExampleXml(const std::string& doc) {
  const std::string open = "```xml example\n";
  const size_t start = doc.find(open);
  if (start == std::string::npos) return {};
  const size_t body = start + open.size();
  const size_t end = doc.find("\n```", body);
  return end == std::string::npos ? std::string() : doc.substr(body, end + 1 - body);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) {
    const size_t first = part.find_first_not_of(' ');
    const size_t last = part.find_last_not_of(' ');
    parts.push_back(first == std::string::npos ? std::string() : part.substr(first, last - first + 1));
  }
  return parts;
}

// The rows of the Markdown table whose header row begins "| name | version |", each
// as its cells.
std::vector<std::vector<std::string>> EntryTable(const std::string& doc) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(doc);
  std::string line;
  bool inTable = false;
  while (std::getline(in, line)) {
    if (line.rfind("| name | version |", 0) == 0) {
      inTable = true;
      continue;
    }
    if (!inTable) continue;
    if (line.empty() || line[0] != '|') break;
    if (line.rfind("|---", 0) == 0) continue;
    std::vector<std::string> cells = Split(line.substr(1, line.size() - 2), '|');
    rows.push_back(cells);
  }
  return rows;
}

std::string List(const std::vector<int32_t>& values) {
  std::string text;
  for (int32_t v : values) text += (text.empty() ? "" : ",") + std::to_string(v);
  return text;
}

// An entry as the table writes it, Windows-1251 description turned back into UTF-8.
std::vector<std::string> AsRow(const DeviceDescription& d) {
  return {d.name,
          d.version,
          Cp1251ToUtf8(d.description),
          List(d.validbauds),
          std::to_string(d.defbaud),
          std::to_string(d.defbytesize),
          std::to_string(d.defparity),
          std::to_string(d.defstopbits),
          std::to_string(d.pollmin),
          std::to_string(d.pollmax),
          List(d.minpolls),
          std::to_string(d.flags)};
}

std::vector<std::vector<std::string>> Load(const std::string& bytes) {
  InstrumentCatalogue catalogue;
  catalogue.LoadText(bytes);
  std::vector<std::vector<std::string>> rows;
  for (const auto& entry : catalogue.entries()) rows.push_back(AsRow(*entry));
  return rows;
}

// The UTF-8 text in an 8-bit code page (every character of the example has a byte
// there), with the declaration naming that code page.
std::string Recode(const std::string& utf8, TextEncoding encoding, const std::string& name) {
  std::string bytes;
  for (char32_t c : Utf8ToWide(utf8)) {
    if (c < 0x80) {
      bytes += static_cast<char>(c);
      continue;
    }
    bool found = false;
    for (int b = 0x80; b < 0x100 && !found; ++b) {
      if (ByteToChar(static_cast<unsigned char>(b), encoding) == c) {
        bytes += static_cast<char>(b);
        found = true;
      }
    }
    EXPECT_TRUE(found) << "U+" << std::hex << static_cast<unsigned>(c) << " has no byte in " << name;
  }
  const std::string declared = "encoding=\"UTF-8\"";
  const size_t at = bytes.find(declared);
  if (at != std::string::npos) bytes.replace(at, declared.size(), "encoding=\"" + name + "\"");
  return bytes;
}

class DocsExample : public ::testing::Test {
 protected:
  void SetUp() override {
    doc_ = ReadDocument();
    ASSERT_FALSE(doc_.empty()) << "cannot read " << KV4T_INSTRUMENT_DOC;
    xml_ = ExampleXml(doc_);
    ASSERT_FALSE(xml_.empty()) << "no ```xml example block";
    table_ = EntryTable(doc_);
    ASSERT_FALSE(table_.empty()) << "no table of entries";
  }
  std::string doc_, xml_;
  std::vector<std::vector<std::string>> table_;
};

TEST_F(DocsExample, YieldsTheEntriesOfItsTable) { EXPECT_EQ(Load(xml_), table_); }

// The encodings the document lists, and a byte order mark, which wins over the
// declaration.
TEST_F(DocsExample, ReadsAlikeInEveryDocumentedEncoding) {
  const struct {
    TextEncoding encoding;
    const char* name;
  } kEncodings[] = {{TextEncoding::Cp1251, "CP1251"}, {TextEncoding::Cp866, "CP866"},
                    {TextEncoding::Koi8r, "KOI8-R"}, {TextEncoding::Cp866, "cp866"}};
  for (const auto& e : kEncodings) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(Load(Recode(xml_, e.encoding, e.name)), table_);
  }
  std::string marked = "\xEF\xBB\xBF" + xml_;
  const size_t at = marked.find("UTF-8");
  marked.replace(at, 5, "CP866");
  EXPECT_EQ(Load(marked), table_);
}

// What the document warns of: a comment is not understood, and the element it
// stands in yields nothing; complete elements before it keep their entries.
TEST_F(DocsExample, ACommentLosesTheElementItStandsIn) {
  std::string commented = xml_;
  const size_t device = commented.find("  <device");
  ASSERT_NE(device, std::string::npos);
  commented.insert(device, "  <!-- pressure sensors -->\n");
  EXPECT_TRUE(Load(commented).empty());

  const size_t end = xml_.find("</KV4T>");
  ASSERT_NE(end, std::string::npos);
  const std::string twice = xml_ + "<KV4T>\n<!-- more -->\n" +
                            "<device name=\"X\" description=\"x\"><version name=\"X1\" description=\"x1\"/>"
                            "</device>\n</KV4T>\n";
  EXPECT_EQ(Load(twice), table_);
}

}  // namespace
