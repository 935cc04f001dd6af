// --trace FILE: a channel that writes every frame to a file as it goes out and
// comes back, with the time, the direction, the bytes in hex and the outcome.
#pragma once

#include <memory>
#include <string>

#include "link/serio.h"

// nullptr when the file cannot be created.
std::unique_ptr<serio> MakeTraceChannel(const std::string& path);

// The channel status as a word for the trace and the statistics ("ok", "timeout").
const char* StatusName(int status);
