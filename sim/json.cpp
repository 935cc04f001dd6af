#include "sim/json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kv4t::sim {
namespace {

constexpr int kMaxDepth = 32;

class Parser {
 public:
  explicit Parser(std::string_view t) : t_(t) {}

  bool parse(JsonValue& out, std::string* error) {
    ws();
    if (!value(out, 0)) return fail(error);
    ws();
    if (p_ != t_.size()) {
      err_ = "trailing characters";
      return fail(error);
    }
    return true;
  }

 private:
  bool fail(std::string* error) {
    if (error) *error = err_ + " at offset " + std::to_string(p_);
    return false;
  }
  void ws() {
    while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\t' || t_[p_] == '\n' || t_[p_] == '\r')) ++p_;
  }
  bool lit(std::string_view word) {
    if (t_.substr(p_, word.size()) != word) {
      err_ = "unexpected character";
      return false;
    }
    p_ += word.size();
    return true;
  }
  bool value(JsonValue& v, int depth) {
    if (depth > kMaxDepth) {
      err_ = "nesting too deep";
      return false;
    }
    if (p_ >= t_.size()) {
      err_ = "unexpected end";
      return false;
    }
    const char c = t_[p_];
    if (c == '{') return object(v, depth);
    if (c == '[') return array(v, depth);
    if (c == '"') {
      v.type = JsonValue::Type::string;
      return string(v.string);
    }
    if (c == 't') {
      v.type = JsonValue::Type::boolean;
      v.boolean = true;
      return lit("true");
    }
    if (c == 'f') {
      v.type = JsonValue::Type::boolean;
      v.boolean = false;
      return lit("false");
    }
    if (c == 'n') {
      v.type = JsonValue::Type::null;
      return lit("null");
    }
    return number(v);
  }
  bool number(JsonValue& v) {
    const std::size_t start = p_;
    if (p_ < t_.size() && t_[p_] == '-') ++p_;
    bool digits = false;
    while (p_ < t_.size() && ((t_[p_] >= '0' && t_[p_] <= '9') || t_[p_] == '.' || t_[p_] == 'e' ||
                              t_[p_] == 'E' || t_[p_] == '+' || t_[p_] == '-')) {
      digits = digits || (t_[p_] >= '0' && t_[p_] <= '9');
      ++p_;
    }
    if (!digits || p_ - start > 64) {
      err_ = "bad number";
      return false;
    }
    const std::string text(t_.substr(start, p_ - start));
    char* end = nullptr;
    v.number = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) {
      err_ = "bad number";
      return false;
    }
    v.type = JsonValue::Type::number;
    return true;
  }
  static int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  bool string(std::string& s) {
    ++p_;  // opening quote
    s.clear();
    while (p_ < t_.size()) {
      const char c = t_[p_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) {
        err_ = "control character in string";
        return false;
      }
      if (c != '\\') {
        s += c;
        continue;
      }
      if (p_ >= t_.size()) break;
      const char e = t_[p_++];
      switch (e) {
        case '"': s += '"'; break;
        case '\\': s += '\\'; break;
        case '/': s += '/'; break;
        case 'b': s += '\b'; break;
        case 'f': s += '\f'; break;
        case 'n': s += '\n'; break;
        case 'r': s += '\r'; break;
        case 't': s += '\t'; break;
        case 'u': {
          if (p_ + 4 > t_.size()) break;
          unsigned cp = 0;
          for (int i = 0; i < 4; ++i) {
            const int h = hex(t_[p_ + static_cast<std::size_t>(i)]);
            if (h < 0) {
              err_ = "bad escape";
              return false;
            }
            cp = cp * 16 + static_cast<unsigned>(h);
          }
          p_ += 4;
          // Texts of the converter are bytes: \u00XX stands for the byte XX.
          if (cp > 0xFF) {
            err_ = "escape outside one byte";
            return false;
          }
          s += static_cast<char>(cp);
          break;
        }
        default:
          err_ = "bad escape";
          return false;
      }
    }
    err_ = "unterminated string";
    return false;
  }
  bool array(JsonValue& v, int depth) {
    v.type = JsonValue::Type::array;
    ++p_;
    ws();
    if (p_ < t_.size() && t_[p_] == ']') {
      ++p_;
      return true;
    }
    for (;;) {
      v.array.emplace_back();
      ws();
      if (!value(v.array.back(), depth + 1)) return false;
      ws();
      if (p_ < t_.size() && t_[p_] == ',') {
        ++p_;
        continue;
      }
      if (p_ < t_.size() && t_[p_] == ']') {
        ++p_;
        return true;
      }
      err_ = "expected , or ]";
      return false;
    }
  }
  bool object(JsonValue& v, int depth) {
    v.type = JsonValue::Type::object;
    ++p_;
    ws();
    if (p_ < t_.size() && t_[p_] == '}') {
      ++p_;
      return true;
    }
    for (;;) {
      ws();
      if (p_ >= t_.size() || t_[p_] != '"') {
        err_ = "expected a key";
        return false;
      }
      std::string key;
      if (!string(key)) return false;
      ws();
      if (p_ >= t_.size() || t_[p_] != ':') {
        err_ = "expected :";
        return false;
      }
      ++p_;
      ws();
      v.object.push_back(JsonMember{std::move(key), JsonValue{}});
      if (!value(v.object.back().value, depth + 1)) return false;
      ws();
      if (p_ < t_.size() && t_[p_] == ',') {
        ++p_;
        continue;
      }
      if (p_ < t_.size() && t_[p_] == '}') {
        ++p_;
        return true;
      }
      err_ = "expected , or }";
      return false;
    }
  }

  std::string_view t_;
  std::size_t p_ = 0;
  std::string err_;
};

}  // namespace

const JsonValue* JsonValue::find(std::string_view key) const {
  if (type != Type::object) return nullptr;
  for (const auto& [k, v] : object)
    if (k == key) return &v;
  return nullptr;
}

bool JsonValue::is_int() const {
  return type == Type::number && std::isfinite(number) && std::floor(number) == number && number >= -9.0e15 &&
         number <= 9.0e15;
}

long long JsonValue::as_int(long long fallback) const { return is_int() ? static_cast<long long>(number) : fallback; }

bool json_parse(std::string_view text, JsonValue& out, std::string* error) {
  out = JsonValue{};
  return Parser(text).parse(out, error);
}

void json_quote(std::string& out, std::string_view s) {
  out += '"';
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"') out += "\\\"";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", c);
      out += buf;
    } else out += ch;
  }
  out += '"';
}

}  // namespace kv4t::sim
