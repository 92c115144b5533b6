// The seven option boxes of the "编程系统" group, once: the bit each sets in
// the header's options and the command line's word for it (--options), in
// the order the command line's state lists the ticked ones. Their captions
// are the control table's.
#pragma once

#include <cstdint>

#include "core/app_state.h"
#include "ui/control_ids.h"

namespace zvp {

struct OptionBox {
  int id;
  uint32_t bit;      // opt:: bit
  const char* word;  // the command line's word
};

inline constexpr OptionBox kOptionBoxes[] = {
    {ctl::kAutoBlankCheck, opt::kBlankCheck, "blank-check"},
    {ctl::kEraseBeforeProgram, opt::kErase, "erase"},
    {ctl::kAutoVerify, opt::kVerify, "verify"},
    {ctl::kEnableSmart, opt::kSmart, "smart"},
    {ctl::kAutoLdcProtect, opt::kLdcProtect, "ldc-protect"},
    {ctl::kAutoReadProtect, opt::kReadProtect, "read-protect"},
    {ctl::kAutoHwWriteProtect, opt::kHwWriteProtect, "hw-write-protect"},
};

}  // namespace zvp
