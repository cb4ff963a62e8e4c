#include "ThreadSync.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace ThreadSync {
namespace {

// One queued call; it lives on the stack of the worker that waits for it.
struct Request {
  const std::function<void()>* call;
  bool done = false;
};

struct Queue {
  std::mutex mutex;
  std::condition_variable queued;  // a request arrived, or Wake
  std::condition_variable served;  // a request was run
  std::deque<Request*> pending;
  bool woken = false;
  std::function<void()> wakeup;
};

Queue& TheQueue() {
  static Queue queue;
  return queue;
}

void CallWakeup(Queue& q) {
  std::function<void()> hook;
  {
    std::lock_guard lock(q.mutex);
    hook = q.wakeup;
  }
  if (hook) hook();
}

}  // namespace

void Synchronize(const std::function<void()>& call) {
  Queue& q = TheQueue();
  Request request{&call};
  {
    std::lock_guard lock(q.mutex);
    q.pending.push_back(&request);
  }
  q.queued.notify_all();
  CallWakeup(q);
  std::unique_lock lock(q.mutex);
  q.served.wait(lock, [&] { return request.done; });
}

bool CheckSynchronize(int timeoutMs) {
  Queue& q = TheQueue();
  std::unique_lock lock(q.mutex);
  if (q.pending.empty() && timeoutMs > 0) {
    q.queued.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return !q.pending.empty() || q.woken; });
  }
  q.woken = false;
  bool ran = false;
  while (!q.pending.empty()) {
    Request* request = q.pending.front();
    q.pending.pop_front();
    lock.unlock();
    std::exception_ptr failure;
    try {
      (*request->call)();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    // Once done is set the worker may go on and free the request: no access after this.
    request->done = true;
    q.served.notify_all();
    ran = true;
    if (failure) {
      const bool more = !q.pending.empty();
      lock.unlock();
      if (more) CallWakeup(q);
      std::rethrow_exception(failure);
    }
  }
  return ran;
}

void Wake() {
  Queue& q = TheQueue();
  {
    std::lock_guard lock(q.mutex);
    q.woken = true;
  }
  q.queued.notify_all();
}

void SetSynchronizeWakeup(std::function<void()> wakeup) {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  q.wakeup = std::move(wakeup);
}

}  // namespace ThreadSync
