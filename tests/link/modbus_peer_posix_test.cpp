// Modbus RTU against a real peer: libmodbus on the other end of a pseudo-terminal
// pair. Our requests must be byte for byte what libmodbus sends for the same call,
// and what a libmodbus server answers (exceptions included) must pass our codec
// and request check.
#include <gtest/gtest.h>

#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/modbus_request.h"
#include "link/modbus_rtu.h"
#include "tests/support/pseudo_terminal.h"

namespace {

using bytes = std::vector<uint8_t>;

// A pseudo-terminal pair: libmodbus opens the slave side by name, the test talks
// through the master side.
class pty_pair {
 public:
  pty_pair() {
    if (pty_.ok()) pty_.MakeRawNonBlocking();
  }

  bool ok() const { return pty_.ok(); }
  const std::string& slave_name() const { return pty_.slave(); }

  bool write_all(const bytes& data) const {
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::write(pty_.master(), data.data() + done, data.size() - done);
      if (n < 0 && errno == EAGAIN) {
        pollfd p{pty_.master(), POLLOUT, 0};
        poll(&p, 1, 100);
        continue;
      }
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  // Up to max bytes; waits up to timeout_ms for the first, returns what is there.
  bytes read_some(std::size_t max, int timeout_ms) const {
    pollfd p{pty_.master(), POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0 || !(p.revents & POLLIN)) return {};
    bytes buffer(max);
    const ssize_t n = ::read(pty_.master(), buffer.data(), max);
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buffer;
  }

  // Exactly count bytes, or fewer when the line stays silent for timeout_ms.
  bytes read_exactly(std::size_t count, int timeout_ms) const {
    bytes out;
    while (out.size() < count) {
      const bytes part = read_some(count - out.size(), timeout_ms);
      if (part.empty()) break;
      out.insert(out.end(), part.begin(), part.end());
    }
    return out;
  }

 private:
  PseudoTerminal pty_;
};

// Receives one answer the way the serial channel does: one byte at a time until
// the codec knows the length, then what read_hint asks for; a silence of gap_ms
// ends the frame.
feed_result receive(const pty_pair& pty, modbus_rtu_codec& codec, int gap_ms) {
  codec.reset();
  for (;;) {
    const int hint = codec.read_hint();
    const bytes part = pty.read_some(hint > 0 ? static_cast<std::size_t>(hint) : 1, gap_ms);
    int consumed = 0;
    if (part.empty()) return codec.feed(1, {}, consumed);
    const feed_result result = codec.feed(0, part, consumed);
    if (result != feed_result::more) return result;
  }
}

struct modbus_ctx {
  modbus_t* ctx = nullptr;
  explicit modbus_ctx(const std::string& device) {
    ctx = modbus_new_rtu(device.c_str(), 19200, 'N', 8, 1);
  }
  ~modbus_ctx() {
    if (ctx != nullptr) {
      modbus_close(ctx);
      modbus_free(ctx);
    }
  }
  modbus_ctx(const modbus_ctx&) = delete;
  modbus_ctx& operator=(const modbus_ctx&) = delete;
};

// libmodbus as the client: each call's request is captured on the master side and
// compared with ours, then answered with a frame our codec builds, which libmodbus
// must accept.
TEST(ModbusPeer, RequestsMatchLibmodbusClient) {
  struct row {
    const char* what;
    int unit;
    int function;
    uint16_t address;
    int count_or_value;
    bytes answer;  // our answer payload
    std::function<int(modbus_t*)> call;
    std::function<void()> check;  // what libmodbus made of our answer
  };
  uint16_t registers[2] = {0, 0};
  const row rows[] = {
      {"read holding registers", 1, 3, 0x0000, 2, {0x01, 0x03, 0x04, 0x00, 0x01, 0xBE, 0xEF},
       [&](modbus_t* c) { return modbus_read_registers(c, 0x0000, 2, registers); },
       [&] {
         EXPECT_EQ(registers[0], 0x0001);
         EXPECT_EQ(registers[1], 0xBEEF);
       }},
      {"read holding registers, unit 17", 17, 3, 0x1234, 2,
       {0x11, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78},
       [&](modbus_t* c) { return modbus_read_registers(c, 0x1234, 2, registers); },
       [&] {
         EXPECT_EQ(registers[0], 0x1234);
         EXPECT_EQ(registers[1], 0x5678);
       }},
      {"write single coil on", 1, 5, 0x0010, 1, {0x01, 0x05, 0x00, 0x10, 0xFF, 0x00},
       [](modbus_t* c) { return modbus_write_bit(c, 0x0010, 1); }, [] {}},
      {"write single coil off, unit 247", 247, 5, 0xFFFF, 0, {0xF7, 0x05, 0xFF, 0xFF, 0x00, 0x00},
       [](modbus_t* c) { return modbus_write_bit(c, 0xFFFF, 0); }, [] {}},
  };

  pty_pair pty;
  ASSERT_TRUE(pty.ok());
  modbus_ctx client(pty.slave_name());
  ASSERT_NE(client.ctx, nullptr);
  ASSERT_EQ(modbus_connect(client.ctx), 0) << modbus_strerror(errno);
  modbus_set_response_timeout(client.ctx, 2, 0);

  modbus_rtu_codec codec;
  for (const row& r : rows) {
    modbus_request request;
    request.set_unit(r.unit);
    ASSERT_EQ(request.set_function(r.function), 0);
    ASSERT_EQ(request.set_range(r.address, r.count_or_value), 0);
    bytes payload;
    ASSERT_EQ(request.build(payload, -1), 0);
    bytes ours;
    ASSERT_GT(codec.encode(payload, ours), 0);

    ASSERT_EQ(modbus_set_slave(client.ctx, r.unit), 0);
    int rc = -1;
    std::thread caller([&] { rc = r.call(client.ctx); });
    const bytes theirs = pty.read_exactly(ours.size(), 2000);
    EXPECT_EQ(theirs, ours) << r.what;
    // Nothing more follows the request.
    EXPECT_TRUE(pty.read_some(16, 50).empty()) << r.what;

    bytes answer;
    ASSERT_GT(codec.encode(r.answer, answer), 0);
    ASSERT_TRUE(pty.write_all(answer));
    caller.join();
    EXPECT_EQ(rc, r.function == 3 ? 2 : 1) << r.what << ": " << modbus_strerror(errno);
    r.check();
  }
}

// libmodbus as the server on a thread: modbus_reply for ordinary requests and
// modbus_reply_exception where the converter would refuse.
class ModbusServer : public ::testing::Test {
 protected:
  static constexpr int server_unit = 5;
  static constexpr uint16_t failing_register = 0x0100;

  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    server_ = modbus_new_rtu(pty_.slave_name().c_str(), 19200, 'E', 8, 1);
    ASSERT_NE(server_, nullptr);
    ASSERT_EQ(modbus_connect(server_), 0) << modbus_strerror(errno);
    modbus_set_slave(server_, server_unit);
    modbus_set_indication_timeout(server_, 0, 100000);
    mapping_ = modbus_mapping_new(32, 0, 16, 0);
    ASSERT_NE(mapping_, nullptr);
    for (int i = 0; i < 16; ++i) mapping_->tab_registers[i] = static_cast<uint16_t>(0x1000 + i);
    thread_ = std::thread([this] { serve(); });
  }

