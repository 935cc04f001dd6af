// The port layer over the Win32 communications API.
#include <windows.h>

#include <cstring>
#include <string>

#include "link/port.h"
#include "link/port_names.h"

struct port_handle {
  HANDLE handle = INVALID_HANDLE_VALUE;
};

// The configuration block SetCommConfig takes, as the channel fills it.
static_assert(sizeof(COMMCONFIG) == 52, "COMMCONFIG is 52 bytes");

std::wstring port_device_path(const std::wstring& name) {
  if (com_port_number(name) < 0) return name;
  return L"\\\\.\\" + name;
}

port_handle* port_open(const std::wstring& path) {
  // No sharing: the port is ours alone until it is closed.
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  auto* port = new port_handle;
  port->handle = h;
  return port;
}

void port_close(port_handle* port) {
  if (!port) return;
  CloseHandle(port->handle);
  delete port;
}

bool port_error_means_present(uint32_t error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_GEN_FAILURE ||
         error == ERROR_SHARING_VIOLATION;
}

bool port_set_line(port_handle* port, const port_line& line) {
  COMMCONFIG config;
  std::memset(&config, 0, sizeof config);
  config.dwSize = sizeof config;
  config.wVersion = 1;
  config.dcb.DCBlength = sizeof(DCB);
  config.dcb.BaudRate = line.baud;
  config.dcb.ByteSize = line.bytesize;
  config.dcb.Parity = line.parity;
  config.dcb.StopBits = line.stopbits;
  config.dcb.fBinary = 1;
  config.dcb.fParity = line.parity != 0 ? 1 : 0;
  // Everything else stays 0: no flow control, DTR and RTS left to the channel,
  // no abort on error, no special characters.
  return SetCommConfig(port->handle, &config, sizeof config) != FALSE;
}

bool port_get_timeouts(port_handle* port, port_timeouts& timeouts) {
  COMMTIMEOUTS t{};
  if (!GetCommTimeouts(port->handle, &t)) return false;
  timeouts.read_interval = t.ReadIntervalTimeout;
  timeouts.read_total_multiplier = t.ReadTotalTimeoutMultiplier;
  timeouts.read_total_constant = t.ReadTotalTimeoutConstant;
  timeouts.write_total_multiplier = t.WriteTotalTimeoutMultiplier;
  timeouts.write_total_constant = t.WriteTotalTimeoutConstant;
  return true;
}

bool port_set_timeouts(port_handle* port, const port_timeouts& timeouts) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = timeouts.read_interval;
  t.ReadTotalTimeoutMultiplier = timeouts.read_total_multiplier;
  t.ReadTotalTimeoutConstant = timeouts.read_total_constant;
  t.WriteTotalTimeoutMultiplier = timeouts.write_total_multiplier;
  t.WriteTotalTimeoutConstant = timeouts.write_total_constant;
  return SetCommTimeouts(port->handle, &t) != FALSE;
}

bool port_purge(port_handle* port) {
  return PurgeComm(port->handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) !=
         FALSE;
}

bool port_input_queue(port_handle* port, uint32_t& bytes) {
  DWORD errors = 0;
  COMSTAT stat{};
  if (!ClearCommError(port->handle, &errors, &stat)) return false;
  bytes = stat.cbInQue;
  return true;
}

bool port_read(port_handle* port, uint8_t* buffer, uint32_t size, uint32_t& got) {
  DWORD n = 0;
  const BOOL ok = ReadFile(port->handle, buffer, size, &n, nullptr);
  got = n;
  return ok != FALSE;
}

bool port_write(port_handle* port, const uint8_t* data, uint32_t size, uint32_t& written) {
  DWORD n = 0;
  const BOOL ok = WriteFile(port->handle, data, size, &n, nullptr);
  written = n;
  if (!ok) return false;
  // A write time-out completes the call successfully with part of the block.
  if (n != size) {
    SetLastError(ERROR_SEM_TIMEOUT);
    return false;
  }
  return true;
}

bool port_transmit_char(port_handle* port, uint8_t byte) {
  return TransmitCommChar(port->handle, static_cast<char>(byte)) != FALSE;
}

bool port_escape(port_handle* port, port_line_op op) {
  DWORD function = CLRRTS;
  switch (op) {
    case port_line_op::set_rts: function = SETRTS; break;
    case port_line_op::clear_rts: function = CLRRTS; break;
    case port_line_op::set_dtr: function = SETDTR; break;
    case port_line_op::clear_dtr: function = CLRDTR; break;
  }
  return EscapeCommFunction(port->handle, function) != FALSE;
}

bool port_counter(int64_t& ticks) {
  LARGE_INTEGER value;
  if (!QueryPerformanceCounter(&value)) return false;
  ticks = value.QuadPart;
  return true;
}

bool port_counter_frequency(int64_t& per_second) {
  LARGE_INTEGER value;
  if (!QueryPerformanceFrequency(&value)) return false;
  per_second = value.QuadPart;
  return true;
}

void port_sleep(uint32_t ms) { Sleep(ms); }

int port_thread_priority() {
  const int p = GetThreadPriority(GetCurrentThread());
  return p == THREAD_PRIORITY_ERROR_RETURN ? THREAD_PRIORITY_NORMAL : p;
}

void port_set_thread_priority(int priority) { SetThreadPriority(GetCurrentThread(), priority); }

uint32_t port_last_error() { return GetLastError(); }
