// Named events on Windows: the calling program creates them and passes their
// names on the command line.
#include <windows.h>

#include "app/command_line.h"
#include "common/code_pages.h"

EventHandle OpenNamedEvent(std::string_view name) {
  const std::wstring wide = Cp1251ToWide(name);
  // Null, not INVALID_HANDLE_VALUE, when no event of that name opens.
  return OpenEventW(EVENT_ALL_ACCESS, FALSE, wide.c_str());
}

void CloseNamedEvent(EventHandle event) {
  if (event) CloseHandle(event);
}
