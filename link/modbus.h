// Modbus on the serial line: the RTU and ASCII framings as frame codecs, and
// modbus_request, which builds request payloads and checks the answers, for
// callers that use all of them.
#pragma once

#include "link/modbus_ascii.h"
#include "link/modbus_request.h"
#include "link/modbus_rtu.h"
