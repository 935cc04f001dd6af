// The lookups behind the exported functions, over a given argument list and with
// a given allocator, so they can be exercised without the shared library.
//
// Every lookup answers 1 when an argument qualifies and 0 otherwise; on 0 the
// outputs are untouched. Key 0 (unknown switches) is never found. Texts are
// buffers from allocate (or the constant empty text); give them back with
// free_text.
#pragma once

#include <cstddef>

#include "pargo/args.h"

namespace pargo {

using allocate_fn = void* (*)(std::size_t size);

// The library's own allocator (std::malloc).
void* allocate_text(std::size_t size) noexcept;

// The one empty text handed out for switches without value; free_text ignores it.
char* constant_empty_text() noexcept;

// Frees a text received from a lookup; null and the constant empty text are ignored.
void free_text(char* text) noexcept;

int lookup_int(const argument_list& list, int key, int* value) noexcept;
int lookup_bool(const argument_list& list, int key, int* value) noexcept;

// A null text answers 0. When allocate fails *text is null and the answer is 1.
int lookup_string(const argument_list& list, int key, char** text,
                  allocate_fn allocate = allocate_text) noexcept;
int lookup_io(const argument_list& list, int* io, char** parameter,
              allocate_fn allocate = allocate_text) noexcept;

}  // namespace pargo
