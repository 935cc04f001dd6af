#include "app/window_calls.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>

namespace window_calls {

namespace {

// WM_APP and above are free for a program's own windows; the sheet's own messages
// (WM_USER + ...) lie below.
constexpr UINT kCallMessage = WM_APP + 0x2A1;
// wParam of the message: a plain mark, so that a stray WM_APP message of another
// meaning is not taken for a call.
constexpr WPARAM kCallMark = 0x4B563454;  // "KV4T"

enum class State { waiting, running, done };

struct Pending {
  const std::function<void()>* call;
  State state = State::waiting;
};

std::mutex g_mutex;
std::condition_variable g_done;
std::map<uint64_t, Pending> g_pending;
uint64_t g_last = 0;

}  // namespace

UINT Message() { return kCallMessage; }

bool OnWindowThread(HWND window) {
  const DWORD owner = GetWindowThreadProcessId(window, nullptr);
  return owner == 0 || owner == GetCurrentThreadId();
}

void Run(HWND window, const std::function<void()>& call) {
  if (!IsWindow(window)) return;
  if (OnWindowThread(window)) {
    call();
    return;
  }
  uint64_t id;
  {
    std::lock_guard lock(g_mutex);
    id = ++g_last;
    g_pending.emplace(id, Pending{&call});
  }
  // Returns once the window thread has handled the message; at once, with the call
  // still waiting, when the window has gone.
  SendMessageW(window, kCallMessage, kCallMark, static_cast<LPARAM>(id));
  std::unique_lock lock(g_mutex);
  // A message sent by someone else with this number may have started the call
  // first, and the window thread may be inside it still (in a message box, say):
  // the caller's objects must live until it has returned.
  g_done.wait(lock, [id] { return g_pending.at(id).state != State::running; });
  g_pending.erase(id);
}

bool Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != kCallMessage || wparam != kCallMark) return false;
  const std::function<void()>* call = nullptr;
  const auto id = static_cast<uint64_t>(lparam);
  {
    std::lock_guard lock(g_mutex);
    auto it = g_pending.find(id);
    if (it == g_pending.end() || it->second.state != State::waiting) return true;
    it->second.state = State::running;
    call = it->second.call;
  }
  (*call)();
  {
    std::lock_guard lock(g_mutex);
    g_pending.at(id).state = State::done;
  }
  g_done.notify_all();
  return true;
}

}  // namespace window_calls
