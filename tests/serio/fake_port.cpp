#include "fake_port.h"

#include <algorithm>

struct port_handle {
  int unused = 0;
};

namespace {
fake_line g_line;
port_handle g_handle;
constexpr uint32_t fake_error_io = 5;
}  // namespace

fake_line& fake() { return g_line; }

std::size_t fake_line::available() const {
  std::size_t n = 0;
  for (const auto& a : incoming) {
    if (a.at > clock) break;
    n += a.bytes.size();
  }
  return n;
}

std::size_t fake_line::take(uint8_t* out, std::size_t size) {
  std::size_t got = 0;
  while (got < size && !incoming.empty() && incoming.front().at <= clock) {
    auto& bytes = incoming.front().bytes;
    const std::size_t n = std::min(size - got, bytes.size());
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), out + got);
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    got += n;
    if (bytes.empty()) incoming.pop_front();
  }
  return got;
}

void fake_line::arrive(int64_t at, std::vector<uint8_t> bytes) {
  auto pos = std::find_if(incoming.begin(), incoming.end(),
                          [at](const fake_arrival& a) { return a.at > at; });
  incoming.insert(pos, fake_arrival{at, std::move(bytes)});
}

std::vector<fake_call> fake_line::of(const std::string& what) const {
  std::vector<fake_call> out;
  for (const auto& c : calls)
    if (c.what == what) out.push_back(c);
  return out;
}

std::wstring port_device_path(const std::wstring& name) { return name; }

port_handle* port_open(const std::wstring&) {
  g_line.calls.push_back({"open", g_line.clock, {}, 0});
  if (g_line.open_fails) {
    g_line.error = 2;
    return nullptr;
  }
  return &g_handle;
}

void port_close(port_handle*) { g_line.calls.push_back({"close", g_line.clock, {}, 0}); }

bool port_error_means_present(uint32_t error) { return error == 5; }

bool port_set_line(port_handle*, const port_line& line) {
  g_line.calls.push_back({"line", g_line.clock, {}, line.baud});
  return true;
}

bool port_get_timeouts(port_handle*, port_timeouts& timeouts) {
  timeouts = g_line.timeouts;
  return true;
}

bool port_set_timeouts(port_handle*, const port_timeouts& timeouts) {
  g_line.timeouts = timeouts;
  g_line.calls.push_back({"timeouts", g_line.clock, {}, timeouts.read_total_constant});
  return true;
}

bool port_purge(port_handle*) {
  g_line.calls.push_back({"purge", g_line.clock, {}, 0});
  if (g_line.purge_clears) {
    uint8_t scrap[256];
    while (g_line.take(scrap, sizeof scrap) != 0) {
    }
  }
  return true;
}

bool port_input_queue(port_handle*, uint32_t& bytes) {
  bytes = static_cast<uint32_t>(g_line.available());
  return true;
}

// The read time-outs the channel uses: interval and multiplier MAXDWORD with a
// constant; anything else returns at once.
bool port_read(port_handle*, uint8_t* buffer, uint32_t size, uint32_t& got) {
  got = 0;
  g_line.calls.push_back({"read", g_line.clock, {}, size});
  if (g_line.read_fails) {
    g_line.error = fake_error_io;
    return false;
  }
  if (g_line.available() == 0) {
    const port_timeouts& t = g_line.timeouts;
    const bool waits = t.read_interval == port_maxdword &&
                       t.read_total_multiplier == port_maxdword && t.read_total_constant != 0;
    if (waits) {
      const int64_t until = g_line.clock + static_cast<int64_t>(t.read_total_constant) * fake_ms;
      if (!g_line.incoming.empty() && g_line.incoming.front().at <= until)
        g_line.clock = g_line.incoming.front().at;
      else
        g_line.clock = until;
    }
  }
  got = static_cast<uint32_t>(g_line.take(buffer, size));
  return true;
}

bool port_write(port_handle*, const uint8_t* data, uint32_t size, uint32_t& written) {
  if (g_line.on_write) g_line.on_write();
  g_line.calls.push_back({"write", g_line.clock, std::vector<uint8_t>(data, data + size), 0});
  if (g_line.write_fails) {
    written = 0;
    g_line.error = fake_error_io;
    return false;
  }
  written = size;
  if (g_line.echo) g_line.arrive(g_line.clock, std::vector<uint8_t>(data, data + size));
  return true;
}

bool port_transmit_char(port_handle*, uint8_t byte) {
  g_line.calls.push_back({"char", g_line.clock, {byte}, 0});
  if (g_line.char_fails) {
    g_line.error = fake_error_io;
    return false;
  }
  if (g_line.echo) g_line.arrive(g_line.clock, {byte});
  return true;
}

bool port_escape(port_handle*, port_line_op op) {
  static const char* const names[] = {"rts+", "rts-", "dtr+", "dtr-"};
  g_line.calls.push_back({names[static_cast<int>(op)], g_line.clock, {}, 0});
  return false;  // no modem lines, as on a pseudo-terminal
}

bool port_counter(int64_t& ticks) {
  g_line.clock += g_line.counter_step;
  ticks = g_line.clock;
  return true;
}

bool port_counter_frequency(int64_t& per_second) {
  per_second = 1000000000;
  return true;
}

void port_sleep(uint32_t ms) {
  if (ms != 0) g_line.calls.push_back({"sleep", g_line.clock, {}, ms});
  g_line.clock += ms == 0 ? 1000 : static_cast<int64_t>(ms) * fake_ms;
}

int port_thread_priority() { return g_line.priority; }

void port_set_thread_priority(int priority) {
  g_line.calls.push_back({"priority", g_line.clock, {}, priority});
  g_line.priority = priority;
}

uint32_t port_last_error() { return g_line.error; }
