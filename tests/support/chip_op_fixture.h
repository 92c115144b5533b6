// A bench for the chip operations: the port open and chosen, an MTP chip at
// 5.0 V with 12 V programming chosen on the window as BuildOperationHeader
// reads them, a way to run an operation as the engine does, and scripted
// replies through the link bench's hook on the PC's writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "engine/engine.h"
#include "link/connection.h"
#include "link/operation_header.h"
#include "tests/support/link_fixture.h"
#include "tests/support/header_from_window.h"

namespace zvp::test {

class ChipOpTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    OpenQuietly();
    AppState& app = App();
    app.port_chosen = true;
    app.programmer_found = true;
    for (int id : {ctl::kChipMtp, ctl::kVdd50, ctl::kVpp12}) window_->Click(id);
  }

  void SetRange(uint32_t first, uint32_t last) {
    App().range_start = first;
    App().range_end = last;
  }

  // As StartOperation and the worker would: the header from the window, then
  // the operation on this thread.
  void Run(uint8_t code) {
    BuildHeaderFromWindow();
    lines_.clear();
    RunOperationNow(code);
  }

  // The programmer answers the header of `command` and then sends `reply`
  // (instead of anything of its own), `delay_us` after the header went out.
  void ScriptAfterHeader(int command, std::vector<uint8_t> reply, int64_t delay_us = 0) {
    device_.faults().silent_after_header = command;
    hook_.after_write = [this, command, reply, delay_us](const uint8_t* buf, uint32_t n) {
      if (n == kHeaderSize && buf[0] == 'S' && buf[hdr::kCommand] == command)
        device_.SendRaw(reply.data(), reply.size(), clock_.NowUs() + delay_us);
    };
  }

  // The last header the programmer received.
  VirtualProgrammer::Header LastHeader() const {
    EXPECT_FALSE(device_.headers().empty());
    return device_.headers().empty() ? VirtualProgrammer::Header{} : device_.headers().back();
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
};

}  // namespace zvp::test
