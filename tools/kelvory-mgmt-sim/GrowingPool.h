// The simulator's workers: one per open connection, up to a ceiling.
#ifndef KELVORY_TOOLS_KELVORY_MGMT_SIM_GROWINGPOOL_H_
#define KELVORY_TOOLS_KELVORY_MGMT_SIM_GROWINGPOOL_H_

#include <httplib.h>

#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace kl::sim {

// One worker per open connection, started when every worker is busy, up to a ceiling; then
// connections wait in the queue. httplib's own pool has a fixed size (8 here), so that a few
// clients that connect and say nothing hold every worker until their read timeout. One worker
// more than the connection cap, so that a new connection always gets one to shed another from.
class GrowingPool : public httplib::TaskQueue {
 public:
  explicit GrowingPool(size_t maxWorkers) : maxWorkers_(maxWorkers) {}
  ~GrowingPool() override { shutdown(); }

  void enqueue(std::function<void()> job) override {
    std::lock_guard<std::mutex> hold(mutex_);
    jobs_.push_back(std::move(job));
    if (jobs_.size() > idle_ && workers_.size() < maxWorkers_) {
      workers_.emplace_back([this] { Work(); });
    } else {
      ready_.notify_one();
    }
  }

  // Runs the jobs already queued, then ends every worker.
  void shutdown() override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& worker : workers_) {
      if (worker.joinable()) worker.join();
    }
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        ++idle_;
        ready_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
        --idle_;
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  const size_t maxWorkers_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::list<std::function<void()>> jobs_;
  std::vector<std::thread> workers_;  // only grows, under mutex_; joined by shutdown
  size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace kl::sim

#endif  // KELVORY_TOOLS_KELVORY_MGMT_SIM_GROWINGPOOL_H_
