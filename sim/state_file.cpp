#include "sim/state_file.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "sim/params.h"

namespace kv4t::sim {
namespace {

using json = nlohmann::ordered_json;

// A state is three levels deep; a foreign file may nest somewhat deeper, but no
// file makes the reader build an arbitrarily deep tree.
constexpr int kMaxDepth = 32;

// Texts of the converter are bytes, kept in the file as the code points U+0000 to
// U+00FF (so that every byte outside printable ASCII is written as \u00XX).
std::string code_points(std::string_view bytes) {
  std::string utf8;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      utf8 += ch;
    } else {
      utf8 += static_cast<char>(0xC0 | c >> 6);
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

// The bytes behind a text read from the file (which the parser has checked to be
// UTF-8); false for a code point above U+00FF.
bool text_bytes(const std::string& utf8, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      out += static_cast<char>((c & 0x03) << 6 | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else {
      return false;
    }
  }
  return true;
}

// A value with a space after every comma and colon, on one line; an object or array
// at the top level given per_line goes over several lines, per_line items to a line.
void put(std::string& out, const json& v, std::size_t per_line = 0) {
  if (!v.is_structured()) {
    out += v.dump(-1, ' ', true);
    return;
  }
  out += v.is_object() ? '{' : '[';
  std::size_t i = 0;
  for (const auto& [key, item] : v.items()) {
    if (per_line == 0) out += i == 0 ? "" : ", ";
    else out += i == 0 ? "\n    " : i % per_line == 0 ? ",\n    " : ", ";
    ++i;
    if (v.is_object()) out += json(key).dump(-1, ' ', true) + ": ";
    put(out, item);
  }
  if (per_line > 0) out += "\n  ";
  out += v.is_object() ? '}' : ']';
}

const json* member(const json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

// A whole number in lo..hi into out; true as well when there is no value (out is
// kept). A file written by hand may give a whole number as 16.0. Every bound is far
// below 2^53, where doubles still hold whole numbers exactly.
bool int_in(const json* v, long long lo, long long hi, long long& out) {
  if (!v) return true;
  const double d = v->is_number() ? v->get<double>() : NAN;
  if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi)) || std::floor(d) != d) return false;
  out = static_cast<long long>(d);
  return true;
}

}  // namespace

std::string state_to_json(const State& s) {
  json params = json::object();
  for (const auto& d : kParams) {
    const auto it = s.params.find(std::string(d.name));
    if (it == s.params.end()) continue;
    const ParamValue& p = it->second;
    if (p.is_text) params[std::string(d.name)] = {{"text", code_points(p.text)}};
    else if (d.kind == Kind::coded) params[std::string(d.name)] = {{"code", p.number}, {"value", value_of(d.table, p.number)}};
    else params[std::string(d.name)] = {{"value", p.number}};
  }
  json registers = json::array();
  for (const int r : s.registers) registers.push_back(r < 0 ? json() : json(r));
  json requests = json::object();
  for (const auto& [name, n] : s.requests) requests[code_points(name)] = n;
  const json doc = {
      {"line",
       {{"baud", s.line.baud}, {"bits", s.line.bits}, {"parity", parity_name(s.line.parity)}, {"stop_bits", s.line.stop_bits}}},
      {"address", s.address},
      {"alen", s.alen},
      {"protocol", protocol_name(s.protocol)},
      {"delay_ms", s.delay_ms},
      {"params", params},
      {"registers", registers},
      {"requests", requests},
      {"answers", s.answers},
      {"ignored_bytes", s.ignored_bytes},
      {"ignored_frames", s.ignored_frames},
      {"garbled_frames", s.garbled_frames},
  };
  // One member to a line, the parameters one to a line and the registers sixteen:
  // a file that reads well and that a line-oriented search finds its way in.
  std::string out = "{";
  for (const auto& [key, v] : doc.items()) {
    out += out.size() == 1 ? "\n  " : ",\n  ";
    out += json(key).dump() + ": ";
    put(out, v, key == "params" ? 1 : key == "registers" ? 16 : 0);
  }
  return out + "\n}\n";
}

