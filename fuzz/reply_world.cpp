#include "fuzz/reply_world.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "link/address_range.h"
#include "image/code_buffer.h"
#include "progmem/code_file.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "link/connection.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "ui/code_view_panel.h"
#include "ui/control_ids.h"
#include "ui/dispatcher.h"
#include "ui/start_up.h"
#include "ui/window_choices.h"

namespace zvp::fuzz {

namespace fs = std::filesystem;

namespace {

enum class Kind { kConnectPort, kResetPoll, kEngine };

struct Operation {
  const char* name;
  Kind kind;
  uint8_t code;
};

// Every code the engine dispatches (link/engine.h), the port connection and
// the reset poll.
constexpr Operation kOperations[] = {
    {"ConnectPort", Kind::kConnectPort, 0},
    {"ResetPoll", Kind::kResetPoll, 0},
    {"1 connect", Kind::kEngine, OpConnect},
    {"2 chip-checksum", Kind::kEngine, OpChipChecksum},
    {"3 blank-check", Kind::kEngine, OpBlankCheck},
    {"4 erase-mtp", Kind::kEngine, OpEraseMtp},
    {"5 verify-chip", Kind::kEngine, OpVerifyChip},
    {"6 enable-smart", Kind::kEngine, OpEnableSmart},
    {"7 read-protect", Kind::kEngine, OpReadProtect},
    {"8 ldc-protect", Kind::kEngine, OpLdcProtect},
    {"9 hw-write-protect", Kind::kEngine, OpHardwareWriteProtect},
    {"11 program-chip", Kind::kEngine, OpProgramChip},
    {"13 memory-checksum", Kind::kEngine, OpMemoryChecksum},
    {"14 download", Kind::kEngine, OpDownloadCode},
    {"16 copy-chip", Kind::kEngine, OpCopyChipToBuffer},
    {"19 program-direct", Kind::kEngine, OpProgramChipDirect},
    {"20 init-memory", Kind::kEngine, OpInitMemory},
    {"21 offline-master", Kind::kEngine, OpMakeOfflineMaster},
    {"23 auto-program", Kind::kEngine, OpAutoProgram},
    {"24 save-hex", Kind::kEngine, OpSaveHexFile},
    {"27 open-and-download", Kind::kEngine, OpOpenAndDownload},
    {"30 view-show", Kind::kEngine, OpViewShow},
    {"31 view-set-address", Kind::kEngine, OpViewSetAddress},
    {"32 view-ascii", Kind::kEngine, OpViewAscii},
    {"33 view-prev-page", Kind::kEngine, OpViewPrevPage},
    {"34 view-next-page", Kind::kEngine, OpViewNextPage},
    {"35 view-memory", Kind::kEngine, OpViewMemory},
    {"36 view-chip", Kind::kEngine, OpViewChip},
};

// The option boxes in the order of the input's bits.
constexpr int kOptionBoxes[] = {ctl::kAutoBlankCheck,  ctl::kEraseBeforeProgram,
                                ctl::kAutoVerify,      ctl::kEnableSmart,
                                ctl::kAutoLdcProtect,  ctl::kAutoReadProtect,
                                ctl::kAutoHwWriteProtect};

constexpr char kConnectedText[] = "OK, 已检测到 ZVP-V2.0C 连接在端口 COM1";

}  // namespace

const std::vector<uint8_t>& ReplyWorld::CodeImage() {
  // Two pages: short enough to load and send in no time, long enough for
  // the download's progress texts (one per 128 bytes sent) and for a user
  // stop in the middle of it.
  static const std::vector<uint8_t> image = [] {
    std::vector<uint8_t> bytes(0x200);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x02 + i * 7);
    return bytes;
  }();
  return image;
}

