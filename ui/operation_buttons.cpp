#include "ui/operation_buttons.h"

#include "core/operation_code.h"
#include "ui/control_ids.h"

namespace zvp {

namespace {

struct Button {
  uint8_t code;
  int id;
};

constexpr Button kButtons[] = {
    {OpChipChecksum, ctl::kChipChecksum},
    {OpBlankCheck, ctl::kBlankCheck},
    {OpEraseMtp, ctl::kEraseMtp},
    {OpVerifyChip, ctl::kVerifyChip},
    {OpReadProtect, ctl::kReadProtect},
    {OpLdcProtect, ctl::kLdcProtect},
    {OpHardwareWriteProtect, ctl::kHwWriteProtect},
    {OpMemoryChecksum, ctl::kBufferChecksum},
    {OpDownloadCode, ctl::kDownload},
    {OpCopyChipToBuffer, ctl::kCopyChip},
    {OpMakeOfflineMaster, ctl::kOfflineMaster},
    {OpAutoProgram, ctl::kAutoProgram},
    {OpSaveHexFile, ctl::kSaveHex},
    {OpOpenAndDownload, ctl::kOpenFile},
    {OpViewShow, ctl::kShowMemory},
    {OpViewSetAddress, ctl::kViewSet},
    {OpViewAscii, ctl::kViewAscii},
    {OpViewPrevPage, ctl::kPrevPage},
    {OpViewNextPage, ctl::kNextPage},
    {OpViewMemory, ctl::kViewMemory},
    {OpViewChip, ctl::kViewChip},
};

}  // namespace

int OperationButton(uint8_t code) {
  for (const Button& b : kButtons) {
    if (b.code == code) return b.id;
  }
  return 0;
}

const OperationEntry* OperationOfButton(int id) {
  for (const Button& b : kButtons) {
    if (b.id == id) return FindOperation(b.code);
  }
  return nullptr;
}

}  // namespace zvp
