// The instrument catalogue: which current-loop instruments exist, which versions of
// each, and which line settings and poll values each allows, read at start-up from
// the instrument description files ("*.xml") beside the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One instrument version. Texts are 8-bit Windows-1251.
struct DeviceDescription {
  std::string name;         // instrument model ("name" of the "device" element)
  std::string version;      // version name; (name, version) identifies the entry
  std::string description;  // shown to the user for this entry
  std::vector<int32_t> validbauds;
  std::vector<int32_t> minpolls;  // lowest poll value by position in validbauds
  int32_t pollmax = 1000;
  int32_t pollmin = 1;
  int32_t defbaud = 9600;
  int32_t defbytesize = 8;
  int32_t defparity = 0;
  int32_t defstopbits = 0;  // as stored in PortSettings: 0 one, 2 two
  int32_t flags = 0;        // DescriptionFlag bits: the line values the user may choose
};

// The bits of DeviceDescription::flags; a line value whose bit is clear keeps the
// instrument's default.
enum DescriptionFlag : int32_t {
  kChooseBaud = 1,
  kChooseByteSize = 2,
  kChooseParity = 4,
  kChooseStopBits = 8,
};

// Description files are a few kilobytes. A larger file than this is not one of them
// and is skipped unread: a hostile file must not make the reader build a tree of
// hundreds of megabytes.
constexpr std::size_t kMaxDescriptionFileBytes = 1024 * 1024;

// The entry used when no description file yields one: ZR-40, ZR40A12.
DeviceDescription BuiltInDescription();

// An ordered list of owned entries. Entries keep their address until Clear, so
// pages may hold pointers to them.
class InstrumentCatalogue {
 public:
  using Entries = std::vector<std::unique_ptr<DeviceDescription>>;

  // Reads every "*.xml" file of the folder, in name order (ASCII letters compared
  // without regard to case), appending their entries. Unreadable and malformed
  // files are skipped as far as they are unusable; nothing is reported.
  void LoadFolder(const std::filesystem::path& folder);
  // Reads one description file's bytes (the whole file) and appends its entries.
  void LoadText(std::string_view bytes);
  // Appends the built-in entry when the catalogue is empty.
  void AddBuiltInWhenEmpty();

  // The first entry whose name and version equal the given texts byte for byte.
  const DeviceDescription* Find(std::string_view name, std::string_view version) const;
  const Entries& entries() const { return entries_; }
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  // Destroys every entry, first to last.
  void Clear();

 private:
  Entries entries_;
  // (name, version) -> entry, for Find and for dropping later duplicates.
  std::unordered_map<std::string, const DeviceDescription*> index_;
  std::wstring scratch_;  // a file's wide text, kept between the files of a folder
};

// The process-wide catalogue: filled once at start-up, read-only afterwards.
InstrumentCatalogue& Catalogue();

// Start-up: reads the description files of the folder (the program's folder by
// default) and adds the built-in entry when none was read. The catalogue never ends
// up empty.
void LoadCatalogue();
void LoadCatalogue(const std::filesystem::path& folder);

// The first entry with this name and version, or nullptr.
const DeviceDescription* FindDescription(std::string_view name, std::string_view version);
bool HasDescription(std::string_view name, std::string_view version);

// The first catalogue entry; the built-in entry while the catalogue is empty (before
// LoadCatalogue or after ClearCatalogue), so callers always get an entry.
const DeviceDescription& FirstDescription();

// The line-setting defaults of the entry (name, version); false when there is none.
bool DescriptionDefaults(std::string_view name, std::string_view version, int32_t& defbaud,
                         int32_t& defbytesize, int32_t& defparity, int32_t& defstopbits);

// The lowest poll value allowed at the baud rate: the minpolls value at the position
// of baud in validbauds; pollmin when baud is not listed or minpolls has no
// non-negative value there.
int32_t PollIndexForBaud(const DeviceDescription& entry, int32_t baud);

// End of the run: destroys every entry.
void ClearCatalogue();
