// A bench for the chip operations: the port open and chosen, the window's
// choices that BuildOperationHeader reads, a way to run an operation as the
// engine does, and a hook on the PC's writes (HookPort) for scripted replies
// and for a port that goes away in the middle of an operation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "link/connection.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "tests/support/hook_port.h"
#include "tests/support/link_fixture.h"
#include "core/control_ids.h"

namespace zvp::test {

class ChipOpTest : public LinkTest {
 protected:
  ChipOpTest() : hooked_(&sim_port_), traced_(&hooked_, &trace_) {}

  void SetUp() override {
    LinkTest::SetUp();
    OpenQuietly();
    AppState& app = App();
    app.port = &traced_;
    app.port_chosen = true;
    app.programmer_found = true;
    surface_.checked_[ctl::kChipMtp] = true;
    surface_.checked_[ctl::kVdd50] = true;
    surface_.checked_[ctl::kVpp12] = true;
  }

  void SetRange(uint32_t first, uint32_t last) {
    App().range_start = first;
    App().range_end = last;
  }

  // As StartOperation and the worker would: the header from the window, then
  // the operation on this thread.
  void Run(uint8_t code) {
    BuildOperationHeader();
    lines_.clear();
    RunOperationNow(code);
  }

  // The programmer answers the header of `command` and then sends `reply`
  // (instead of anything of its own), `delay_us` after the header went out.
  void ScriptAfterHeader(int command, std::vector<uint8_t> reply, int64_t delay_us = 0) {
    device_.faults().silent_after_header = command;
    hooked_.after_write = [this, command, reply, delay_us](const uint8_t* buf, uint32_t n) {
      if (n == kHeaderSize && buf[0] == 'S' && buf[20] == command)
        device_.SendRaw(reply.data(), reply.size(), clock_.NowUs() + delay_us);
    };
  }

  // The last header the programmer received.
  VirtualProgrammer::Header LastHeader() const {
    EXPECT_FALSE(device_.headers().empty());
    return device_.headers().empty() ? VirtualProgrammer::Header{} : device_.headers().back();
  }

  // Status texts that start with `prefix`.
  std::vector<std::string> StatusesStarting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& s : surface_.statuses_)
      if (s.rfind(prefix, 0) == 0) out.push_back(s);
    return out;
  }

  // Reads that brought nothing, from the end of the trace back to the last
  // read that brought something: the tries spent on a silent programmer.
  int TrailingEmptyReads() const {
    const auto reads = Calls("READ");
    int n = 0;
    for (auto it = reads.rbegin(); it != reads.rend() && it->rfind("0/", 0) == 0; ++it) ++n;
    return n;
  }

  // Writes after the header (the data the PC streamed), in order.
  std::vector<std::string> DataWrites() const {
    auto writes = Calls("WRITE");
    if (!writes.empty()) writes.erase(writes.begin());
    return writes;
  }

  HookPort hooked_;
  TracedPort traced_;
};

}  // namespace zvp::test