ReplyWorld::ReplyWorld() {
  scratch_ = fs::temp_directory_path() / ("zvp_reply_fuzz_" + std::to_string(getpid()));
  fs::create_directories(scratch_);
  // A raw image: the loader puts a .bin file byte for byte at address 0.
  code_file_ = scratch_ / "code.bin";
  save_file_ = scratch_ / "saved.hex";
  const std::vector<uint8_t>& image = CodeImage();
  std::ofstream(code_file_, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

  HeadlessWindow::Observers watch;
  watch.status_changed = [this](const std::string&) { ++status_writes_; };
  watch.message_box = [](const MessageBox& box) {
    return box.buttons == MsgButtons::kYesNo ? MsgAnswer::kYes : MsgAnswer::kOk;
  };
  watch.open_file = [this](const std::string&) { return std::optional(code_file_.string()); };
  watch.save_file = [this](const std::string&) { return std::optional(save_file_.string()); };
  window_.SetObservers(watch);
}

ReplyWorld::~ReplyWorld() {
  AppState& app = App();
  app.port = nullptr;
  zvp::InstallWindow(nullptr);
  app.clock = nullptr;
  window_.SetObservers({});
  std::error_code ec;
  fs::remove_all(scratch_, ec);
}

std::string ReplyWorld::OperationName(const ReplyChoices& choices) {
  std::string name = kOperations[choices.operation % std::size(kOperations)].name;
  if (choices.debug) name += " debug";
  return name;
}

uint8_t ReplyWorld::OperationIndex(const std::string& name) {
  for (size_t i = 0; i < std::size(kOperations); ++i)
    if (name == kOperations[i].name) return static_cast<uint8_t>(i);
  std::fprintf(stderr, "reply_world: no operation named '%s'\n", name.c_str());
  std::abort();
}

void ReplyWorld::Prepare(const ReplyChoices& c, uint8_t code, SerialPort* port) {
  AppState& app = App();
  ResetAppState();
  app.port = port;
  app.clock = &clock_;
  zvp::InstallWindow(&window_);
  app.settings = nullptr;
  app.priority = nullptr;
  app.trace = nullptr;

  // The window as it starts for the first time, then the user's choices.
  window_.ResetToCreatedState();
  InitialiseMainWindow();
  window_.Click(c.otp ? ctl::kChipOtp : ctl::kChipMtp);
  for (size_t i = 0; i < std::size(kOptionBoxes); ++i)
    window_.SetChecked(kOptionBoxes[i], (c.options >> i) & 1);
  window_.SetChecked(ctl::kDebugMode, c.debug);
  window_.SetChecked(ctl::kBuzzer, c.buzzer);
  if (c.buzzer) {
    app.function_flags |= fn::kBuzzer;
  } else {
    app.function_flags &= ~fn::kBuzzer;
  }
  window_.SetText(ctl::kFileBox, code_file_.string());

  // Connected: the port chosen and the programmer found.
  port->Open("COM1");
  SelectRadio(ctl::kCom1);
  app.port_chosen = 1;
  app.programmer_found = 1;

  if (c.memory_loaded) LoadCodeFile();  // the file in the buffer, as after a download
  window_.SetText(ctl::kStartAddress, FormatNumber(c.start, 16, 4));
  window_.SetText(ctl::kEndAddress, FormatNumber(c.end, 16, 4));
  ReadAddressRange();
  if (c.memory_loaded) {
    // And the buffer checksum taken over the range, as the window insists
    // before it programs a changed range.
    app.memory_loaded = 1;
    app.checksum_start = app.range_start.load();
    app.checksum_end = app.range_end.load();
    window_.SetText(ctl::kChecksumBox,
                    FormatNumber(BufferChecksum(zvp::App().code_buffer, app.range_start, app.range_end), 16, 4));
  }

  if (code >= OpViewShow) {
    // The view as its "显示内存数据" button opens it, then the page and the
    // modes the user chose there.
    ShowCodeView(1);
    SetupCodeView();
    app.view_ready = 1;
    SelectRadio(c.view_chip ? ctl::kViewChip : ctl::kViewMemory);
    window_.SetChecked(ctl::kViewAscii, c.view_ascii);
    const uint32_t address = static_cast<uint32_t>(c.view_row) * 16;
    window_.SetText(ctl::kViewAddress, FormatNumber(address, 16, 5));
    app.view_address = address;
  }
  window_.SetStatus(kConnectedText);
  if (code != 0) {
    // As StartOperation does before it hands the code to the worker.
    app.header.SetCommand(code);
    app.choices = ReadOperatorChoices();
    BuildOperationHeader(app.choices);
  }
}

OperationEnd ReplyWorld::Run(const ReplyChoices& choices, SerialPort* port) {
  const Operation& op = kOperations[choices.operation % std::size(kOperations)];
  OperationEnd end;
  end.operation = OperationName(choices);

  Prepare(choices, op.kind == Kind::kEngine ? op.code : 0, port);
  status_writes_ = 0;
  const int64_t started_us = clock_.NowUs();
  switch (op.kind) {
    case Kind::kConnectPort:
      ConnectPort(1, ReadOperatorChoices());
      break;
    case Kind::kResetPoll:
      ResetPoll();
      break;
    case Kind::kEngine:
      RunOperationNow(op.code);
      break;
  }
  AppState& app = App();
  end.status = window_.Status();
  end.link_fault = app.link_fault != 0;
  end.status_writes = status_writes_;
  end.virtual_us = clock_.NowUs() - started_us;
  return end;
}

}  // namespace zvp::fuzz
