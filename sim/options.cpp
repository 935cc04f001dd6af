#include "sim/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <functional>
#include <string_view>
#include <vector>

namespace kv4t::sim {
namespace {

const char kAbout[] =
    "A simulated KV4T converter on a pseudo-terminal. The first line on standard output\n"
    "is the path of the pseudo-terminal's slave; the request log goes to standard error.\n"
    "SIGINT, SIGTERM or SIGHUP stop it (the link is removed, the state file written).\n"
    "The value after '=' is the factory setting.";

constexpr std::size_t kMaxText = 15;  // the longest text a parameter holds
const std::string kParities = "none, odd or even";
const std::string kProtocols = "ravik, modbus-rtu or modbus-ascii";

// A parameter's name as the help quotes it.
std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

// A holding register's number: one to four hex digits, below kRegisterCount.
bool hex_register(const std::string& text, int& out) {
  long long v = -1;
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
      !CLI::detail::lexical_cast("0x" + text, v) || v >= kRegisterCount)
    return false;
  out = static_cast<int>(v);
  return true;
}

// Numbers are decimal, or hex after 0x, as the C library reads them.
const CLI::Validator& whole_number() {
  static const CLI::Validator v(
      [](std::string& text) {
        long long n = 0;
        return CLI::detail::lexical_cast(text, n) ? std::string() : text + " is not a whole number";
      },
      "");
  return v;
}

const CLI::Validator& short_text() {
  static const CLI::Validator v(
      [](std::string& text) {
        return text.size() <= kMaxText ? std::string() : text + " is longer than " + std::to_string(kMaxText) + " characters";
      },
      "");
  return v;
}

CLI::Option* number(CLI::App& app, const char* name, int& field, const std::string& what) {
  return app.add_option(name, field, what)->type_name("N")->check(whole_number());
}

CLI::Option* text(CLI::App& app, const char* name, std::string& field, const std::string& what) {
  return app.add_option(name, field, what)->type_name("TEXT")->check(short_text());
}

// A word that parse() reads: parity or protocol.
template <class T>
CLI::Option* word(CLI::App& app, const char* name, T& field, bool (*parse)(std::string_view, T&), const char* default_text,
                  const std::string& words, const std::string& what) {
  return app
      .add_option_function<std::string>(
          name,
          [name, parse, words, &field](const std::string& v) {
            if (!parse(v, field)) throw CLI::ValidationError(name, v + " is not " + words);
          },
          what)
      ->type_name("P")
      ->default_str(default_text);
}

// The options every converter on the line has: the top level's set the one converter
// (and the defaults of a bus); a --converter's keys are the same names.
void add_converter_options(CLI::App& app, ConverterOptions& o) {
  app.option_defaults()->group("Line and network settings");
  number(app, "--baud", o.line.baud, "RS-485 baud rate")->check(CLI::IsMember(kBaudTable));
  number(app, "--bits", o.line.bits, "data bits")->check(CLI::IsMember(kBitsTable));
  word(app, "--parity", o.line.parity, parse_parity, parity_name(o.line.parity), kParities, "parity: " + kParities);
  number(app, "--stop-bits", o.line.stop_bits, "stop bits")->check(CLI::IsMember({1, 2}));
  number(app, "--address", o.address, "network address (above 255 with --alen 11)")->check(CLI::Range(0, 2047));
  number(app, "--alen", o.alen, "address length in bits")->check(CLI::IsMember(kAlenTable));
  word(app, "--protocol", o.protocol, parse_protocol, protocol_name(o.protocol), kProtocols, kProtocols);
  number(app, "--delay", o.delay_ms, "answer delay, the parameter " + quoted(kParamDelay))
      ->type_name("MS")
      ->check(CLI::Range(0, 65535));
  text(app, "--dev", o.device, "device name answered to " + quoted(kParamDev));
  text(app, "--ver", o.version, "firmware version answered to " + quoted(kParamVer));

  app.option_defaults()->group("Current-loop instrument");
  text(app, "--loop-dev", o.loop_device, quoted(kParamLoopDev));
  text(app, "--loop-ver", o.loop_version, quoted(kParamLoopVer));
  number(app, "--loop-baud", o.loop_baud, quoted(kParamLoopBaud))->check(CLI::IsMember(kLoopBaudTable));
  number(app, "--loop-bits", o.loop_bits, quoted(kParamLoopBits))->check(CLI::IsMember(kBitsTable));
  word(app, "--loop-parity", o.loop_parity, parse_parity, parity_name(o.loop_parity), kParities, quoted(kParamLoopParity));
  number(app, "--loop-stop-bits", o.loop_stop_bits, quoted(kParamLoopStop))->check(CLI::IsMember({1, 2}));
  number(app, "--loop-poll", o.loop_poll, quoted(kParamLoopPoll))->check(CLI::Range(0, 65535));
}

// What is wrong with a converter's settings taken together, or empty; alen_option
// is how the line names the address length ("--alen" or "alen=").
std::string settings_fault(const ConverterOptions& o, const std::string& alen_option) {
  if (o.address > (o.alen == 11 ? 2047 : 255)) return "address " + std::to_string(o.address) + " needs " + alen_option + "11";
  return {};
}

// One --converter: KEY=VALUE items separated by commas, each key a converter option's
// name without its dashes, read over o (which holds the top level's settings).
std::string parse_converter(const std::string& items, ConverterOptions& o) {
  CLI::App sub("", "--converter");
  sub.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  sub.set_help_flag();
  add_converter_options(sub, o);
  std::vector<std::string> args;
  std::size_t from = 0;
  while (from <= items.size()) {
    const std::size_t comma = std::min(items.find(',', from), items.size());
    const std::string item = items.substr(from, comma - from);
    from = comma + 1;
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    const std::string key = item.substr(0, eq);
    if (eq == std::string::npos || key.empty() || key[0] == '-' || !sub.get_option_no_throw("--" + key))
      return item + " is not KEY=VALUE with a converter's key (address, alen, protocol, baud, ...)";
    args.push_back("--" + key);
    args.push_back(item.substr(eq + 1));
  }
  // CLI11 takes the arguments last first.
  std::reverse(args.begin(), args.end());
  try {
    sub.parse(args);
  } catch (const CLI::ParseError& e) {
    return e.what();
  }
  return settings_fault(o, "alen=");
}

}  // namespace

