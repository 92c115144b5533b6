#include "ui/settings.h"

#include <optional>
#include <string>

#include "core/app_state.h"
#include "link/connection.h"
#include "link/operation_header.h"
#include "core/settings_store.h"
#include "ui/control_ids.h"
#include "ui/dispatcher.h"
#include "ui/port_choice.h"
#include "ui/window_choices.h"
#include "core/status_display.h"
#include "core/window_controls.h"
#include "core/window_frame.h"

namespace zvp {

namespace {

// Every value is read into an 8-byte buffer: a longer one counts as unreadable.
constexpr size_t kReadBuffer = 8;

std::optional<std::string> ReadText(SettingsStore* store, bool open, const char* name) {
  if (!store || !open) return std::nullopt;
  auto raw = store->ReadBytes(name, kReadBuffer);
  if (!raw) return std::nullopt;
  // A string value ends at its first zero byte.
  return raw->substr(0, raw->find('\0'));
}

// A stored flag word is copied into the field up to and including its first
// zero byte (low byte first), so only the bytes below the first zero count.
std::optional<uint32_t> ReadFlags(SettingsStore* store, bool open, const char* name) {
  if (!store || !open) return std::nullopt;
  auto raw = store->ReadBytes(name, kReadBuffer);
  if (!raw) return std::nullopt;
  uint32_t value = 0;
  for (size_t i = 0; i < raw->size() && i < 4; ++i) {
    const uint8_t b = static_cast<uint8_t>((*raw)[i]);
    if (b == 0) break;
    value |= static_cast<uint32_t>(b) << (8 * i);
  }
  return value;
}

}  // namespace

void LoadSettings() {
  AppState& app = App();
  SettingsStore* store = app.settings;
  const bool open = store && store->OpenForReading();

  if (auto f = ReadFlags(store, open, "autofunc")) {
    app.function_flags = *f;
  } else {
    app.function_flags |= fn::kShowCounters | fn::kBuzzer;
  }
  // Counting never starts paused, and the counters are always shown.
  app.function_flags = (app.function_flags & ~fn::kCountingPaused) | fn::kShowCounters;
  Controls().SetChecked(ctl::kShowCounters, true);
  Frame().SetWindowRegion(700, 700);

  if (auto o = ReadFlags(store, open, "auto")) {
    app.option_flags = *o;
  } else {
    app.option_flags |= opt::kReadProtect | opt::kHwWriteProtect | opt::kSmart | opt::kVerify |
                        opt::kErase;
  }
  const uint32_t options = app.option_flags;
  if (options & opt::kBlankCheck) Controls().SetChecked(ctl::kAutoBlankCheck, true);
  if ((options & opt::kHwWriteProtect) || (app.function_flags & fn::kForceProtection))
    Controls().SetChecked(ctl::kAutoHwWriteProtect, true);
  if (options & opt::kLdcProtect) Controls().SetChecked(ctl::kAutoLdcProtect, true);
  for (int id : {ctl::kAutoReadProtect, ctl::kEnableSmart, ctl::kAutoVerify,
                 ctl::kEraseBeforeProgram, ctl::kBuzzer})
    Controls().SetChecked(id, true);

  if (auto c = ReadFlags(store, open, "autocount")) app.count_flags = *c;
  app.count_flags |= 0x11;

  const int chip = ReadText(store, open, "chip") == "sotp" ? ctl::kChipOtp : ctl::kChipMtp;
  SelectRadio(chip);
  SelectChipType(chip);

  if (ReadText(store, open, "Vdd") == "3.3V") {
    SelectRadio(ctl::kVdd33);
    Controls().SetText(ctl::kVddBox, "3.3");
  } else {
    SelectRadio(ctl::kVdd50);
    Controls().SetText(ctl::kVddBox, "5.0");
  }
  if (ReadText(store, open, "Vpp") == "12.0V") {
    SelectRadio(ctl::kVpp12);
    Controls().SetText(ctl::kVppBox, "12.0");
  } else {
    SelectRadio(ctl::kVppVcc);
    Controls().SetText(ctl::kVppBox, "VCC");
  }

  const auto com = ReadText(store, open, "com");
  if (store && open) store->Close();
  // A window started for a port connects that one; its own key keeps the
  // rest of its choices.
  std::optional<int> port;
  if (app.start_port != 0) {
    port = static_cast<int>(app.start_port.load());
  } else if (com) {
    port = PortOfStoredText(*com);
  }
  if (port) {
    ConnectChosenPort(*port);
    return;
  }
  StatusLine().SetStatus("请点击相应的COM端口以启动编程器连接");
}

void SaveSettings() {
  AppState& app = App();
  SettingsStore* store = app.settings;
  if (!store || !store->OpenForWriting()) return;
  // A port beyond the four buttons is kept the same way ("com7").
  int port = SelectedPort();
  if (port == 0) port = static_cast<int>(app.other_port.load());
  store->WriteString("com", StoredPortText(port));
  store->WriteString("data", "sam");
  const OperatorChoices choices = ReadOperatorChoices();
  ApplyChipType(choices);
  store->WriteString("chip", app.header.ChipTypeOf() == ChipType::kOtp ? "sotp" : "smtp");
  ApplyOptionFlags(choices);
  store->WriteDword("auto", app.option_flags);
  store->WriteDword("autocount", app.count_flags);
  store->WriteDword("autofunc", app.function_flags);
  ApplyChipSupply(choices);
  // The whole byte, as the supply choice alone left it.
  const bool five = app.header.VoltageByte() == static_cast<uint8_t>(Supply::k5V0);
  store->WriteString("Vdd", five ? "5.0V" : "3.3V");
  ApplyProgrammingVoltage(choices);
  store->WriteString("Vpp", app.header.VppFromSupply() ? "VCC" : "12.0V");
  store->Close();
}

}  // namespace zvp
