// Calls that another thread makes into the window thread. The line test's worker
// updates its page's controls and tells the sheet through the same control layer
// as the window thread does; window controls belong to the thread that created
// them, so such a call is carried to the window thread by a sent message and the
// caller waits until it has run there.
//
// Why SendMessage: the window thread handles sent messages wherever it waits for
// messages, in the program's own loop, in a message box, in the About box's modal
// loop, and in the wait for the worker at exit (worker_join delivers sent messages
// while it waits). So the worker never waits on a window thread that waits on it.
//
// The message carries no pointer: any program may send a window any message, and
// a pointer taken from a message would let it run code of its choosing here. It
// carries a number that names a call registered in this process; a number that
// names no waiting call is ignored.
#pragma once

#include <windows.h>

#include <functional>

namespace window_calls {

// Runs call on the thread that owns window and returns when it has run; on that
// thread itself it runs at once. When the window does not exist (any more), the
// call does not run.
void Run(HWND window, const std::function<void()>& call);

// True when the calling thread owns window (or the window does not exist, when no
// other thread can be asked either).
bool OnWindowThread(HWND window);

// A window procedure's part: answers true when message carried a call, which has
// then been run (or ignored, when it named none). Every window that Run is given
// must pass its messages here first.
bool Dispatch(UINT message, WPARAM wparam, LPARAM lparam);

// The value of Run's private message, for window procedures that need to let it
// through untouched.
UINT Message();

}  // namespace window_calls
