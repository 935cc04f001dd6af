// The port layer: what the serial channel needs of the platform, one
// implementation per platform (port_win32.cpp over the Win32 communications API,
// port_posix.cpp over termios). The channel's timing, statuses and log lines are
// written once, on top of these calls.
//
// The semantics are those of the Win32 calls the names recall: a call reports
// success as true and leaves the reason of a failure in port_last_error() (the
// thread's GetLastError() on Windows, errno elsewhere). Read time-outs follow the
// Windows COMMTIMEOUTS rules on every platform; the channel relies on the
// combination interval = multiplier = port_maxdword with a constant C: a read
// returns at once with whatever is waiting, else waits up to C ms for the first
// byte and returns as soon as one arrives (with no byte when C passes).
#pragma once

#include <cstdint>
#include <string>

// An open port; owned by whoever opened it and released with port_close.
struct port_handle;

inline constexpr uint32_t port_maxdword = 0xFFFFFFFFu;

// Line settings in the values of the Windows DCB: parity 0 none, 1 odd, 2 even;
// stopbits 0 one, 1 one and a half, 2 two.
struct port_line {
  uint32_t baud = 9600;
  uint8_t bytesize = 8;
  uint8_t parity = 0;
  uint8_t stopbits = 0;
};

// The five fields of COMMTIMEOUTS, in milliseconds.
struct port_timeouts {
  uint32_t read_interval = 0;
  uint32_t read_total_multiplier = 0;
  uint32_t read_total_constant = 0;
  uint32_t write_total_multiplier = 0;
  uint32_t write_total_constant = 0;
};

// The modem lines a transmitter can be switched with (EscapeCommFunction).
enum class port_line_op { set_rts, clear_rts, set_dtr, clear_dtr };

// The thread priority the channel raises to around a switched transmission
// (THREAD_PRIORITY_ABOVE_NORMAL).
inline constexpr int port_priority_above_normal = 1;

// The device path a port name opens: "COMn" becomes "\\.\COMn" on Windows and
// the device the ports folder or the default numbering gives on Linux; any other
// name is a path of its own and comes back unchanged.
std::wstring port_device_path(const std::wstring& name);

// Opens path for reading and writing, exclusively, an existing device only.
// nullptr on failure (reason in port_last_error()).
port_handle* port_open(const std::wstring& path);
void port_close(port_handle* port);

// Whether a failure of port_open with this error still means that a port is
// there (busy or refused rather than missing).
bool port_error_means_present(uint32_t error);

bool port_set_line(port_handle* port, const port_line& line);
bool port_get_timeouts(port_handle* port, port_timeouts& timeouts);
bool port_set_timeouts(port_handle* port, const port_timeouts& timeouts);
// Discards what has arrived and aborts pending operations (PurgeComm with all
// four flags on Windows; on Linux the output is left to go out, see port_posix.cpp).
bool port_purge(port_handle* port);
// Bytes waiting in the input queue (ClearCommError's cbInQue).
bool port_input_queue(port_handle* port, uint32_t& bytes);
// Synchronous read of up to size bytes under the port's time-outs; got = 0 with
// true means the time-out passed.
bool port_read(port_handle* port, uint8_t* buffer, uint32_t size, uint32_t& got);
// Synchronous write of the whole buffer under the write time-outs.
bool port_write(port_handle* port, const uint8_t* data, uint32_t size, uint32_t& written);
// Sends one character ahead of anything queued (TransmitCommChar).
bool port_transmit_char(port_handle* port, uint8_t byte);
// Raises or drops RTS or DTR. Fails on lines without modem signals (a
// pseudo-terminal); the channel ignores that.
bool port_escape(port_handle* port, port_line_op op);

// The high-resolution counter and its ticks per second.
bool port_counter(int64_t& ticks);
bool port_counter_frequency(int64_t& per_second);

// Sleep(ms); 0 gives up the rest of the time slice.
void port_sleep(uint32_t ms);

// The calling thread's priority in Windows terms (0 normal); best effort where
// the platform does not allow raising it.
int port_thread_priority();
void port_set_thread_priority(int priority);

uint32_t port_last_error();