ParseOutcome parse_options(int argc, char** argv, Options& o, std::string* message) {
  CLI::App app(kAbout, "kv4t-sim");
  // An option given twice takes its last value; the lists below gather every one.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->always_capture_default();
  app.set_help_flag();

  // Comma lists, in one option or several; empty items are left out.
  auto list = [&](const char* name, const std::string& what, std::function<void(const std::vector<std::string>&)> take) {
    return app
        .add_option_function<std::vector<std::string>>(
            name,
            [take](std::vector<std::string> items) {
              std::erase(items, std::string());
              take(items);
            },
            what)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->delimiter(',');
  };
  auto append_to = [](std::vector<std::string>& names) {
    return [&names](const std::vector<std::string>& items) { names.insert(names.end(), items.begin(), items.end()); };
  };

  add_converter_options(app, o);
  app.option_defaults()->group("Holding registers (Modbus function 3)");
  std::array<int, kRegisterCount> values = o.registers;
  for (auto& v : values) v = std::max(v, 0);
  std::array<bool, kRegisterCount> readable{};
  for (std::size_t r = 0; r < readable.size(); ++r) readable[r] = o.registers[r] >= 0;
  list("--registers", "readable registers, e.g. 00-1F,40 (hex); the others answer\nwith exception 2",
       [&](const std::vector<std::string>& items) {
         readable.fill(false);
         for (const std::string& item : items) {
           const std::size_t dash = item.find('-');
           int from = 0, to = 0;
           if (!hex_register(item.substr(0, dash), from) ||
               !hex_register(dash == std::string::npos ? item : item.substr(dash + 1), to) || to < from)
             throw CLI::ValidationError("--registers", item + " is not a register or a range of registers");
           for (int r = from; r <= to; ++r) readable[static_cast<std::size_t>(r)] = true;
         }
       })
      ->type_name("LIST")
      ->default_str("00-FF");
  list("--register", "value of register R (hex R; V decimal or 0x...);\nunless given, 0x4B00+R",
       [&](const std::vector<std::string>& items) {
         for (const std::string& item : items) {
           const std::size_t eq = item.find('=');
           int r = 0;
           long long v = -1;
           if (eq == std::string::npos || !hex_register(item.substr(0, eq), r) ||
               !CLI::detail::lexical_cast(item.substr(eq + 1), v) || v < 0 || v > 0xFFFF)
             throw CLI::ValidationError("--register", item + " is not R=V with a register R and a value V up to 0xFFFF");
           values[static_cast<std::size_t>(r)] = static_cast<int>(v);
         }
       })
      ->type_name("R=V");

  app.option_defaults()->group("Faults");
  app.add_flag("--silent", o.faults.silent, "answer nothing at all");
  list("--no-answer", "never answer these requests", append_to(o.faults.no_answer))->type_name("NAMES");
  number(app, "--noise", o.faults.noise_bytes, "send N bytes of line noise before every answer")->check(CLI::Range(0, 1000));
  number(app, "--truncate", o.faults.truncate_bytes, "cut N bytes off the end of every answer")->check(CLI::Range(0, 1000));
  app.add_flag("--bad-check", o.faults.bad_check, "answers carry a wrong check (CRC, LRC)");
  app.add_flag("--request-flag", o.faults.request_flag, "RAVIK answers come with the request flag set");
  number(app, "--skip", o.faults.skip_requests, "leave the first N answerable requests unanswered")
      ->check(CLI::Range(0, 1000000));
  number(app, "--extra-delay", o.faults.extra_delay_ms, "answer MS later than the answer delay says")
      ->type_name("MS")
      ->check(CLI::Range(0, 600000));
  app.add_option("--loss", o.faults.loss_percent, "leave each answerable request unanswered\nwith this probability")
      ->type_name("PERCENT")
      ->check(CLI::Range(0.0, 100.0));
  app.add_option("--loss-seed", o.faults.loss_seed, "start the --loss draws from this seed")->type_name("N");
  list("--fault-only", "the answer faults above touch only these requests\n(parameter names, modbus:3, modbus:5)",
       append_to(o.faults.only))
      ->type_name("NAMES");

  app.option_defaults()->group("The line: adaptor and bus");
  app.add_flag("--echo", o.echo,
               "the computer hears every byte it sends, at once, before any\n"
               "answer (a two-wire RS-485 adaptor whose receiver stays on)");
  number(app, "--latency", o.latency_ms,
         "bytes for the computer (answers, echo) wait for the next\n"
         "tick of this period and arrive together (a USB adaptor's\n"
         "latency timer; FTDI's default is 16); 0 = at once")
      ->type_name("MS")
      ->check(CLI::Range(0, 60000));
  std::vector<std::string> converter_items;
  app.add_option("--converter", converter_items,
                 "a converter on the line, KEY=VALUE,... with the keys\n"
                 "address, alen, protocol, baud, bits, parity, stop-bits,\n"
                 "delay, dev, ver and loop-... as the options above, which\n"
                 "give every key's default. Once per converter: each answers\n"
                 "at its own address and keeps its own state. Without it the\n"
                 "line has the one converter above")
      ->type_name("KEY=VALUE,...")
      ->default_str("")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

  app.option_defaults()->group("Files");
  app.add_option("--state", o.state_file,
                 "start from FILE when it exists; keep the full state in it\nas JSON, rewritten on every change (with --converter:\n{\"converters\": [...]}, one state each in their order)")
      ->type_name("FILE");
  app.add_option("--link", o.link_path,
                 "make PATH a symbolic link to the pseudo-terminal while\n"
                 "running (e.g. $KV4T_PORTS_DIR/com5 or\n$WINEPREFIX/dosdevices/com5)")
      ->type_name("PATH");

  app.option_defaults()->group("Other");
  app.add_flag_callback("--no-line-check", [&] { o.enforce_line = false; },
                        "answer whatever line settings the computer uses");
  app.add_flag_callback("--quiet", [&] { o.log = nullptr; }, "no request log");
  const CLI::Option* help = app.set_help_flag("-h,--help", "this text");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Asking for help wins over a mistake elsewhere on the line.
    if (help->count() > 0 || dynamic_cast<const CLI::CallForHelp*>(&e)) {
      if (message) *message = app.help();
      return ParseOutcome::help;
    }
    if (message) *message = e.what();
    return ParseOutcome::error;
  }
  for (std::size_t r = 0; r < readable.size(); ++r) o.registers[r] = readable[r] ? values[r] : -1;
  // The top level's settings are every converter's defaults, whichever comes first on
  // the line; a fault in them counts only where no converter replaces it.
  const std::string fault = settings_fault(o, "--alen ");
  if (!fault.empty() && converter_items.empty()) {
    if (message) *message = fault;
    return ParseOutcome::error;
  }
  o.bus.clear();
  for (const std::string& items : converter_items) {
    ConverterOptions c = o;
    const std::string why = parse_converter(items, c);
    if (!why.empty()) {
      if (message) *message = "--converter " + items + ": " + why;
      return ParseOutcome::error;
    }
    o.bus.push_back(std::move(c));
  }
  return ParseOutcome::run;
}

}  // namespace kv4t::sim
