#include "posix/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace zvp {

PtyServer::PtyServer(VirtualProgrammer* device, Clock* clock) : device_(device), clock_(clock) {}

PtyServer::~PtyServer() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

bool PtyServer::Open() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return false;
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
  const char* name = ptsname(master_);
  if (!name) return false;
  path_ = name;
  slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return false;
  // Raw on both sides: no echo, no line editing, no CR/LF translation.
  termios tio{};
  if (tcgetattr(slave_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
  }
  if (tcgetattr(master_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(master_, TCSANOW, &tio);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  return true;
}

void PtyServer::Run(int control_fd, const std::function<bool(const std::string&)>& control) {
  std::string control_line;
  std::vector<uint8_t> outbuf;
  while (!stop_) {
    const int64_t now = clock_->NowUs();
    if (reset_requested_.exchange(false)) device_->SendReset(now);
    // Send every byte whose time has come.
    outbuf.clear();
    while (device_->HasOutput() && device_->NextOutputTime() <= now)
      outbuf.push_back(device_->PopOutput());
    size_t off = 0;
    while (off < outbuf.size()) {
      const ssize_t w = write(master_, outbuf.data() + off, outbuf.size() - off);
      if (w > 0) {
        off += static_cast<size_t>(w);
      } else if (w < 0 && errno == EAGAIN) {
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, 10);
      } else {
        break;  // the terminal is gone; drop the answer
      }
    }

    int timeout_ms = 100;
    if (device_->HasOutput()) {
      const int64_t wait_us = device_->NextOutputTime() - clock_->NowUs();
      timeout_ms = static_cast<int>(std::clamp<int64_t>((wait_us + 999) / 1000, 0, 100));
    }
    pollfd fds[2] = {{master_, POLLIN, 0}, {control_fd, POLLIN, 0}};
    const int nfds = control_fd >= 0 ? 2 : 1;
    if (poll(fds, nfds, timeout_ms) < 0 && errno != EINTR) break;

    if (fds[0].revents & POLLIN) {
      uint8_t buf[512];
      const ssize_t r = read(master_, buf, sizeof buf);
      const int64_t at = clock_->NowUs();
      for (ssize_t i = 0; i < r; ++i) device_->Receive(buf[i], at);
    }
    if (nfds == 2 && (fds[1].revents & (POLLIN | POLLHUP))) {
      char c[256];
      const ssize_t r = read(control_fd, c, sizeof c);
      if (r <= 0) {
        control_fd = -1;  // end of the control input: keep serving
        continue;
      }
      for (ssize_t i = 0; i < r; ++i) {
        if (c[i] == '\n') {
          if (!control(control_line)) return;
          control_line.clear();
        } else {
          control_line += c[i];
        }
      }
    }
  }
}

}  // namespace zvp
