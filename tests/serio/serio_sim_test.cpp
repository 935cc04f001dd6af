// The channel against the simulated converter, run in process on its own thread:
// the converter of the shared cases (serio_converter_test.cpp) on this platform,
// and the faults only the in-process converter can be told to show.
#include <memory>
#include <string>
#include <vector>

#include "log_capture.h"
#include "serio_converter.h"
#include "sim/sim.h"
#include "tests/support/sim_lines.h"

namespace sim = kv4t::sim;
using bytes = std::vector<uint8_t>;

namespace {

// The simulated converter's options for a setup (the channel's parity and stop-bit
// values are the simulator's too, but for one stop bit).
sim::Options options_for(const converter_setup& s) {
  sim::Options options;
  options.line = {s.baud, s.bytesize, static_cast<sim::Parity>(s.parity), s.stopbits == 2 ? 2 : 1};
  options.protocol = s.protocol;
  return options;
}

converter_setup setup_of(const sim::Options& options) {
  const auto& l = options.line;
  converter_setup s;
  s.baud = l.baud;
  s.bytesize = l.bits;
  s.parity = static_cast<int>(l.parity);
  s.stopbits = l.stop_bits == 2 ? 2 : 0;
  s.protocol = options.protocol;
  return s;
}

// Starts a converter with options; the path of its pseudo-terminal, or empty with
// the reason in why.
std::wstring start_converter(std::unique_ptr<sim::Simulator>& converter,
                             const sim::Options& options, std::string& why) {
  converter = std::make_unique<sim::Simulator>(options);
  if (!converter->start(&why)) return {};
  const std::string& path = converter->slave_path();
  return std::wstring(path.begin(), path.end());
}

}  // namespace

std::vector<converter_setup> ravik_converter_setups() {
  return {{9600, 8, 0, 0}, {2400, 8, 0, 0}, {14400, 7, 2, 2}, {28800, 8, 1, 0}, {115200, 8, 0, 2}};
}

std::vector<converter_setup> modbus_rtu_converter_setups() {
  return {{9600, 8, 0, 0, sim::Protocol::modbus_rtu}, {115200, 8, 0, 0, sim::Protocol::modbus_rtu}};
}

struct converter_host::impl {
  std::unique_ptr<sim::Simulator> converter;
};

converter_host::converter_host() : impl_(std::make_unique<impl>()) {}
converter_host::~converter_host() = default;

std::wstring converter_host::start(const converter_setup& setup, std::string& why) {
  return start_converter(impl_->converter, options_for(setup), why);
}

std::optional<long> converter_host::request_count(const char* name) const {
  return impl_->converter->request_count(name);
}

std::optional<long> converter_host::ignored_bytes() const {
  return impl_->converter->state().ignored_bytes;
}

namespace {

// A converter with the given options, started for one case, and a channel opened
// on it at the line settings the converter listens at.
struct sim_link {
  explicit sim_link(const sim::Options& options) {
    std::string why;
    const std::wstring port = start_converter(converter, options, why);
    EXPECT_FALSE(port.empty()) << why;
    if (port.empty()) return;
    const converter_setup line = setup_of(options);
    channel.set_params(line.baud, line.bytesize, line.parity, line.stopbits);
    opened = channel.open(port);
    channel.codec = &ravik;
  }
  bool ready() const { return opened; }

