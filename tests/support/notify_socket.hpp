#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.hpp"

namespace kelvo::testing {

// A Unix datagram socket bound in a fresh folder, where a service manager's NOTIFY_SOCKET would
// be. A thread keeps reading it: the kernel queues only a few datagrams, and a sender blocks
// while the queue is full.
class NotifySocket {
 public:
  NotifySocket();
  ~NotifySocket();
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Every datagram received so far, oldest first, including any still queued.
  std::vector<std::string> received();

 private:
  // Moves the queued datagrams into received_; the caller holds mutex_.
  void drain();
  void read_until_stopped();

  TempDir dir_;
  std::filesystem::path path_;
  int fd_ = -1;
  std::mutex mutex_;
  std::vector<std::string> received_;
  std::atomic<bool> stopping_ = false;
  std::thread reader_;
};

}  // namespace kelvo::testing
