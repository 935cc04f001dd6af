// What the commands of kv4t share: the exit codes, the common options, the output
// (text or JSON, quiet), and reaching the converter.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "common/text_format.h"
#include "device/converter_device.h"

// Exit codes, as `kv4t --help` lists them.
enum ExitCode : int {
  kExitDone = 0,
  kExitNoAnswer = 1,   // the converter did not answer or refused
  kExitUsage = 2,      // bad usage (options, values, files)
  kExitPort = 3,       // the port cannot be opened
  kExitInterrupted = 130,
};

// Line settings given on the command line; what is not given keeps the value of
// the configuration file or the defaults.
struct LineArgs {
  std::optional<int> baud, bits, parity, stop, address, alen, proto, delay;
  // Values into record; false with a message when one is out of its range.
  bool ApplyTo(PortSettings& record, std::string& error) const;
};

struct CommonArgs {
  std::string port;
  LineArgs link;
  std::optional<int> adaptor;
  std::string config;
  std::string trace;
  bool json = false;
  bool quiet = false;
  // The adaptor's driver asked for low-latency mode while the port is in use.
  bool low_latency = false;
};

// Output of one command: text lines to standard output (none when quiet), errors
// to standard error, or with --json one JSON object at the end.
class Output {
 public:
  explicit Output(const CommonArgs& args)
      : json_(args.json), quiet_(args.quiet), low_latency_(args.low_latency) {}
  bool json() const { return json_; }
  bool quiet() const { return quiet_; }
  bool low_latency() const { return low_latency_; }
  // A line of text output (UTF-8); nothing in JSON or quiet mode.
  void Line(const std::string& utf8) const;
  // A failure: to standard error as text, into the JSON object as "error".
  void Error(const std::string& utf8);
  // What the user should know beside the result (an estimate, what the adaptor
  // did): to standard error as text (none when quiet), into the JSON object's
  // "notes".
  void Note(const std::string& utf8);
  // Program text (Windows-1251, CR LF line ends) as a UTF-8 line.
  static std::string FromProgram(const std::string& text);
  // Ends the command: puts back what low-latency mode changed, prints the JSON
  // object (with "exit") and returns code.
  int Finish(int code);

  nlohmann::json result = nlohmann::json::object();

 private:
  bool json_;
  bool quiet_;
  bool low_latency_;
};

// The device for one command: the catalogue loaded, the configuration file and
// the link options applied, the trace channel in place. nullptr with the exit code
// in *code when the options or the file are no good.
std::unique_ptr<ConverterDevice> MakeDevice(const CommonArgs& args, Output& out, int* code);

// Opens the port: kExitDone, kExitUsage (no port given) or kExitPort.
int OpenLink(ConverterDevice& device, Output& out);
// Opens the port and checks that a KV4T answers: kExitDone, kExitPort or
// kExitNoAnswer (reported through out). The port stays open on success.
int ReachConverter(ConverterDevice& device, Output& out);

// Identifies the converter at the link set over the open port: kExitDone when a
// KV4T answers, else kExitNoAnswer with the reason (UTF-8) in error.
int IdentifyConverter(ConverterDevice& device, std::string& error);

// After an RS-485 write and "APLY" the link set holds the converter's new settings:
// whether it answers there. In RAVIK it is identified; in Modbus RTU or ASCII it is
// asked for a holding register at its new unit and line settings, never with the
// wake-up coil, which would return it to RAVIK. The text says so either way; on
// failure also where it was looked for and how to find it.
struct Verification {
  bool answered = false;
  std::string text;  // UTF-8
};
Verification VerifyNewSettings(ConverterDevice& device);
// The converter answers a Modbus register read at the link's unit and line
// settings: with the register, or with an exception, which shows as well that it
// is there and speaks that protocol (ASCII or RTU). Never the wake-up coil, which
// would switch it back to RAVIK.
bool AnswersModbus(ConverterDevice& device, bool ascii);

// The settings as JSON, and as a line of text ("9600 8-n-1, адрес 16, ...").
nlohmann::json SettingsJson(const PortSettings& s, bool loop);
std::string SettingsText(const PortSettings& s, bool loop);

// "RAVIK", "MODBUS-ASCII", "MODBUS-RTU" for the protocol values 0, 1, 2; "?" otherwise.
const char* ProtocolName(int proto);

// Rate, word length, parity, stop bits, address and address length of one record
// into another.
void CopyLineAndAddress(const PortSettings& from, PortSettings& to);