namespace {

// The text as a JSON object; false with the reason in *error.
bool parse_object(std::string_view text, json& root, std::string* error) {
  auto bad = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  bool too_deep = false;
  try {
    root = json::parse(text, [&](int depth, json::parse_event_t, json&) {
      too_deep = too_deep || depth > kMaxDepth;
      return !too_deep;
    });
  } catch (const json::exception& e) {
    // "[json.exception.parse_error.101] parse error at line 1, column 2: ...": the
    // part after the tag says it.
    const std::string why = e.what();
    const std::size_t tag = why.find("] ");
    return bad(tag == std::string::npos ? why : why.substr(tag + 2));
  }
  if (too_deep) return bad("nesting too deep");
  if (!root.is_object()) return bad("not a JSON object");
  return true;
}

bool state_from(const json& root, State& s, std::string* error) {
  auto bad = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  if (!root.is_object()) return bad("not a JSON object");
  long long n = 0;
  if (const json* line = member(root, "line")) {
    n = s.line.baud;
    if (!int_in(member(*line, "baud"), 1, 4000000, n)) return bad("line.baud");
    s.line.baud = static_cast<int>(n);
    n = s.line.bits;
    if (!int_in(member(*line, "bits"), 7, 8, n)) return bad("line.bits");
    s.line.bits = static_cast<int>(n);
    n = s.line.stop_bits;
    if (!int_in(member(*line, "stop_bits"), 1, 2, n)) return bad("line.stop_bits");
    s.line.stop_bits = static_cast<int>(n);
    if (const json* p = member(*line, "parity"))
      if (!p->is_string() || !parse_parity(p->get_ref<const std::string&>(), s.line.parity)) return bad("line.parity");
  }
  n = s.alen;
  if (!int_in(member(root, "alen"), 8, 11, n) || (n != 8 && n != 11)) return bad("alen");
  s.alen = static_cast<int>(n);
  n = s.address;
  if (!int_in(member(root, "address"), 0, s.alen == 11 ? 2047 : 255, n)) return bad("address");
  s.address = static_cast<int>(n);
  n = s.delay_ms;
  if (!int_in(member(root, "delay_ms"), 0, 65535, n)) return bad("delay_ms");
  s.delay_ms = static_cast<int>(n);
  if (const json* p = member(root, "protocol"))
    if (!p->is_string() || !parse_protocol(p->get_ref<const std::string&>(), s.protocol)) return bad("protocol");
  if (const json* params = member(root, "params")) {
    if (!params->is_object()) return bad("params");
    for (const auto& [name, v] : params->items()) {
      const ParamDef* d = find_param(name);
      if (!d || d->kind == Kind::command) return bad("params: unknown parameter " + name);
      if (d->kind == Kind::text) {
        const json* t = member(v, "text");
        std::string bytes;
        if (!t || !t->is_string() || !text_bytes(t->get_ref<const std::string&>(), bytes) || bytes.size() > 15)
          return bad("params." + name + ".text");
        s.params[name] = ParamValue{true, 0, bytes};
      } else {
        long long num = -1;
        const json* c = member(v, d->kind == Kind::coded ? "code" : "value");
        if (!c || !int_in(c, 0, 0xFFFFFFFFLL, num)) return bad("params." + name);
        s.params[name] = ParamValue{false, num, {}};
      }
    }
  }
  if (const json* regs = member(root, "registers")) {
    if (!regs->is_array() || regs->size() != kRegisterCount) return bad("registers");
    for (std::size_t i = 0; i < regs->size(); ++i) {
      const json& r = (*regs)[i];
      long long v = -1;
      if (!r.is_null() && !int_in(&r, 0, 0xFFFF, v)) return bad("registers");
      s.registers[i] = static_cast<int>(v);
    }
  }
  if (const json* req = member(root, "requests")) {
    if (!req->is_object()) return bad("requests");
    s.requests.clear();
    for (const auto& [name, v] : req->items()) {
      long long c = 0;
      std::string bytes;
      if (!text_bytes(name, bytes) || !int_in(&v, 0, 1LL << 40, c)) return bad("requests");
      s.requests[bytes] = static_cast<long>(c);
    }
  }
  const std::pair<const char*, long*> counts[] = {{"answers", &s.answers},
                                                  {"ignored_bytes", &s.ignored_bytes},
                                                  {"ignored_frames", &s.ignored_frames},
                                                  {"garbled_frames", &s.garbled_frames}};
  for (const auto& [key, field] : counts) {
    long long c = *field;
    if (!int_in(member(root, key), 0, 1LL << 40, c)) return bad(key);
    *field = static_cast<long>(c);
  }
  return true;
}

const char kBusKey[] = "converters";

}  // namespace

bool state_from_json(std::string_view text, State& s, std::string* error) {
  json root;
  if (!parse_object(text, root, error)) return false;
  // A bus's file read as one converter's would be taken for a fresh state.
  if (member(root, kBusKey)) {
    if (error) *error = "it holds a line of several converters (give the same --converter options)";
    return false;
  }
  return state_from(root, s, error);
}

std::string bus_state_to_json(const std::vector<State>& states) {
  // Each converter's state as its own file has it, indented one level further.
  std::string out = std::string("{\n  \"") + kBusKey + "\": [";
  for (std::size_t i = 0; i < states.size(); ++i) {
    std::string one = state_to_json(states[i]);
    if (!one.empty() && one.back() == '\n') one.pop_back();
    std::string indented;
    for (const char c : one) {
      indented += c;
      if (c == '\n') indented += "    ";
    }
    out += (i == 0 ? "\n    " : ",\n    ") + indented;
  }
  return out + "\n  ]\n}\n";
}

bool bus_state_from_json(std::string_view text, std::vector<State>& states, std::string* error) {
  auto bad = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  json root;
  if (!parse_object(text, root, error)) return false;
  const json* list = member(root, kBusKey);
  if (!list) return bad("it holds one converter, not a line of " + std::to_string(states.size()));
  if (!list->is_array() || list->size() != states.size())
    return bad(std::string(kBusKey) + ": the line has " + std::to_string(states.size()) + " converters");
  for (std::size_t i = 0; i < states.size(); ++i) {
    std::string why;
    if (!state_from((*list)[i], states[i], &why))
      return bad(std::string(kBusKey) + "[" + std::to_string(i) + "]: " + why);
  }
  return true;
}

}  // namespace kv4t::sim
