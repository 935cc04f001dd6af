// The line test's worker thread, one implementation per platform, picked by CMake:
// worker_thread_win32.cpp (a Win32 thread created suspended, then resumed) and
// worker_thread_posix.cpp (a standard-library thread held at a gate until it is
// resumed). The page starts one worker per test and waits for it to end before it
// starts the next one or goes away.
#pragma once

// A worker thread; owned by whoever created it and released by worker_join.
struct worker_thread;

using worker_proc = void (*)(void* arg);

// A thread that runs proc(arg) once it is resumed; nullptr when the system cannot
// create one. The thread does not start running proc before worker_resume.
worker_thread* worker_create_suspended(worker_proc proc, void* arg);

// Lets the thread run proc. Call it exactly once, before worker_join.
void worker_resume(worker_thread* thread);

// Waits until proc has returned and the thread has ended, then releases the
// thread; thread may be null (nothing to wait for). The worker updates the page's
// controls through the control layer, whose Win32 binding sends those calls to
// the window thread and waits for them. So that the window thread may wait here
// without a deadlock, the Windows implementation delivers the messages that other
// threads send to the waiting thread for as long as it waits (nothing posted is
// taken from the queue). Call it from the thread that created the worker.
void worker_join(worker_thread* thread);
