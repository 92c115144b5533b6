// Writes the reply fuzzer's seed corpus: each seed runs one operation
// against the virtual programmer (sim/) and records what every read of the
// port brought, in the script form of fuzz/scripted_port.h. Replayed on the
// scripted port the seed must end with the same status text, else this
// program fails.
//
// Usage: reply_seeds FOLDER    (the tree's corpus is fuzz/corpus/replies)
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/reply_input.h"
#include "fuzz/reply_world.h"
#include "fuzz/scripted_port.h"
#include "core/forwarding_port.h"
#include "sim/sim_port.h"
#include "sim/virtual_programmer.h"

namespace {

using zvp::fuzz::ReplyChoices;
using zvp::fuzz::ReplyWorld;
using zvp::fuzz::ScriptedPort;

// Keeps what every read brought as script entries.
class RecordingPort final : public zvp::ForwardingPort {
 public:
  explicit RecordingPort(zvp::SerialPort* inner) : ForwardingPort(inner) {}

  bool Read(uint8_t* buf, uint32_t n, uint32_t* got) override {
    return Record(inner()->Read(buf, n, got), buf, got);
  }
  bool ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) override {
    return Record(inner()->ReadWaiting(buf, n, got), buf, got);
  }

  std::vector<uint8_t> script;

 private:
  bool Record(bool ok, const uint8_t* buf, const uint32_t* got) {
    if (!ok) {
      script.push_back(0xFF);
      return ok;
    }
    // A long read is replayed as several: the first takes what one code
    // can announce, and the caller's next read the rest.
    uint32_t done = 0;
    do {
      const uint32_t chunk = std::min(*got - done, ScriptedPort::kMaxChunk);
      script.push_back(static_cast<uint8_t>(chunk));
      script.insert(script.end(), buf + done, buf + done + chunk);
      done += chunk;
    } while (done < *got);
    return ok;
  }
};

enum Preload : unsigned {
  kNothing = 0,
  kMemory = 1,  // the programmer memory holds the code file
  kChip = 2,    // so does the chip
  kReset = 4,   // the programmer has just sent its reset message
};

struct Seed {
  const char* file;
  const char* operation;
  ReplyChoices choices;
  unsigned preload;
};

ReplyChoices With(bool debug, bool loaded, uint16_t end, uint8_t options = 0) {
  ReplyChoices c;
  c.debug = debug;
  c.memory_loaded = loaded;
  c.start = 0;
  c.end = end;
  c.options = options;
  return c;
}

// Option bits in reply_world.cpp's order: blank check, erase, verify, SMART,
// LDC, read protection, hardware write protection.
constexpr uint8_t kEraseVerifySmartProtect = 0x02 | 0x04 | 0x08 | 0x20 | 0x40;
constexpr uint8_t kBlankVerifyReadProtect = 0x01 | 0x04 | 0x20;

std::vector<Seed> Seeds() {
  ReplyChoices view_chip = With(false, false, 0x3F);
  view_chip.view_chip = true;
  view_chip.view_ascii = true;
  ReplyChoices view_page = With(false, true, 0x3F);
  view_page.view_row = 0x20;
  return {
      {"connect", "ConnectPort", With(false, false, 0x3F), kNothing},
      {"reset_poll", "ResetPoll", With(false, false, 0x3F), kReset},
      {"chip_checksum", "2 chip-checksum", With(false, false, 0x3F), kNothing},
      {"blank_check", "3 blank-check", With(false, false, 0x3F), kNothing},
      {"erase", "4 erase-mtp", With(false, false, 0x3F), kNothing},
      {"verify", "5 verify-chip", With(false, true, 0x3F), kMemory | kChip},
      {"verify_debug", "5 verify-chip", With(true, true, 0x3F), kChip},
      {"smart", "6 enable-smart", With(false, false, 0x3F), kNothing},
      {"read_protect", "7 read-protect", With(false, false, 0x3F), kNothing},
      {"ldc_protect", "8 ldc-protect", With(false, false, 0x3F), kNothing},
      {"hw_write_protect", "9 hw-write-protect", With(false, false, 0x3F), kNothing},
      {"program", "11 program-chip", With(false, true, 0x3F), kMemory},
      {"memory_checksum", "13 memory-checksum", With(false, true, 0x3F), kMemory},
      {"download", "14 download", With(false, false, 0x3F), kNothing},
      {"copy_chip", "16 copy-chip", With(false, false, 0x3F), kChip},
      {"copy_chip_debug", "16 copy-chip", With(true, false, 0x3F), kChip},
      {"program_direct", "19 program-direct", With(true, true, 0x3F), kNothing},
      {"init_memory", "20 init-memory", With(false, false, 0x3F), kNothing},
      {"offline_master", "21 offline-master", With(false, false, 0x3F), kNothing},
      {"auto_program", "23 auto-program", With(false, true, 0x3F, kEraseVerifySmartProtect),
       kMemory},
      {"auto_program_debug", "23 auto-program", With(true, true, 0x3F, kBlankVerifyReadProtect),
       kNothing},
      {"save_hex", "24 save-hex", With(false, true, 0x3F), kMemory},
      {"open_and_download", "27 open-and-download", With(false, false, 0x3F), kNothing},
      {"view_memory", "30 view-show", With(false, true, 0x3F), kMemory},
      {"view_set_address", "31 view-set-address", view_page, kMemory},
      {"view_chip", "36 view-chip", view_chip, kChip},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: reply_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  ReplyWorld world;
  int failures = 0;
  for (Seed seed : Seeds()) {
    seed.choices.operation = ReplyWorld::OperationIndex(seed.operation);

    // A scan reports every 16 addresses: the seeds carry progress reports.
    zvp::SimConfig config;
    config.progress_step = 0x10;
    zvp::VirtualProgrammer device(config);
    const std::vector<uint8_t>& code = ReplyWorld::CodeImage();
    if (seed.preload & kMemory) std::copy(code.begin(), code.end(), device.memory().begin());
    if (seed.preload & kChip) std::copy(code.begin(), code.end(), device.chip().memory.begin());
    if (seed.preload & kReset) device.SendReset(world.clock().NowUs());
    zvp::SimPort sim(&device, &world.clock());
    RecordingPort recorder(&sim);
    const zvp::fuzz::OperationEnd recorded = world.Run(seed.choices, &recorder);

    std::vector<uint8_t> input = zvp::fuzz::ChoiceBytes(seed.choices);
    input.insert(input.end(), recorder.script.begin(), recorder.script.end());
    std::ofstream(folder / seed.file, std::ios::binary)
        .write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));

    ScriptedPort scripted(&world.clock());
    const zvp::fuzz::ReplyInput replay = zvp::fuzz::ParseReplyInput(input.data(), input.size());
    scripted.Load(replay.script, replay.script_size, replay.choices.event,
                  replay.choices.event_call, !replay.choices.port_refuses);
    const zvp::fuzz::OperationEnd replayed = world.Run(replay.choices, &scripted);
    const bool same = replayed.status == recorded.status && replayed.link_fault == recorded.link_fault;
    if (!same) ++failures;
    std::printf("%-20s %4zu bytes  %s%s  %s\n", seed.file, input.size(),
                recorded.link_fault ? "FAULT " : "", recorded.status.c_str(),
                same ? "" : ("<> replayed: " + replayed.status).c_str());
  }
  return failures == 0 ? 0 : 1;
}
