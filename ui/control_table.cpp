#include "ui/control_table.h"

#include <array>
#include <string>

#include "ui/control_ids.h"

namespace zvp {
namespace {

using K = ControlKind;
using namespace style;

// The web address under the link label, kept with every character code raised
// by one so that the plain address does not sit in the program's data. The
// label shows 21 characters: the address and a trailing blank.
constexpr char kStoredLinkText[] = "xxx/{wq.uppm/jowbmje!";
constexpr size_t kStoredLinkChars = 21;
static_assert(sizeof(kStoredLinkText) - 1 == kStoredLinkChars);

std::string DecodeLinkText() {
  std::string text(kStoredLinkText, kStoredLinkChars);
  for (char& c : text) c = static_cast<char>(c - 1);
  return text;
}

// Styles shared by several boxes.
constexpr uint32_t kAddressBox = kCentred | kUpperCase;
constexpr uint32_t kVoltageBox = kCentred | kUpperCase | kReadOnly | kDisabledAtStart;
constexpr uint32_t kCountBox = kCentred | kDigitsOnly | kReadOnly;

auto BuildTable(const char* link_caption) {
  return std::to_array<ControlSpec>({
      // Port.
      {ctl::kPortGroup, K::kGroup, "端口", 0, {10, 5, 85, 140}, 0},
      {ctl::kCom1, K::kRadio, "COM1", ctl::kPortGroup, {10, 20, 70, 40}, kFirstOfGroup},
      {ctl::kCom2, K::kRadio, "COM2", ctl::kPortGroup, {10, 40, 70, 60}, 0},
      {ctl::kCom3, K::kRadio, "COM3", ctl::kPortGroup, {10, 60, 70, 80}, 0},
      {ctl::kCom4, K::kRadio, "COM4", ctl::kPortGroup, {10, 80, 70, 100}, 0},
      {ctl::kDebugMode, K::kCheck, "调试模式", ctl::kPortGroup, {5, 105, 70, 120}, 0},
      // Chip type.
      {ctl::kChipTypeGroup, K::kGroup, "芯片类型", 0, {90, 5, 200, 70}, 0},
      {ctl::kChipOtp, K::kRadio, "串行OTP芯片", ctl::kChipTypeGroup, {10, 20, 100, 40}, 0},
      {ctl::kChipMtp, K::kRadio, "串行MTP芯片", ctl::kChipTypeGroup, {10, 40, 100, 60}, 0},
      // Auxiliary functions.
      {ctl::kAuxGroup, K::kGroup, "辅助功能", 0, {90, 75, 200, 140}, 0},
      {ctl::kShowCounters, K::kCheck, "显示计数器", ctl::kAuxGroup, {10, 15, 100, 40}, 0},
      {ctl::kBuzzer, K::kCheck, "开启蜂鸣器", ctl::kAuxGroup, {10, 40, 100, 60}, 0},
      // Vpp and Vcc.
      {ctl::kVppGroup, K::kGroup, "芯片Vpp选择", 0, {205, 5, 315, 70}, 0},
      {ctl::kVpp12, K::kRadio, "12V", ctl::kVppGroup, {10, 25, 55, 45}, 0},
      {ctl::kVppVcc, K::kRadio, "Vcc", ctl::kVppGroup, {60, 25, 105, 45}, 0},
      {ctl::kVccGroup, K::kGroup, "芯片Vcc选择", 0, {205, 75, 315, 140}, 0},
      {ctl::kVdd50, K::kRadio, "5.0V", ctl::kVccGroup, {10, 25, 55, 45}, 0},
      {ctl::kVdd33, K::kRadio, "3.3V", ctl::kVccGroup, {60, 25, 105, 45}, 0},
      // Programming-system options.
      {ctl::kOptionGroup, K::kGroup, "编程系统", 0, {320, 5, 450, 140}, 0},
      {ctl::kAutoVerify, K::kCheck, "自动校验", ctl::kOptionGroup, {10, 20, 120, 35}, 0},
      {ctl::kAutoReadProtect, K::kCheck, "自动读保护", ctl::kOptionGroup, {10, 35, 120, 50}, 0},
      {ctl::kAutoLdcProtect, K::kCheck, "自动LDC保护", ctl::kOptionGroup, {10, 50, 120, 65}, 0},
      {ctl::kEnableSmart, K::kCheck, "使能SMART", ctl::kOptionGroup, {10, 65, 120, 80}, 0},
      {ctl::kAutoHwWriteProtect,
       K::kCheck,
       "自动硬件写保护",
       ctl::kOptionGroup,
       {10, 80, 120, 95},
       0},
      {ctl::kEraseBeforeProgram,
       K::kCheck,
       "编程前擦除MTP",
       ctl::kOptionGroup,
       {10, 95, 120, 110},
       0},
      {ctl::kAutoBlankCheck, K::kCheck, "自动空检查", ctl::kOptionGroup, {10, 110, 120, 125}, 0},
      // Control data.
      {ctl::kControlDataGroup, K::kGroup, "控制数据", 0, {455, 5, 618, 140}, 0},
      {ctl::kStartLabel, K::kLabel, "起始地址(HEX):", ctl::kControlDataGroup, {5, 20, 100, 40}, 0},
      {ctl::kEndLabel, K::kLabel, "终止地址(HEX):", ctl::kControlDataGroup, {5, 49, 100, 69}, 0},
      {ctl::kVppLabel, K::kLabel, "编程电压[V]:", ctl::kControlDataGroup, {5, 78, 100, 98}, 0},
      {ctl::kVddLabel, K::kLabel, "芯片电压[V]:", ctl::kControlDataGroup, {5, 107, 100, 127}, 0},
      {ctl::kStartAddress,
       K::kEdit,
       "0000",
       ctl::kControlDataGroup,
       {95, 15, 155, 40},
       kAddressBox},
      {ctl::kEndAddress, K::kEdit, "1FFF", ctl::kControlDataGroup, {95, 45, 155, 70}, kAddressBox},
      {ctl::kVppBox, K::kEdit, "", ctl::kControlDataGroup, {95, 75, 155, 100}, kVoltageBox},
      {ctl::kVddBox, K::kEdit, "", ctl::kControlDataGroup, {95, 105, 155, 130}, kVoltageBox},
      // Programming operations.
      {ctl::kOperationGroup, K::kGroup, "编程操作", 0, {10, 145, 315, 360}, 0},
      {ctl::kAutoProgram, K::kPush, "自动编程", ctl::kOperationGroup, {10, 20, 130, 45}, 0},
      {ctl::kVerifyChip, K::kPush, "校验芯片", ctl::kOperationGroup, {180, 20, 290, 45}, 0},
      {ctl::kBlankCheck, K::kPush, "芯片空检查", ctl::kOperationGroup, {10, 60, 130, 85}, 0},
      {ctl::kShowMemory, K::kPush, "显示内存数据", ctl::kOperationGroup, {180, 60, 290, 85}, 0},
      {ctl::kChipChecksum, K::kPush, "芯片检查和", ctl::kOperationGroup, {10, 100, 130, 125}, 0},
      {ctl::kBufferChecksum,
       K::kPush,
       "缓冲区检查和",
       ctl::kOperationGroup,
       {180, 100, 290, 125},
       0},
      {ctl::kReadProtect, K::kPush, "芯片读保护", ctl::kOperationGroup, {10, 140, 130, 165}, 0},
      {ctl::kEraseMtp, K::kPush, "擦除MTP", ctl::kOperationGroup, {180, 140, 290, 165}, 0},
      {ctl::kLdcProtect, K::kPush, "芯片LDC保护", ctl::kOperationGroup, {10, 180, 130, 205}, 0},
      {ctl::kHwWriteProtect,
       K::kPush,
       "芯片硬件写保护",
       ctl::kOperationGroup,
       {180, 180, 290, 205},
       0},
      // File operations.
      {ctl::kFileGroup, K::kGroup, "文件操作", 0, {320, 145, 618, 310}, 0},
      {ctl::kOpenFile, K::kPush, "打开文件", ctl::kFileGroup, {10, 20, 100, 45}, 0},
      {ctl::kFileBox, K::kEdit, "", ctl::kFileGroup, {110, 20, 290, 45}, kCentred | kBorder},
      {ctl::kCopyChip, K::kPush, "拷贝芯片数据到缓冲区", ctl::kFileGroup, {10, 60, 150, 85}, 0},
      {ctl::kSaveHex, K::kPush, "内存数据制作HEX文件", ctl::kFileGroup, {10, 95, 150, 120}, 0},
      {ctl::kOfflineMaster, K::kPush, "制作脱机烧写母片", ctl::kFileGroup, {10, 130, 150, 155}, 0},
      {ctl::kDownload, K::kPush, "下载文件代码", ctl::kFileGroup, {180, 60, 280, 85}, 0},
      {ctl::kChecksumLabel, K::kLabel, "编程内存检查和:", ctl::kFileGroup, {180, 90, 280, 110}, 0},
      {ctl::kChecksumBox,
       K::kEdit,
       "",
       ctl::kFileGroup,
       {180, 110, 280, 140},
       kCentred | kUpperCase | kReadOnly},
      // Directly on the main window.
      {ctl::kQuit, K::kPush, "退出编程", 0, {500, 320, 600, 360}, 0},
      {ctl::kWebLink, K::kLabel, link_caption, 0, {320, 340, 490, 360}, kNotify},
      // Code view. The list belongs to the main window although it lies in the
      // group's area.
      {ctl::kViewGroup, K::kGroup, "编程内存代码视图", 0, {10, 5, 618, 305}, kHiddenAtStart},
      {ctl::kViewList, K::kList, "", 0, {20, 25, 483, 270}, kHiddenAtStart},
      {ctl::kPrevPage, K::kPush, "上一页", ctl::kViewGroup, {490, 25, 590, 50}, 0},
      {ctl::kNextPage, K::kPush, "下一页", ctl::kViewGroup, {490, 70, 590, 95}, 0},
      {ctl::kViewAddressLabel, K::kLabel, "显示地址:", ctl::kViewGroup, {490, 130, 580, 150}, 0},
      {ctl::kViewAddress, K::kEdit, "", ctl::kViewGroup, {490, 150, 545, 175}, kAddressBox},
      {ctl::kViewSet, K::kPush, "设 置", ctl::kViewGroup, {550, 150, 590, 175}, 0},
      {ctl::kViewMemory,
       K::kRadio,
       "编程内存代码视图",
       ctl::kViewGroup,
       {490, 200, 600, 220},
       kFirstOfGroup},
      {ctl::kViewChip, K::kRadio, "芯片代码视图", ctl::kViewGroup, {490, 225, 590, 245}, 0},
      {ctl::kViewAscii, K::kCheck, "ASCII格式显示", ctl::kViewGroup, {490, 250, 590, 270}, 0},
      {ctl::kBack, K::kPush, "返 回", 0, {500, 320, 600, 350}, kHiddenAtStart},
      // Status.
      {ctl::kStatusGroup, K::kGroup, "编程状态", 0, {10, 365, 618, 415}, 0},
      {ctl::kStatusLine,
       K::kEdit,
       "",
       ctl::kStatusGroup,
       {10, 15, 595, 40},
       kReadOnly | kAutoHScroll},
      // Counters.
      {ctl::kCountGroup, K::kGroup, "编程计数", 0, {10, 420, 618, 470}, 0},
      {ctl::kPassLabel, K::kLabel, "成功计数:", ctl::kCountGroup, {10, 20, 70, 42}, 0},
      {ctl::kPassBox, K::kEdit, "00000", ctl::kCountGroup, {80, 15, 150, 40}, kCountBox},
      {ctl::kFailLabel, K::kLabel, "失败计数:", ctl::kCountGroup, {180, 20, 240, 42}, 0},
      {ctl::kFailBox, K::kEdit, "00000", ctl::kCountGroup, {250, 15, 320, 40}, kCountBox},
      {ctl::kClearCounts, K::kPush, "清零", ctl::kCountGroup, {350, 16, 410, 40}, 0},
      {ctl::kPauseCounting, K::kPush, "暂停计数", ctl::kCountGroup, {430, 16, 490, 40}, 0},
      {ctl::kCounterSettings, K::kPush, "设置计数器", ctl::kCountGroup, {510, 16, 590, 40}, 0},
  });
}

// Built once on first use (thread-safe static initialisation); the link
// caption must outlive the table, so both live in one object.
struct Controls {
  std::string link_caption = DecodeLinkText();
  decltype(BuildTable(nullptr)) table = BuildTable(link_caption.c_str());
};

const Controls& TheControls() {
  static const Controls controls;
  return controls;
}

}  // namespace

std::span<const ControlSpec> MainWindowControls() {
  return TheControls().table;
}

const ControlSpec* FindControl(int id) {
  for (const ControlSpec& entry : TheControls().table) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

}  // namespace zvp
