#include "sim/state_file.h"

#include <cstdio>

#include "sim/json.h"
#include "sim/params.h"

namespace kv4t::sim {

std::string state_to_json(const State& s) {
  std::string o;
  char buf[128];
  o += "{\n  \"line\": {";
  std::snprintf(buf, sizeof buf, "\"baud\": %d, \"bits\": %d, \"parity\": \"%s\", \"stop_bits\": %d},\n", s.line.baud,
                s.line.bits, parity_name(s.line.parity), s.line.stop_bits);
  o += buf;
  std::snprintf(buf, sizeof buf, "  \"address\": %d,\n  \"alen\": %d,\n  \"protocol\": \"%s\",\n  \"delay_ms\": %d,\n",
                s.address, s.alen, protocol_name(s.protocol), s.delay_ms);
  o += buf;
  o += "  \"params\": {";
  bool first = true;
  for (const auto& d : kParams) {
    auto it = s.params.find(std::string(d.name));
    if (it == s.params.end()) continue;
    o += first ? "\n    " : ",\n    ";
    first = false;
    json_quote(o, d.name);
    o += ": ";
    if (it->second.is_text) {
      o += "{\"text\": ";
      json_quote(o, it->second.text);
      o += "}";
    } else if (d.kind == Kind::coded) {
      const int v = value_of(d.table, it->second.number);
      std::snprintf(buf, sizeof buf, "{\"code\": %lld, \"value\": %d}", it->second.number, v);
      o += buf;
    } else {
      std::snprintf(buf, sizeof buf, "{\"value\": %lld}", it->second.number);
      o += buf;
    }
  }
  o += "\n  },\n  \"registers\": [";
  for (int i = 0; i < kRegisterCount; ++i) {
    if (i % 16 == 0) o += i ? ",\n    " : "\n    ";
    else o += ", ";
    const int v = s.registers[static_cast<std::size_t>(i)];
    o += v < 0 ? std::string("null") : std::to_string(v);
  }
  o += "\n  ],\n  \"requests\": {";
  first = true;
  for (const auto& [name, n] : s.requests) {
    o += first ? "" : ", ";
    first = false;
    json_quote(o, name);
    o += ": " + std::to_string(n);
  }
  std::snprintf(buf, sizeof buf, "},\n  \"answers\": %ld,\n  \"ignored_bytes\": %ld,\n  \"ignored_frames\": %ld,\n",
                s.answers, s.ignored_bytes, s.ignored_frames);
  o += buf;
  std::snprintf(buf, sizeof buf, "  \"garbled_frames\": %ld\n}\n", s.garbled_frames);
  o += buf;
  return o;
}

bool state_from_json(std::string_view text, State& s, std::string* error) {
  JsonValue root;
  if (!json_parse(text, root, error)) return false;
  if (root.type != JsonValue::Type::object) {
    if (error) *error = "not a JSON object";
    return false;
  }
  auto bad = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  auto int_in = [](const JsonValue* v, long long lo, long long hi, long long& out) {
    if (!v) return true;
    const long long n = v->as_int(lo - 1);
    if (n < lo || n > hi) return false;
    out = n;
    return true;
  };
  long long n = 0;
  if (const JsonValue* line = root.find("line")) {
    n = s.line.baud;
    if (!int_in(line->find("baud"), 1, 4000000, n)) return bad("line.baud");
    s.line.baud = static_cast<int>(n);
    n = s.line.bits;
    if (!int_in(line->find("bits"), 7, 8, n)) return bad("line.bits");
    s.line.bits = static_cast<int>(n);
    n = s.line.stop_bits;
    if (!int_in(line->find("stop_bits"), 1, 2, n)) return bad("line.stop_bits");
    s.line.stop_bits = static_cast<int>(n);
    if (const JsonValue* p = line->find("parity"))
      if (p->type != JsonValue::Type::string || !parse_parity(p->string, s.line.parity)) return bad("line.parity");
  }
  n = s.alen;
  if (!int_in(root.find("alen"), 8, 11, n) || (n != 8 && n != 11)) return bad("alen");
  s.alen = static_cast<int>(n);
  n = s.address;
  if (!int_in(root.find("address"), 0, s.alen == 11 ? 2047 : 255, n)) return bad("address");
  s.address = static_cast<int>(n);
  n = s.delay_ms;
  if (!int_in(root.find("delay_ms"), 0, 65535, n)) return bad("delay_ms");
  s.delay_ms = static_cast<int>(n);
  if (const JsonValue* p = root.find("protocol"))
    if (p->type != JsonValue::Type::string || !parse_protocol(p->string, s.protocol)) return bad("protocol");
  if (const JsonValue* params = root.find("params")) {
    if (params->type != JsonValue::Type::object) return bad("params");
    for (const auto& [name, v] : params->object) {
      const ParamDef* d = find_param(name);
      if (!d || d->kind == Kind::command) return bad("params: unknown parameter " + name);
      if (d->kind == Kind::text) {
        const JsonValue* t = v.find("text");
        if (!t || t->type != JsonValue::Type::string || t->string.size() > 15) return bad("params." + name + ".text");
        s.params[name] = ParamValue{true, 0, t->string};
      } else {
        long long num = -1;
        const JsonValue* c = v.find(d->kind == Kind::coded ? "code" : "value");
        if (!c || !int_in(c, 0, 0xFFFFFFFFLL, num)) return bad("params." + name);
        s.params[name] = ParamValue{false, num, {}};
      }
    }
  }
  if (const JsonValue* regs = root.find("registers")) {
    if (regs->type != JsonValue::Type::array || regs->array.size() != kRegisterCount) return bad("registers");
    for (std::size_t i = 0; i < regs->array.size(); ++i) {
      const JsonValue& r = regs->array[i];
      long long v = -1;
      if (r.type != JsonValue::Type::null && !int_in(&r, 0, 0xFFFF, v)) return bad("registers");
      s.registers[i] = static_cast<int>(v);
    }
  }
  if (const JsonValue* req = root.find("requests")) {
    if (req->type != JsonValue::Type::object) return bad("requests");
    s.requests.clear();
    for (const auto& [name, v] : req->object) {
      long long c = 0;
      if (!int_in(&v, 0, 1LL << 40, c)) return bad("requests");
      s.requests[name] = static_cast<long>(c);
    }
  }
  for (const char* key : {"answers", "ignored_bytes", "ignored_frames", "garbled_frames"}) {
    long long c = 0;
    const JsonValue* v = root.find(key);
    if (!v) continue;
    if (!int_in(v, 0, 1LL << 40, c)) return bad(key);
    long& field = std::string_view(key) == "answers"          ? s.answers
                  : std::string_view(key) == "ignored_bytes"  ? s.ignored_bytes
                  : std::string_view(key) == "ignored_frames" ? s.ignored_frames
                                                              : s.garbled_frames;
    field = static_cast<long>(c);
  }
  return true;
}

}  // namespace kv4t::sim
