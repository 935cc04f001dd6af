#include "sim/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace kv4t::sim {
namespace {

const char kUsage[] =
    "Usage: kv4t-sim [options]\n"
    "A simulated KV4T converter on a pseudo-terminal. The first line on standard output\n"
    "is the path of the pseudo-terminal's slave; the request log goes to standard error.\n"
    "SIGINT, SIGTERM or SIGHUP stop it (the link is removed, the state file written).\n"
    "\n"
    "Line and network settings (factory settings in brackets):\n"
    "  --baud N               RS-485 baud rate, one of 2400 ... 115200 [9600]\n"
    "  --bits 7|8             data bits [8]\n"
    "  --parity none|odd|even parity [none]\n"
    "  --stop-bits 1|2        stop bits [1]\n"
    "  --address N            network address [16]\n"
    "  --alen 8|11            address length in bits [8]\n"
    "  --protocol P           ravik, modbus-rtu or modbus-ascii [ravik]\n"
    "  --delay MS             answer delay, the parameter \"rs.dl\" [2]\n"
    "  --dev TEXT             device name answered to \"dev\" [KS4T]\n"
    "  --ver TEXT             firmware version answered to \"ver\" [KV4T-1.3]\n"
    "Current-loop instrument:\n"
    "  --loop-dev TEXT        \"dEv.L\" [ZR-40]\n"
    "  --loop-ver TEXT        \"vEr.L\" [ZR40A12]\n"
    "  --loop-baud N          \"BP.L\", 110 ... 115200 [9600]\n"
    "  --loop-bits 7|8        \"LE.L\" [8]\n"
    "  --loop-parity P        \"Pr.L\" [none]\n"
    "  --loop-stop-bits 1|2   \"Sb.L\" [2]\n"
    "  --loop-poll N          \"FrEq\" [1]\n"
    "Holding registers (Modbus function 3):\n"
    "  --registers LIST       readable registers, e.g. 00-1F,40 (hex); the others answer\n"
    "                         with exception 2 [00-FF]\n"
    "  --register R=V         value of register R (hex R; V decimal or 0x...) [0x4B00+R]\n"
    "Faults:\n"
    "  --silent               answer nothing at all\n"
    "  --no-answer NAMES      never answer these requests (comma list; repeatable)\n"
    "  --noise N              send N bytes of line noise before every answer\n"
    "  --truncate N           cut N bytes off the end of every answer\n"
    "  --bad-check            answers carry a wrong check (CRC, LRC)\n"
    "  --request-flag         RAVIK answers come with the request flag set\n"
    "  --skip N               leave the first N answerable requests unanswered\n"
    "  --extra-delay MS       answer MS later than the answer delay says\n"
    "  --fault-only NAMES     the answer faults above touch only these requests\n"
    "                         (parameter names, modbus:3, modbus:5; comma list)\n"
    "Files:\n"
    "  --state FILE           start from FILE when it exists; keep the full state in it\n"
    "                         as JSON, rewritten on every change\n"
    "  --link PATH            make PATH a symbolic link to the pseudo-terminal while\n"
    "                         running (e.g. $KV4T_PORTS_DIR/com5 or\n"
    "                         $WINEPREFIX/dosdevices/com5)\n"
    "Other:\n"
    "  --no-line-check        answer whatever line settings the computer uses\n"
    "  --quiet                no request log\n"
    "  --help                 this text\n";

bool to_int(std::string_view text, long long lo, long long hi, int& out) {
  const std::string s(text);
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

std::vector<std::string> split(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (!item.empty()) out.emplace_back(item);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

bool hex_register(std::string_view text, int& out) {
  const std::string s(text);
  if (s.empty() || s.size() > 4) return false;
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 16);
  if (*end != '\0' || v < 0 || v >= kRegisterCount) return false;
  out = static_cast<int>(v);
  return true;
}

template <std::size_t N>
bool in_table(const std::array<int, N>& table, int v) {
  return code_of(table, v) >= 0;
}

}  // namespace

const char* usage_text() { return kUsage; }

ParseOutcome parse_options(int argc, char** argv, Options& o, std::string* error) {
  std::array<int, kRegisterCount> values = o.registers;
  for (auto& v : values)
    if (v < 0) v = 0;
  bool readable_given = false;
  std::array<bool, kRegisterCount> readable{};
  for (int i = 0; i < kRegisterCount; ++i) readable[static_cast<std::size_t>(i)] = o.registers[static_cast<std::size_t>(i)] >= 0;

  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return ParseOutcome::error;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view opt = argv[i];
    if (opt == "--help" || opt == "-h") return ParseOutcome::help;
    // Flags without a value.
    if (opt == "--silent") { o.faults.silent = true; continue; }
    if (opt == "--bad-check") { o.faults.bad_check = true; continue; }
    if (opt == "--request-flag") { o.faults.request_flag = true; continue; }
    if (opt == "--no-line-check") { o.enforce_line = false; continue; }
    if (opt == "--quiet") { o.log = nullptr; continue; }
    if (i + 1 >= argc) return fail("unknown option or missing value: " + std::string(opt));
    const std::string_view val = argv[++i];
    const std::string bad = "bad value for " + std::string(opt) + ": " + std::string(val);
    int n = 0;
    Parity parity{};
    if (opt == "--baud") {
      if (!to_int(val, 1, 115200, n) || !in_table(kBaudTable, n)) return fail(bad);
      o.line.baud = n;
    } else if (opt == "--bits") {
      if (!to_int(val, 7, 8, n)) return fail(bad);
      o.line.bits = n;
    } else if (opt == "--parity") {
      if (!parse_parity(val, parity)) return fail(bad);
      o.line.parity = parity;
    } else if (opt == "--stop-bits") {
      if (!to_int(val, 1, 2, n)) return fail(bad);
      o.line.stop_bits = n;
    } else if (opt == "--address") {
      if (!to_int(val, 0, 2047, n)) return fail(bad);
      o.address = n;
    } else if (opt == "--alen") {
      if (!to_int(val, 8, 11, n) || (n != 8 && n != 11)) return fail(bad);
      o.alen = n;
    } else if (opt == "--protocol") {
      if (!parse_protocol(val, o.protocol)) return fail(bad);
    } else if (opt == "--delay") {
      if (!to_int(val, 0, 65535, n)) return fail(bad);
      o.delay_ms = n;
    } else if (opt == "--dev" || opt == "--ver" || opt == "--loop-dev" || opt == "--loop-ver") {
      if (val.size() > 15) return fail(bad + " (at most 15 characters)");
      (opt == "--dev" ? o.device : opt == "--ver" ? o.version : opt == "--loop-dev" ? o.loop_device : o.loop_version) = val;
    } else if (opt == "--loop-baud") {
      if (!to_int(val, 1, 115200, n) || !in_table(kLoopBaudTable, n)) return fail(bad);
      o.loop_baud = n;
    } else if (opt == "--loop-bits") {
      if (!to_int(val, 7, 8, n)) return fail(bad);
      o.loop_bits = n;
    } else if (opt == "--loop-parity") {
      if (!parse_parity(val, parity)) return fail(bad);
      o.loop_parity = parity;
    } else if (opt == "--loop-stop-bits") {
      if (!to_int(val, 1, 2, n)) return fail(bad);
      o.loop_stop_bits = n;
    } else if (opt == "--loop-poll") {
      if (!to_int(val, 0, 65535, n)) return fail(bad);
      o.loop_poll = n;
    } else if (opt == "--registers") {
      if (!readable_given) readable.fill(false);
      readable_given = true;
      for (const std::string& item : split(val)) {
        const std::size_t dash = item.find('-');
        int from = 0, to = 0;
        if (!hex_register(std::string_view(item).substr(0, dash), from)) return fail(bad);
        to = from;
        if (dash != std::string::npos && !hex_register(std::string_view(item).substr(dash + 1), to)) return fail(bad);
        if (to < from) return fail(bad);
        for (int r = from; r <= to; ++r) readable[static_cast<std::size_t>(r)] = true;
      }
    } else if (opt == "--register") {
      const std::size_t eq = val.find('=');
      int r = 0;
      if (eq == std::string_view::npos || !hex_register(val.substr(0, eq), r) || !to_int(val.substr(eq + 1), 0, 0xFFFF, n))
        return fail(bad);
      values[static_cast<std::size_t>(r)] = n;
    } else if (opt == "--no-answer") {
      for (auto& name : split(val)) o.faults.no_answer.push_back(name);
    } else if (opt == "--fault-only") {
      for (auto& name : split(val)) o.faults.only.push_back(name);
    } else if (opt == "--noise") {
      if (!to_int(val, 0, 1000, n)) return fail(bad);
      o.faults.noise_bytes = n;
    } else if (opt == "--truncate") {
      if (!to_int(val, 0, 1000, n)) return fail(bad);
      o.faults.truncate_bytes = n;
    } else if (opt == "--skip") {
      if (!to_int(val, 0, 1000000, n)) return fail(bad);
      o.faults.skip_requests = n;
    } else if (opt == "--extra-delay") {
      if (!to_int(val, 0, 600000, n)) return fail(bad);
      o.faults.extra_delay_ms = n;
    } else if (opt == "--state") {
      o.state_file = val;
    } else if (opt == "--link") {
      o.link_path = val;
    } else {
      return fail("unknown option: " + std::string(opt));
    }
  }
  if (o.address > (o.alen == 11 ? 2047 : 255)) return fail("address " + std::to_string(o.address) + " needs --alen 11");
  for (int r = 0; r < kRegisterCount; ++r)
    o.registers[static_cast<std::size_t>(r)] = readable[static_cast<std::size_t>(r)] ? values[static_cast<std::size_t>(r)] : -1;
  return ParseOutcome::run;
}

}  // namespace kv4t::sim
