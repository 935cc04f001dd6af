// kv4t: the converter from scripts. Every subcommand reaches the converter
// through the configurator's device layer and ends with one of the exit codes
// below.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <map>
#include <string>

#include "cli/commands.h"
#include "cli/commission.h"
#include "cli/console.h"
#include "cli/setting_words.h"
#include "common/setting_values.h"
#include "device/settings_rules.h"

namespace {

const char kAbout[] =
    "kv4t: преобразователь KV4T из сценариев и с консоли.\n"
    "Коды завершения:\n"
    "  0    выполнено\n"
    "  1    преобразователь не ответил или отказал\n"
    "  2    неверное использование (параметры, значения, файлы)\n"
    "  3    порт не открывается\n"
    "  130  прервано (Ctrl-C); порт закрыт, протокол преобразователя восстановлен";

namespace sr = settings_rules;

const std::map<std::string, int> kParities = kParityWords.Map();
const std::map<std::string, int> kStopBits = kStopBitWords.Map();
const std::map<std::string, int> kProtocols = kProtocolWords.Map();
const std::map<std::string, int> kAdaptors = kAdaptorWords.Map();

// "(lo..hi)" for an option's help.
std::string Bounds(int32_t least, int32_t most) {
  return "(" + std::to_string(least) + ".." + std::to_string(most) + ")";
}

// An option whose value lands in an optional only when given.
CLI::Option* Optional(CLI::App& app, const std::string& name, std::optional<int>& target,
                      const std::string& what) {
  return app.add_option_function<int>(name, [&target](const int& v) { target = v; }, what);
}
CLI::Option* OptionalText(CLI::App& app, const std::string& name,
                          std::optional<std::string>& target, const std::string& what) {
  return app.add_option_function<std::string>(
      name, [&target](const std::string& v) { target = v; }, what);
}
CLI::Option* Named(CLI::App& app, const std::string& name, std::optional<int>& target,
                   const std::map<std::string, int>& names, const std::string& what) {
  std::string choices;
  for (const auto& [word, value] : names) choices += (choices.empty() ? "" : "|") + word;
  return Optional(app, name, target, what)
      ->transform(CLI::CheckedTransformer(names, CLI::ignore_case).description(""))
      ->type_name(choices);
}

// The line settings, under the given option prefix ("--", "--new-", "--loop-").
void AddLine(CLI::App& app, const std::string& prefix, LineArgs& line, bool network) {
  Optional(app, prefix + "baud", line.baud, "скорость, бит/с");
  Optional(app, prefix + "bits", line.bits, "длина слова: 7 или 8")->check(CLI::IsMember({7, 8}));
  Named(app, prefix + "parity", line.parity, kParities, "чётность: none, odd, even");
  Named(app, prefix + "stop", line.stop, kStopBits, "стоп-бит: 1 или 2");
  if (!network) return;
  Optional(app, prefix + "address", line.address, "сетевой адрес")
      ->check(CLI::Range(0, sr::kMaxAddress11));
  Optional(app, prefix + "alen", line.alen, "длина адреса: 8 или 11")->check(CLI::IsMember({8, 11}));
}

void AddLoop(CLI::App& app, LoopArgs& loop) {
  OptionalText(app, "--instrument", loop.instrument, "тип прибора из каталога");
  OptionalText(app, "--instrument-version", loop.version, "версия прибора из каталога");
  AddLine(app, "--loop-", loop.line, false);
  Optional(app, "--poll", loop.line.delay,
           "частота опроса, с " + Bounds(sr::kLeastPollS, sr::kMostPollS));
}

// kv4t commission: the plan, the report, how rows are met and what a row leaves out.
void AddCommission(CLI::App& sub, CommissionArgs& c) {
  sub.add_option("PLAN", c.plan, "план: CSV со столбцами tag, address и по желанию alen, baud, "
                                 "bits, parity, stop, protocol, delay")->required();
  sub.add_option("--report", c.report, "отчёт (CSV): переписывается после каждой строки; с тем же "
                                       "планом повторный запуск пропускает выполненные строки");
  sub.add_flag("--wait", c.wait, "не спрашивать, а ждать каждый преобразователь на заводских "
                                 "настройках (без терминала обязательно)");
  const std::map<std::string, OnFailure> failures = {
      {"retry", OnFailure::kRetry}, {"skip", OnFailure::kSkip}, {"stop", OnFailure::kStop}};
  sub.add_option("--on-failure", c.on_failure, "при неудаче строки: retry (ещё раз), skip "
                                               "(дальше) или stop (закончить; по умолчанию)")
      ->transform(CLI::CheckedTransformer(failures, CLI::ignore_case).description(""))
      ->type_name("retry|skip|stop");
  sub.add_option("--retries", c.retries, "сколько раз повторить строку при retry (3)")
      ->check(CLI::NonNegativeNumber);
  // Everything but the address, which each row has.
  AddLine(sub, "--new-", c.defaults, false);
  Optional(sub, "--new-alen", c.defaults.alen, "длина адреса: 8 или 11")->check(CLI::IsMember({8, 11}));
  Named(sub, "--new-proto", c.defaults.proto, kProtocols, "протокол: ravik, modbus-rtu, modbus-ascii");
  Optional(sub, "--new-delay", c.defaults.delay,
           "задержка ответа, мс " + Bounds(0, sr::kMaxAnswerDelayMs));
}

}  // namespace

