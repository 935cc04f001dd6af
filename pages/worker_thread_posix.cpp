#include "pages/worker_thread.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

struct worker_thread {
  std::mutex mutex;
  std::condition_variable gate;
  bool resumed = false;
  std::thread thread;
};

worker_thread* worker_create_suspended(worker_proc proc, void* arg) {
  auto* worker = new worker_thread;
  try {
    worker->thread = std::thread([worker, proc, arg] {
      {
        std::unique_lock lock(worker->mutex);
        worker->gate.wait(lock, [worker] { return worker->resumed; });
      }
      proc(arg);
    });
  } catch (const std::system_error&) {
    // No thread could be created (resources exhausted): the caller reports it.
    delete worker;
    return nullptr;
  }
  return worker;
}

void worker_resume(worker_thread* worker) {
  {
    std::lock_guard lock(worker->mutex);
    worker->resumed = true;
  }
  worker->gate.notify_one();
}

void worker_join(worker_thread* worker) {
  if (!worker) return;
  if (worker->thread.joinable()) worker->thread.join();
  delete worker;
}