  void TearDown() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (mapping_ != nullptr) modbus_mapping_free(mapping_);
    if (server_ != nullptr) {
      modbus_close(server_);
      modbus_free(server_);
    }
  }

  void serve() {
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop_) {
      const int n = modbus_receive(server_, query);
      if (n <= 0) continue;  // time-out, or a request for another unit
      const int header = modbus_get_header_length(server_);
      const int function = query[header];
      const int address = (query[header + 1] << 8) | query[header + 2];
      if (function == 3 && address == failing_register) {
        modbus_reply_exception(server_, query, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
      } else {
        modbus_reply(server_, query, n, mapping_);
      }
    }
  }

  // Sends our request and returns the answer check's code, or 1000 + the codec's
  // result when no frame came.
  int exchange(int function, uint16_t address, int count_or_value, int unit, bytes* data) {
    modbus_request request;
    request.set_unit(server_unit);
    if (request.set_function(function) != 0 || request.set_range(address, count_or_value) != 0) {
      return -1000;
    }
    bytes payload;
    bytes frame;
    if (request.build(payload, unit) != 0 || codec_.encode(payload, frame) < 0) return -1000;
    if (!pty_.write_all(frame)) return -1000;
    const feed_result result = receive(pty_, codec_, 300);
    if (result != feed_result::frame_ok) return 1000 + static_cast<int>(result);
    bytes answer;
    codec_.take_payload(answer);
    const int code = request.check_answer(answer, unit);
    if (data != nullptr) request.take_data(*data);
    return code;
  }

  pty_pair pty_;
  modbus_t* server_ = nullptr;
  modbus_mapping_t* mapping_ = nullptr;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  modbus_rtu_codec codec_;
};

TEST_F(ModbusServer, AnswersPassOurChecks) {
  struct row {
    const char* what;
    int function;
    uint16_t address;
    int count_or_value;
    int unit;
    int result;
    bytes data;
  };
  const row rows[] = {
      {"two registers", 3, 0, 2, -1, 0, {0x10, 0x00, 0x10, 0x01}},
      {"last register, unit given", 3, 15, 1, server_unit, 0, {0x10, 0x0F}},
      {"registers past the table", 3, 15, 2, -1, -(256 + MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS), {}},
      {"server failure", 3, failing_register, 2, -1,
       -(256 + MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE), {}},
      {"coil on", 5, 3, 1, -1, 0, {}},
      {"coil off", 5, 4, 0, -1, 0, {}},
      {"coil past the table", 5, 32, 1, -1, -(256 + MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS), {}},
      {"register written", 6, 7, 0x4321, -1, 0, {}},
      // The server ignores a request for another unit: the line stays silent.
      {"another unit", 3, 0, 2, server_unit + 1,
       1000 + static_cast<int>(feed_result::nothing_received), {}},
  };
  mapping_->tab_bits[4] = 1;
  for (const row& r : rows) {
    bytes data = {0xEE};
    EXPECT_EQ(exchange(r.function, r.address, r.count_or_value, r.unit, &data), r.result) << r.what;
    if (r.result == 0 && r.function == 3) {
      EXPECT_EQ(data, r.data) << r.what;
    }
  }
  stop_ = true;
  thread_.join();
  EXPECT_EQ(mapping_->tab_bits[3], 1);
  EXPECT_EQ(mapping_->tab_bits[4], 0);
  EXPECT_EQ(mapping_->tab_registers[7], 0x4321);
}

}  // namespace
