#include "engine/auto_program.h"

#include "chipops/program_chip.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "core/production_recorder.h"
#include "engine/engine.h"
#include "link/connection.h"
#include "link/serial_link.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/operation_boxes.h"

namespace zvp {

namespace {

struct Step {
  bool runs;
  uint8_t normal_code;
  uint8_t direct_code;
};

// The buzzer box stays usable while a sequence runs: its bit is read at
// each point where the sequence beeps.
bool BuzzerOn() { return (App().function_flags & fn::kBuzzer) != 0; }

// The steps that write to the chip: erase, programming, the SMART option
// and the protections. Blank check and verify only read it.
bool ChangesChip(uint8_t code) {
  switch (code) {
    case OpEraseMtp:
    case OpProgramChip:
    case OpProgramChipDirect:
    case OpEnableSmart:
    case OpReadProtect:
    case OpLdcProtect:
    case OpHardwareWriteProtect:
      return true;
    default:
      return false;
  }
}

Outcome RunSequence(bool direct) {
  AppState& app = App();
  if (BuzzerOn()) Dialogs().Beep(1000, 100);
  app.auto_running = 1;
  app.count_failure = 1;

  // The options and the chip type as the header was built when the sequence
  // was started; the inner operations may rebuild the header meanwhile.
  const uint32_t options = app.option_flags;
  const bool mtp = app.header.ChipTypeOf() == ChipType::kMtp;
  const bool forced = (app.function_flags & fn::kForceProtection) != 0;
  const Step steps[] = {
      {(options & opt::kBlankCheck) != 0, OpBlankCheck, OpBlankCheck},
      {(options & opt::kErase) && mtp, OpEraseMtp, OpEraseMtp},
      {true, OpProgramChip, OpProgramChipDirect},
      {(options & opt::kVerify) != 0, OpVerifyChip, OpChipChecksum},
      {((options & opt::kSmart) || forced) && mtp, OpEnableSmart, OpEnableSmart},
      {(options & opt::kLdcProtect) != 0, OpLdcProtect, OpLdcProtect},
      {(options & opt::kReadProtect) || forced, OpReadProtect, OpReadProtect},
      {(options & opt::kHwWriteProtect) && mtp, OpHardwareWriteProtect, OpHardwareWriteProtect},
  };
  constexpr size_t kLastStep = 7;

  std::vector<uint8_t> ran;
  bool passed = true;
  // Whether a step that changes the chip reached the programmer: from then
  // on the chip may no longer be as it was offered, and a run that fails
  // counts it as failed whatever ends the run.
  bool chip_touched = false;
  // Whether the step that ended the run reached the programmer (its header
  // was answered, also by a reset message, and no step reported it lost).
  bool last_reached = false;
  bool restarted = false;
  bool stopped = false;
  for (size_t i = 0; i < std::size(steps); ++i) {
    if (!steps[i].runs) continue;
    // The direct form pauses before each of steps 2 to 8 that runs (also
    // when it is the first to run); the normal form after every successful
    // step but the hardware write protection.
    if (direct && i > 0) DelayMs(300);
    // A stop asked by the command line's second Ctrl-C: no further step
    // touches the chip, and the run ends failed.
    if (app.stop_requested) {
      app.link_fault = 1;
      StatusLine().SetStatus(kStoppedText);
      passed = false;
      stopped = true;
      break;
    }
    const uint8_t code = direct ? steps[i].direct_code : steps[i].normal_code;
    ran.push_back(code);
    const uint32_t reached_before = app.headers_reached;
    const Outcome step = RunOperationNow(code);
    last_reached = app.headers_reached != reached_before && app.count_failure;
    if (last_reached && ChangesChip(code)) chip_touched = true;
    // A programmer that restarted has lost the code: the run ends at once,
    // whatever the step made of the bytes it read.
    if (app.reset_heard) {
      restarted = true;
      passed = false;
      break;
    }
    if (step != Outcome::kDone) {
      passed = false;
      stopped = step == Outcome::kInterrupted;
      break;
    }
    if (!direct && i != kLastStep) DelayMs(300);
  }
  // The reset text, the memory no longer trusted, the buffer wiped (on the
  // UI thread): as the reset watch does, before the run is counted and
  // logged.
  if (restarted) ApplyResetHeardInTraffic();

  const bool paused = (app.function_flags & fn::kCountingPaused) != 0;
  AutoRunRecord record;
  record.steps = ran;
  record.counting_paused = paused;
  if (passed) {
    StatusLine().SetStatus("自动编程已成功完成");
    record.verdict = AutoVerdict::kPassed;
    if (!paused) {
      const uint32_t n = ++app.pass_count;
      Boxes().ShowPassCount(FormatNumber(n, 10, 6));
    }
    if (BuzzerOn()) Dialogs().Beep(1000, 500);
  } else {
    // The failing step's text stays (or the reset text). A chip that no
    // step changed is no failed chip when the programmer could not be
    // reached (no answer to the header, the port gone) or restarted: the
    // programmer failed, not the chip. Once a step that changes the chip
    // reached the programmer (also when a reset message came in place of
    // its answer: the programmer may have acted on it), the chip counts as
    // failed whatever ended the run. A step that reached the programmer and
    // failed on its own (a chip not blank, a verify that differs) fails it.
    const bool counts = chip_touched || (last_reached && !restarted);
    if (counts) {
      record.verdict = AutoVerdict::kFailed;
    } else {
      record.verdict = restarted ? AutoVerdict::kNotCountedRestart : AutoVerdict::kNotCounted;
    }
    if (counts && !paused) {
      const uint32_t n = ++app.fail_count;
      Boxes().ShowFailCount(FormatNumber(n, 10, 5));
    }
    for (int i = 0; i < 4; ++i) {
      if (i && BuzzerOn()) DelayMs(100);
      if (BuzzerOn()) Dialogs().Beep(1000, 100);
    }
  }
  if (app.recorder != nullptr) app.recorder->AutoRunFinished(record);
  app.auto_running = 0;
  if (passed) return Outcome::kDone;
  return stopped ? Outcome::kInterrupted : Outcome::kFailed;
}

}  // namespace

Outcome AutoProgram() { return RunSequence(false); }
Outcome AutoProgramDirect() { return RunSequence(true); }

}  // namespace zvp
