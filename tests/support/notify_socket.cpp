#include "support/notify_socket.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kelvo::testing {

NotifySocket::NotifySocket() : path_(dir_.path() / "notify") {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = path_.string();
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long");
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot bind " + path + ": " + std::strerror(errno));
  }
  reader_ = std::thread([this] { read_until_stopped(); });
}

NotifySocket::~NotifySocket() {
  stopping_ = true;
  reader_.join();
  ::close(fd_);
}

std::vector<std::string> NotifySocket::received() {
  const std::lock_guard lock(mutex_);
  drain();
  return received_;
}

void NotifySocket::drain() {
  std::string buffer(64 * 1024, '\0');
  for (;;) {
    const ssize_t length = ::recv(fd_, buffer.data(), buffer.size(), 0);
    if (length < 0) return;
    received_.emplace_back(buffer.data(), static_cast<std::size_t>(length));
  }
}

void NotifySocket::read_until_stopped() {
  while (!stopping_) {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, 20) <= 0) continue;
    const std::lock_guard lock(mutex_);
    drain();
  }
}

}  // namespace kelvo::testing
