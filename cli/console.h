// The console around kv4t: UTF-8 text on the terminal, whether a stream is a
// terminal (for the progress bar), Ctrl-C caught as a request to stop, and the
// serial ports' other names. One implementation per platform.
#pragma once

#include <string>
#include <vector>

// Windows consoles show UTF-8 only when told; Linux terminals already do.
void console_init();
// Whether standard error is a terminal.
bool console_stderr_is_terminal();
// Whether standard input is a terminal (someone there to answer a prompt).
bool console_stdin_is_terminal();
// A line typed on standard input, without its line end; false at the end of the
// input and once Ctrl-C has asked the command to stop (console_interrupted).
bool console_read_line(std::string& line);
// From now on the first Ctrl-C only asks the running command to stop (it closes
// the port and returns the converter to its protocol first); a second one ends
// the program at once.
void console_catch_interrupt();
bool console_interrupted();

// Other names of a serial device, for the listing (the /dev/serial/by-id links
// pointing at it on Linux); none on Windows.
std::vector<std::string> port_aliases(const std::string& device_path);
// A port given by one of those names: the device path it stands for, or the name
// unchanged when it is none of them.
std::string resolve_port_alias(const std::string& name);
