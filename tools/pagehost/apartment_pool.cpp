#include "tools/pagehost/apartment_pool.h"

#include "tools/pagehost/page_object.h"

ApartmentPool::ApartmentPool(int threads, size_t maxQueued) : maxQueued_(maxQueued) {
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

ApartmentPool::~ApartmentPool() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool ApartmentPool::TrySubmit(std::function<void()> task) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (tasks_.size() >= maxQueued_) return false;
    tasks_.push_back(std::move(task));
  }
  ready_.notify_one();
  return true;
}

void ApartmentPool::Work() {
  EnterPageApartment();
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) break;  // stopping and nothing left
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
  LeavePageApartment();
}
