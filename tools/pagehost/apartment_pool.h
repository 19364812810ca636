// The page threads: a fixed pool, each thread in its own single-threaded
// apartment for its whole life (entered once, as a web server's worker
// threads are), taking tasks from one bounded queue. The queue refuses
// rather than grows, so a burst of requests is answered 503 at once instead
// of waiting without bound (http_server.h).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ApartmentPool {
 public:
  // Starts `threads` page threads; at most `maxQueued` tasks wait at once.
  ApartmentPool(int threads, size_t maxQueued);
  // Runs the tasks still queued, then joins every thread.
  ~ApartmentPool();
  ApartmentPool(const ApartmentPool&) = delete;
  ApartmentPool& operator=(const ApartmentPool&) = delete;

  // Queues `task` for a page thread; false (and `task` dropped) when the
  // queue is full.
  bool TrySubmit(std::function<void()> task);

 private:
  void Work();

  const size_t maxQueued_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};
