#include "pargo/args.h"

#include <cstdint>
#include <utility>

namespace pargo {
namespace {

char lower_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Keywords and words are ASCII: only ASCII letters are folded, so a Cyrillic
// byte of the command line never matches one by accident of a locale.
bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
  }
  return true;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

int word_code(int key, std::string_view word) {
  switch (key) {
    case 9:  // "prty"
      if (equals_ignoring_case(word, "even")) return 2;
      if (equals_ignoring_case(word, "odd")) return 1;
      return 0;
    case 12:  // "sbit"
      if (word == "1") return 0;
      if (word == "1.5") return 1;
      if (word == "2") return 2;
      return 0;
    case 14:  // "rs485"
      if (equals_ignoring_case(word, "on")) return 1;
      if (equals_ignoring_case(word, "off")) return 0;
      return -1;  // "auto" and anything unknown
    default:
      return read_number(word);
  }
}

// value is "kind[:parameter]".
void parse_io_value(std::string_view value, argument& arg) {
  std::string_view kind = value;
  std::string_view parameter;
  if (std::size_t colon = value.find(':'); colon != std::string_view::npos) {
    kind = value.substr(0, colon);
    parameter = value.substr(colon + 1);
  }
  if (equals_ignoring_case(kind, "stdio")) {
    arg.io = io_stdio;
    arg.type = value_none;
  } else if (equals_ignoring_case(kind, "pipe")) {
    arg.io = io_pipe;
    arg.type = value_string;
    arg.text = parameter;
    arg.value_missing = parameter.empty();
  } else if (equals_ignoring_case(kind, "socket")) {
    arg.io = io_socket;
    arg.type = value_integer;
    arg.number = parameter.empty() ? 0 : read_number(parameter);
    arg.value_missing = parameter.empty();
  } else {
    arg.io = io_unknown;
    arg.type = value_none;
  }
}

}  // namespace

namespace {

constexpr keyword keywords[] = {
      {"write", value_none, 3},
      {"read", value_none, 2},
      {"test", value_none, 4},
      {"newnetparam", value_none, 5},
      {"calibrate", value_none, 6},
      {"port", value_integer, 7},
      {"bps", value_integer, 8},
      {"prty", value_integer, 9},
      {"addr", value_integer, 10},
      {"len", value_integer, 11},
      {"sbit", value_integer, 12},
      {"alen", value_integer, 13},
      {"rs485", value_integer, 14},
      {"aply", value_none, 15},
      {"x", value_integer, 16},
      {"y", value_integer, 17},
      {"w", value_integer, 18},
      {"h", value_integer, 19},
      {"autoread", value_on_off, 20},
      {"autowrite", value_on_off, 21},
      {"silent", value_none, 22},
      {"close", value_none, 23},
      {"device", value_string, 24},
      {"devver", value_string, 25},
      {"at.off", value_integer, 26},
      {"at.on", value_integer, 27},
      {"amethod", value_string, 29},
      {"elof", value_string, 30},
      {"exitevent", value_string, 31},
      {"confirmevent", value_string, 32},
      {"uni", value_string, 33},
      {"io", value_string, key_io},
};

constexpr std::size_t longest_keyword = [] {
  std::size_t longest = 0;
  for (const keyword& k : keywords) longest = k.name.size() > longest ? k.name.size() : longest;
  return longest;
}();

}  // namespace

std::span<const keyword> keyword_table() { return keywords; }

const keyword* find_keyword(std::string_view word) {
  // A line of a million slashes asks this a million times: reject by length and
  // first letter before comparing whole words.
  if (word.empty() || word.size() > longest_keyword) return nullptr;
  const char first = lower_ascii(word.front());
  for (const keyword& k : keywords) {
    if (k.name.front() == first && equals_ignoring_case(word, k.name)) return &k;
  }
  return nullptr;
}

int read_number(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '0') {
    if (i + 2 < text.size() && lower_ascii(text[i + 1]) == 'x' && digit_value(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }
  constexpr std::uint64_t limit = 0xFFFFFFFFu;
  std::uint64_t value = 0;
  bool clamped = false;
  for (; i < text.size(); ++i) {
    int digit = digit_value(text[i]);
    if (digit >= base) break;
    if (!clamped) {
      value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
      if (value > limit) clamped = true;
    }
  }
  std::uint32_t bits = clamped ? static_cast<std::uint32_t>(limit) : static_cast<std::uint32_t>(value);
  if (negative && !clamped) bits = 0u - bits;
  return static_cast<int>(bits);  // the int with the same bits
}

std::vector<std::string_view> tokenize(std::string_view line, std::string& pool) {
  pool.clear();
  // Every character of the line adds at most one character to the pool, so the
  // pool never moves once reserved and the views into it stay valid.
  pool.reserve(line.size());
  // A token ends only at a space or a slash: their count bounds the tokens, and
  // reserving it up front spares the copies of a growing list (pages reserved
  // but never filled cost nothing).
  std::size_t separators = 0;
  for (char c : line) separators += (c == ' ' || c == '/') ? 1 : 0;
  std::vector<std::string_view> tokens;
  tokens.reserve(separators + 1);
  std::size_t start = 0;
  auto end_token = [&] {
    if (pool.size() > start) {
      tokens.emplace_back(pool.data() + start, pool.size() - start);
      start = pool.size();
    }
  };
  bool in_quotes = false;
  bool escape = false;
  for (char c : line) {
    if (escape) {
      pool += '\\';
      pool += c;
      escape = false;
    } else if (c == '\\') {
      escape = true;
    } else if (c == '"') {
      in_quotes = !in_quotes;
    } else if (c == ' ') {
      if (in_quotes) {
        pool += c;
      } else {
        end_token();
      }
    } else if (c == '/') {
      end_token();
      pool += c;
    } else {
      pool += c;
    }
  }
  end_token();
  return tokens;
}

argument parse_token(std::string_view token) {
  argument arg;
  if (token.empty() || token.front() != '/') {
    arg.key = key_positional;
    arg.type = value_string;
    arg.text = token;
    return arg;
  }
  std::string_view rest = token.substr(1);
  std::string_view word = rest;
  std::string_view value;
  if (std::size_t colon = rest.find(':'); colon != std::string_view::npos) {
    word = rest.substr(0, colon);
    value = rest.substr(colon + 1);
  }
  const keyword* k = find_keyword(word);
  if (k == nullptr) return arg;  // stays key 0 and is never found
  arg.key = k->key;
  arg.type = k->type;
  if (value.empty()) {
    arg.value_missing = arg.type != value_none;
    return arg;
  }
  if (arg.key == key_io) {
    parse_io_value(value, arg);
    return arg;
  }
  switch (arg.type) {
    case value_integer:
      arg.number = word_code(arg.key, value);
      break;
    case value_string:
      arg.text = value;
      break;
    case value_on_off:
      arg.number = equals_ignoring_case(value, "on") ? 1 : 0;
      break;
    default:  // a switch without value type ignores what follows its colon
      break;
  }
  return arg;
}

void argument_list::parse(std::string_view line) {
  reset();
  try {
    line_.assign(line);
    tokens_ = tokenize(line_, pool_);
    arguments_.reserve(tokens_.size());
    for (std::string_view token : tokens_) arguments_.push_back(parse_token(token));
  } catch (...) {
    reset();
    throw;
  }
}

void argument_list::reset() noexcept {
  std::vector<argument>().swap(arguments_);
  std::vector<std::string_view>().swap(tokens_);
  std::string().swap(pool_);
  std::string().swap(line_);
}

}  // namespace pargo
