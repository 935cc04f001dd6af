#include "pargo/lookup.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace pargo {
namespace {

// Read-only: a caller that writes into the empty text faults at once instead of
// corrupting what every other caller receives.
const char empty_text[1] = {'\0'};

const argument* find_first(const argument_list& list, int key, bool numeric_only) noexcept {
  if (key == key_unknown) return nullptr;
  for (const argument& arg : list.arguments()) {
    if (arg.key != key) continue;
    if (numeric_only && arg.type == value_string) continue;
    return &arg;
  }
  return nullptr;
}

char* copy_text(std::string_view text, allocate_fn allocate) noexcept {
  auto* buffer = static_cast<char*>(allocate(text.size() + 1));
  if (buffer == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return buffer;
}

char* decimal_text(int number, allocate_fn allocate) noexcept {
  char digits[16];
  auto result = std::to_chars(digits, digits + sizeof digits, number);
  return copy_text(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)), allocate);
}

char* value_text(const argument& arg, allocate_fn allocate) noexcept {
  switch (arg.type) {
    case value_integer:
    case value_on_off:
      return decimal_text(arg.number, allocate);
    case value_string:
      return copy_text(arg.text, allocate);
    default:
      return constant_empty_text();
  }
}

}  // namespace

void* allocate_text(std::size_t size) noexcept { return std::malloc(size); }

char* constant_empty_text() noexcept { return const_cast<char*>(empty_text); }

void free_text(char* text) noexcept {
  if (text == nullptr || text == empty_text) return;
  std::free(text);
}

int lookup_int(const argument_list& list, int key, int* value) noexcept {
  const argument* arg = find_first(list, key, true);
  if (arg == nullptr) return 0;
  if (value != nullptr) *value = arg->type == value_none ? 0 : arg->number;
  return 1;
}

int lookup_bool(const argument_list& list, int key, int* value) noexcept {
  const argument* arg = find_first(list, key, true);
  if (arg == nullptr) return 0;
  if (value != nullptr) *value = (arg->type != value_none && arg->number != 0) ? 1 : 0;
  return 1;
}

int lookup_string(const argument_list& list, int key, char** text, allocate_fn allocate) noexcept {
  if (text == nullptr) return 0;
  const argument* arg = find_first(list, key, false);
  if (arg == nullptr) return 0;
  *text = value_text(*arg, allocate);
  return 1;
}

int lookup_io(const argument_list& list, int* io, char** parameter, allocate_fn allocate) noexcept {
  if (parameter == nullptr) return 0;
  const argument* arg = find_first(list, key_io, false);
  if (arg == nullptr) return 0;
  if (io != nullptr) *io = arg->io;
  *parameter = value_text(*arg, allocate);
  return 1;
}

}  // namespace pargo
