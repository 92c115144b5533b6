// A test bench for the link: the virtual programmer behind a SimPort with
// virtual time, a hook on the PC's writes (HookPort, for scripted replies
// and a port that goes away or refuses in the middle of an operation; its
// refusals show in the trace), every port call recorded by a wire trace,
// and the program's headless window, all installed in the process-wide
// AppState.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "link/wire_trace.h"
#include "sim/sim_port.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_programmer.h"
#include "tests/support/hook_port.h"
#include "tests/support/test_window.h"

namespace zvp::test {

class LinkTest : public ::testing::Test {
 protected:
  LinkTest()
      : sim_port_(&device_, &clock_),
        hook_(&sim_port_),
        trace_(&clock_, [this](const std::string& line) { lines_.push_back(Strip(line)); }),
        port_(&hook_, &trace_) {}

  void SetUp() override {
    ResetAppState();
    AppState& app = App();
    app.port = &port_;
    app.clock = &clock_;
    InstallWindow(&*window_);
    app.trace = &trace_;
  }
  void TearDown() override {
    AppState& app = App();
    app.port = nullptr;
    app.clock = nullptr;
    InstallWindow(nullptr);
    app.trace = nullptr;
  }

  // Opens COM1 without any traffic and forgets the trace so far.
  void OpenQuietly() {
    ASSERT_TRUE(sim_port_.Open("COM1"));
    lines_.clear();
  }
  void DeviceSends(const std::vector<uint8_t>& bytes, int64_t delay_us = 0) {
    device_.SendRaw(bytes.data(), bytes.size(), clock_.NowUs() + delay_us);
  }
  // Trace lines whose call is `call` ("READ", "WRITE", ...), details only.
  std::vector<std::string> Calls(const std::string& call) const {
    std::vector<std::string> out;
    for (const std::string& l : lines_)
      if (l.rfind(call + " ", 0) == 0 || l == call) out.push_back(l.size() > call.size() ? l.substr(call.size() + 1) : "");
    return out;
  }
  // Calls in order, without their details.
  std::vector<std::string> CallNames() const {
    std::vector<std::string> out;
    for (const std::string& l : lines_) out.push_back(l.substr(0, l.find(' ')));
    return out;
  }

  VirtualClock clock_;
  VirtualProgrammer device_;
  SimPort sim_port_;
  HookPort hook_;
  TestWindow window_;
  std::vector<std::string> lines_;
  WireTrace trace_;
  TracedPort port_;

 private:
  // Drops the time stamp: "12.345 READ 1/1 4F" -> "READ 1/1 4F".
  static std::string Strip(const std::string& line) { return line.substr(line.find(' ') + 1); }
};

}  // namespace zvp::test
