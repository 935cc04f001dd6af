#include "pages/worker_thread.h"

#include <windows.h>

struct worker_thread {
  HANDLE handle = nullptr;
  worker_proc proc = nullptr;
  void* arg = nullptr;
};

namespace {

DWORD WINAPI WorkerMain(LPVOID parameter) {
  auto* worker = static_cast<worker_thread*>(parameter);
  worker->proc(worker->arg);
  return 0;
}

}  // namespace

worker_thread* worker_create_suspended(worker_proc proc, void* arg) {
  auto* worker = new worker_thread{nullptr, proc, arg};
  // CreateThread answers NULL (not INVALID_HANDLE_VALUE) when it fails.
  worker->handle = CreateThread(nullptr, 0, &WorkerMain, worker, CREATE_SUSPENDED, nullptr);
  if (!worker->handle) {
    delete worker;
    return nullptr;
  }
  return worker;
}

void worker_resume(worker_thread* worker) {
  // ResumeThread answers the previous suspend count, (DWORD)-1 on failure; a thread
  // created suspended has a count of 1 and runs when it drops to 0.
  ResumeThread(worker->handle);
}

void worker_join(worker_thread* worker) {
  if (!worker) return;
  for (;;) {
    // Wakes for the thread's end and for messages that another thread sends to
    // this one (the worker's control updates go to the window thread through
    // SendMessage, which blocks the worker until they are handled).
    const DWORD wait =
        MsgWaitForMultipleObjects(1, &worker->handle, FALSE, INFINITE, QS_SENDMESSAGE);
    if (wait == WAIT_OBJECT_0) break;
    if (wait != WAIT_OBJECT_0 + 1) {
      // The wait itself failed: the thread must still be waited for before it is
      // released, messages or not.
      WaitForSingleObject(worker->handle, INFINITE);
      break;
    }
    // PeekMessage delivers the pending sent messages before it looks at the queue;
    // PM_QS_SENDMESSAGE keeps it away from posted input, so no other window work
    // runs while the window thread waits.
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  CloseHandle(worker->handle);
  delete worker;
}
