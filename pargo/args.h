// The argument parser: the tokenizer, the keyword table and the per-keyword value
// rules that turn a command line into a list of keyed arguments.
//
// Parsing is linear in the length of the line whatever its bytes: every token is a
// view into one pool of characters (at most as long as the line), every argument
// a fixed-size record whose text is a view into that pool.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pargo {

// Value types of an argument.
enum value_type : int {
  value_none = 0,
  value_integer = 1,
  value_string = 2,
  value_on_off = 3,
};

// Kinds of I/O channel an "io" switch names.
enum io_kind : int {
  io_unknown = 0,
  io_stdio = 1,
  io_pipe = 2,
  io_socket = 3,
};

inline constexpr int key_unknown = 0;     // a switch whose keyword is not in the table
inline constexpr int key_positional = 1;  // a token that does not begin with '/'
inline constexpr int key_io = 34;

// One parsed token.
struct argument {
  int key = key_unknown;
  int type = value_none;
  int number = 0;             // integer and on/off values; 0 when none was given
  std::string_view text;      // string values; empty when none was given
  int io = io_unknown;        // "io" only
  bool value_missing = false; // the keyword takes a value but the token had none
};

struct keyword {
  std::string_view name;
  int type;
  int key;
};

// The fixed vocabulary, in the order it is searched.
std::span<const keyword> keyword_table();

// The entry for word compared without regard to case, or null.
const keyword* find_keyword(std::string_view word);

// Reads text as strtoul does with base 0 (leading blanks, an optional sign, 0x for
// hexadecimal, a leading 0 for octal, else decimal; reading stops at the first
// character that is not a digit of the base, no digit at all gives 0), on a 32-bit
// unsigned number: a value past 4294967295 is clamped to it, a minus sign negates
// modulo 2^32, and the result is the int with the same 32 bits (so 4294967295 and
// anything larger read as -1, "-5" reads as -5).
int read_number(std::string_view text);

// Splits line into tokens: space separates outside quotes (tabs are ordinary
// characters), '"' toggles quoting and is dropped, '\' keeps itself and takes the
// next character literally, '/' always starts a new token (inside quotes too), and
// a '\' at the very end is dropped. No token is empty. The views point into pool,
// which is replaced.
std::vector<std::string_view> tokenize(std::string_view line, std::string& pool);

// Parses one token; the argument's text is a view into token.
argument parse_token(std::string_view token);

// The library's state: the last command line, its tokens and their arguments.
class argument_list {
public:
  // The arguments view the list's own pool: a copy or a move would leave them
  // pointing into the old one.
  argument_list() = default;
  argument_list(const argument_list&) = delete;
  argument_list& operator=(const argument_list&) = delete;

  // Replaces everything with the parse of line. When memory runs out the list is
  // left empty and std::bad_alloc propagates.
  void parse(std::string_view line);

  // Forgets everything and gives the memory back.
  void reset() noexcept;

  const std::vector<argument>& arguments() const noexcept { return arguments_; }
  const std::vector<std::string_view>& tokens() const noexcept { return tokens_; }
  const std::string& line() const noexcept { return line_; }

private:
  std::string line_;
  std::string pool_;
  std::vector<std::string_view> tokens_;
  std::vector<argument> arguments_;
};

}  // namespace pargo
