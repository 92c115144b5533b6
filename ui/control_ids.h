// Identifiers of the main window's controls. They are the shared vocabulary
// of the user interface, the window, the headless window model and the
// command line; nothing below the user interface knows them.
#pragma once

namespace zvp::ctl {

// Port group and its radio buttons.
constexpr int kPortGroup = 101;
constexpr int kCom1 = 110;
constexpr int kCom2 = 111;
constexpr int kCom3 = 112;
constexpr int kCom4 = 113;
constexpr int kDebugMode = 1008;  // "调试模式"

// Chip type.
constexpr int kChipTypeGroup = 102;
constexpr int kChipOtp = 114;  // "串行OTP芯片"
constexpr int kChipMtp = 115;  // "串行MTP芯片"

// Auxiliary functions.
constexpr int kAuxGroup = 176;
constexpr int kShowCounters = 171;  // "显示计数器"
constexpr int kBuzzer = 174;        // "开启蜂鸣器"

// Programming voltage (Vpp) and chip supply (Vcc).
constexpr int kVppGroup = 200;
constexpr int kVpp12 = 201;   // "12V"
constexpr int kVppVcc = 202;  // "Vcc"
constexpr int kVccGroup = 103;
constexpr int kVdd50 = 116;  // "5.0V"
constexpr int kVdd33 = 117;  // "3.3V"

// Programming-system option boxes.
constexpr int kOptionGroup = 105;
constexpr int kAutoVerify = 121;         // "自动校验"       0x20
constexpr int kAutoBlankCheck = 122;     // "自动空检查"     0x04
constexpr int kAutoReadProtect = 123;    // "自动读保护"     0x01
constexpr int kAutoHwWriteProtect = 124; // "自动硬件写保护" 0x08
constexpr int kAutoLdcProtect = 125;     // "自动LDC保护"    0x02
constexpr int kEraseBeforeProgram = 126; // "编程前擦除MTP"  0x40
constexpr int kEnableSmart = 127;        // "使能SMART"      0x10

// Control data.
constexpr int kControlDataGroup = 106;
constexpr int kStartLabel = 128;
constexpr int kStartAddress = 129;
constexpr int kEndLabel = 130;
constexpr int kEndAddress = 131;
constexpr int kVppLabel = 132;
constexpr int kVppBox = 133;
constexpr int kVddLabel = 134;
constexpr int kVddBox = 135;

// Programming operations.
constexpr int kOperationGroup = 107;
constexpr int kAutoProgram = 136;
constexpr int kVerifyChip = 137;
constexpr int kBlankCheck = 138;
constexpr int kShowMemory = 139;
constexpr int kChipChecksum = 140;
constexpr int kBufferChecksum = 141;
constexpr int kReadProtect = 142;
constexpr int kEraseMtp = 143;
constexpr int kLdcProtect = 144;
constexpr int kHwWriteProtect = 145;

// File operations.
constexpr int kFileGroup = 108;
constexpr int kOpenFile = 146;
constexpr int kFileBox = 147;
constexpr int kDownload = 148;
constexpr int kCopyChip = 149;
constexpr int kOfflineMaster = 150;
constexpr int kSaveHex = 151;
constexpr int kChecksumLabel = 152;
constexpr int kChecksumBox = 153;  // "编程内存检查和:" box

constexpr int kQuit = 154;
constexpr int kWebLink = 156;

// Code view.
constexpr int kViewGroup = 158;
constexpr int kViewList = 159;
constexpr int kPrevPage = 160;
constexpr int kNextPage = 161;
constexpr int kViewAddress = 162;
constexpr int kViewSet = 163;
constexpr int kViewAddressLabel = 164;
constexpr int kViewMemory = 165;
constexpr int kViewChip = 166;
constexpr int kViewAscii = 167;
constexpr int kBack = 168;

// Status.
constexpr int kStatusGroup = 109;
constexpr int kStatusLine = 157;

// Counters.
constexpr int kCountGroup = 170;
constexpr int kPassLabel = 177;
constexpr int kPassBox = 179;
constexpr int kFailLabel = 178;
constexpr int kFailBox = 180;
constexpr int kClearCounts = 172;
constexpr int kPauseCounting = 175;
constexpr int kCounterSettings = 173;

// Timers.
constexpr int kResetPollTimer = 501;  // RESET_POLL_TIMER
constexpr int kReconnectTimer = 0;

}  // namespace zvp::ctl
