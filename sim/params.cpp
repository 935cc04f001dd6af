#include "sim/params.h"

#include "sim/sim.h"
#include "sim/wire.h"

namespace kv4t::sim {

const ParamDef* find_param(std::string_view name) {
  for (const auto& d : kParams)
    if (d.name == name) return &d;
  return nullptr;
}

const ParamDef* find_param(std::uint16_t hash) {
  for (const auto& d : kParams)
    if (ravik_name_hash(d.name) == hash) return &d;
  return nullptr;
}

std::string known_name(std::uint16_t hash) {
  const ParamDef* d = find_param(hash);
  return d ? std::string(d->name) : std::string();
}

long long State::number(std::string_view name) const {
  auto it = params.find(std::string(name));
  return it == params.end() || it->second.is_text ? -1 : it->second.number;
}

int State::setting(std::string_view name) const {
  const ParamDef* d = find_param(name);
  const long long n = number(name);
  if (!d || n < 0) return -1;
  if (d->kind == Kind::coded) return value_of(d->table, n);
  return static_cast<int>(n);
}

std::string State::text(std::string_view name) const {
  auto it = params.find(std::string(name));
  return it == params.end() || !it->second.is_text ? std::string() : it->second.text;
}

}  // namespace kv4t::sim
