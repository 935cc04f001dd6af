// The program's string table for code that runs without the window system's
// resources: the same texts, by the same identifiers, as the resource script's
// STRINGTABLE (both are made from common/string_table.inc).
#pragma once

#include "common/resource_ids.h"

// The text of a string identifier as UTF-8 source text, or nullptr when the table
// has no such string.
const char* ProgramTextUtf8(int id);