  std::unique_ptr<sim::Simulator> converter;
  serio channel;
  ravik_codec ravik;
  bool opened = false;
};

struct fault_case {
  const char* what;
  sim::Faults faults;
  int status;
};

void PrintTo(const fault_case& c, std::ostream* os) { *os << c.what; }

class serio_sim_faults : public ::testing::TestWithParam<fault_case> {};

TEST_P(serio_sim_faults, end_in_their_status) {
  sim::Options options;
  options.faults = GetParam().faults;
  sim_link link(options);
  ASSERT_TRUE(link.ready());
  bytes answer;
  EXPECT_EQ(link.channel.transact(read_request("dev"), answer, true),
            GetParam().status == serio_ok);
  EXPECT_EQ(link.channel.status(), GetParam().status);
}

sim::Faults silent() {
  sim::Faults f;
  f.silent = true;
  return f;
}
sim::Faults truncated() {
  sim::Faults f;
  f.truncate_bytes = 4;
  return f;
}
sim::Faults wrong_check() {
  sim::Faults f;
  f.bad_check = true;
  return f;
}
sim::Faults late(int ms) {
  sim::Faults f;
  f.extra_delay_ms = ms;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    faults, serio_sim_faults,
    ::testing::Values(fault_case{"silent", silent(), serio_no_answer},
                      fault_case{"truncated", truncated(), serio_answer_timeout},
                      fault_case{"wrong_check", wrong_check(), serio_bad_checksum},
                      // Within the 50 ms pause plus the port's 80 ms for the first byte.
                      fault_case{"late_but_in_time", late(60), serio_ok},
                      fault_case{"too_late", late(400), serio_no_answer}));

// Noise before each answer: the channel's margin steps down and the answers
// still get through.
TEST(serio_sim, noise_before_answers_lowers_the_margin_to_100) {
  sim::Options options;
  options.faults.noise_bytes = 2;
  sim_link link(options);
  ASSERT_TRUE(link.ready());
  for (uint32_t margin : {300u, 200u, 100u, 100u}) {
    bytes answer;
    bool ok = link.channel.transact(read_request("dev"), answer, true);
    // Noise that happens to be '#' starts a frame of its own and spoils it.
    if (ok) {
      EXPECT_EQ(answer_text(answer), sim::kFactoryDevice);
    }
    EXPECT_EQ(link.channel.rts_margin(), margin);
  }
}

class serio_sim_lines : public ::testing::TestWithParam<LineKind> {};

// A RAVIK write of a one-byte value to the converter at the factory address.
bytes write_request(const char* name, uint8_t value) {
  bytes data{value};
  ravik_make_request(data, false, false, sim::kFactoryAddress, ravik_hash(name, nullptr));
  return data;
}

// The first read, marked, teaches the channel the echo; from then on reads and
// writes are answered as on a plain line, and the echo is logged once. When the
// converter falls silent, a write fails like a read: its echo is no
// acknowledgement.
TEST_P(serio_sim_lines, reads_and_writes_after_the_echo_is_learned) {
  const LineKind& kind = GetParam();
  log_capture log;
  sim_link link(OnLine(kind));
  ASSERT_TRUE(link.ready());
  serio& channel = link.channel;
  bytes answer;
  channel.learn_echo = true;
  ASSERT_TRUE(channel.transact(read_request("dev"), answer, true)) << channel.status();
  EXPECT_EQ(answer_text(answer), sim::kFactoryDevice);
  EXPECT_EQ(channel.echo(), kind.echo ? serio_echo::present : serio_echo::absent);
  for (const char* name : {"ver", "dev", "ver"}) {
    ASSERT_TRUE(channel.transact(read_request(name), answer, true)) << name << " " << channel.status();
    EXPECT_EQ(answer[1] & ravik_request_flag, 0) << name;
  }
  EXPECT_EQ(answer_text(answer), sim::kFactoryVersion);

  const bytes write = write_request("FrEq", 9);
  ASSERT_TRUE(channel.transact(write, answer, true)) << channel.status();
  EXPECT_EQ(link.converter->state().number(sim::kParamLoopPoll), 9);
  EXPECT_EQ(link.converter->request_count(sim::kParamLoopPoll), 1);

  sim::Faults silent;
  silent.silent = true;
  link.converter->set_faults(silent);
  EXPECT_FALSE(channel.transact(write, answer, true));
  EXPECT_EQ(channel.status(), serio_no_answer);
  EXPECT_FALSE(channel.transact(read_request("dev"), answer, true));
  EXPECT_EQ(channel.status(), serio_no_answer);

  long echo_lines = 0;
  for (const std::string& line : log.lines)
    if (line.find("порт возвращает переданные байты (эхо)") != std::string::npos) ++echo_lines;
  EXPECT_EQ(echo_lines, kind.echo ? 1 : 0);
}

// An echoing line with no converter at all: the echo is learned, and nothing
// succeeds on it.
TEST_P(serio_sim_lines, nothing_succeeds_without_a_converter) {
  const LineKind& kind = GetParam();
  sim::Options options = OnLine(kind);
  options.faults.silent = true;
  sim_link link(options);
  ASSERT_TRUE(link.ready());
  serio& channel = link.channel;
  bytes answer;
  channel.learn_echo = true;
  EXPECT_FALSE(channel.transact(read_request("dev"), answer, true));
  EXPECT_EQ(channel.status(), serio_no_answer);
  EXPECT_EQ(channel.echo(), kind.echo ? serio_echo::present : serio_echo::absent);
  EXPECT_FALSE(channel.transact(write_request("FrEq", 9), answer, true));
  EXPECT_EQ(channel.status(), serio_no_answer);
}

INSTANTIATE_TEST_SUITE_P(kinds, serio_sim_lines,
                         ::testing::ValuesIn(kLineKinds), LineKindName);

}  // namespace
