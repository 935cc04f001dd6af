// Named events on hosts other than Windows: there is no system-wide object that a
// calling program could have created under a name, so a name opens nothing and the
// handle stays null, as for a name that no event has on Windows.
#include "app/command_line.h"

EventHandle OpenNamedEvent(std::string_view) { return nullptr; }

void CloseNamedEvent(EventHandle) {}