int main(int argc, char** argv) {
  console_init();
  CLI::App app(kAbout, "kv4t");
  app.fallthrough();
  app.require_subcommand(1);
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

  CommonArgs args;
  app.add_option("--port", args.port, "порт: COMn, путь к устройству или имя из /dev/serial/by-id");
  AddLine(app, "--", args.link, true);
  Named(app, "--adaptor", args.adaptor, kAdaptors, "адаптер: auto или rts");
  app.add_option("--config", args.config, "файл конфигурации (KV4TCFG1) с настройками связи");
  app.add_option("--trace", args.trace, "записывать каждый кадр в файл");
  app.add_flag("--json", args.json, "вывод в JSON");
  app.add_flag("--quiet,-q", args.quiet, "без вывода, только код завершения");
  app.add_flag("--low-latency", args.low_latency,
               "режим малой задержки драйвера порта на время работы (Linux; восстанавливается в конце)");

  std::function<int()> run;
  auto command = [&](CLI::App& parent, const char* name, const char* what, std::function<int()> fn) {
    CLI::App* sub = parent.add_subcommand(name, what);
    sub->final_callback([&run, fn] { run = fn; });
    return sub;
  };

  command(app, "ports", "последовательные порты компьютера", [&] { return RunPorts(args); });
  command(app, "identify", "имя и версия преобразователя", [&] { return RunIdentify(args); });

  CLI::App* loop = app.add_subcommand("loop", "прибор на токовой петле");
  loop->require_subcommand(1);
  command(*loop, "read", "прочитать настройки токовой петли", [&] { return RunLoopRead(args); });
  LoopArgs loop_args;
  CLI::App* loop_write = command(*loop, "write", "записать настройки токовой петли",
                                 [&] { return RunLoopWrite(args, loop_args); });
  AddLoop(*loop_write, loop_args);

  CLI::App* rs485 = app.add_subcommand("rs485", "сторона RS-485 преобразователя");
  rs485->require_subcommand(1);
  LineArgs target;
  bool no_verify = false;
  CLI::App* rs485_write =
      command(*rs485, "write", "записать настройки RS-485, применить (APLY) и проверить",
              [&] { return RunRs485Write(args, target, !no_verify); });
  AddLine(*rs485_write, "--new-", target, true);
  Named(*rs485_write, "--new-proto", target.proto, kProtocols, "протокол: ravik, modbus-rtu, modbus-ascii");
  Optional(*rs485_write, "--new-delay", target.delay,
           "задержка ответа, мс " + Bounds(0, sr::kMaxAnswerDelayMs));
  rs485_write->add_flag("--no-verify", no_verify, "не проверять связь на новых настройках");

  int repeat = 0;
  CLI::App* test = command(app, "test", "тест линии (как на странице \"Тест\")",
                           [&] { return RunLineTest(args, repeat); });
  test->add_option("--repeat", repeat, "ещё N запросов со статистикой")->check(CLI::NonNegativeNumber);

  ScanArgs scan_args;
  CLI::App* scan = command(app, "scan", "найти преобразователь с неизвестными настройками",
                           [&] { return RunScan(args, scan_args); });
  scan->add_flag("--all", scan_args.all, "найти все преобразователи на линии, не останавливаться на первом");
  scan->add_flag("--modbus", scan_args.modbus,
                 "пробовать и Modbus (катушка пробуждения по адресам 1..247; найденный возвращается в свой протокол)");
  OptionalText(*scan, "--rates", scan_args.rates, "только эти скорости: 19200,9600");
  OptionalText(*scan, "--frames", scan_args.frames, "только эти кадры: 8-n-1,7-e-1");
  OptionalText(*scan, "--alens", scan_args.alens, "только эти длины адреса: 8, 11 или 8,11");
  OptionalText(*scan, "--addresses", scan_args.addresses, "только эти адреса: 0-20,77,616");
  Optional(*scan, "--latency", scan_args.latency_ms,
           "задержка USB-адаптера, мс (0..255), если система её не сообщает");
  scan->add_flag("--estimate", scan_args.estimate, "только сказать, сколько проб и времени займёт сканирование");

  CommissionArgs commission;
  AddCommission(*command(app, "commission", "пусконаладка сети: настройки RS-485 многим "
                                            "преобразователям по плану, с отчётом",
                         [&] { return RunCommission(args, commission); }),
                commission);

  CLI::App* config = app.add_subcommand("config", "файл конфигурации окна");
  config->require_subcommand(1);
  std::string file;
  CLI::App* show = command(*config, "show", "показать файл", [&] { return RunConfigShow(args, file); });
  show->add_option("FILE", file, "файл конфигурации")->required();
  LineArgs rs485_settings;
  LoopArgs loop_settings;
  CLI::App* write = command(*config, "write", "записать файл из параметров (и --config)",
                            [&] { return RunConfigWrite(args, file, rs485_settings, loop_settings); });
  write->add_option("FILE", file, "файл конфигурации")->required();
  AddLine(*write, "--new-", rs485_settings, true);
  Named(*write, "--new-proto", rs485_settings.proto, kProtocols, "протокол RS-485");
  Optional(*write, "--new-delay", rs485_settings.delay, "задержка ответа RS-485, мс");
  AddLoop(*write, loop_settings);

  CLI::App* catalog = app.add_subcommand("catalog", "описания приборов");
  catalog->require_subcommand(1);
  std::vector<std::string> files;
  CLI::App* check = command(*catalog, "check", "проверить файлы описаний",
                            [&] { return RunCatalogCheck(args, files); });
  check->add_option("FILE", files, "файлы *.xml")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help is a success; everything else is bad usage.
    const int code = app.exit(e);
    return code == 0 ? kExitDone : kExitUsage;
  }
  console_catch_interrupt();
  return run ? run() : kExitUsage;
}
