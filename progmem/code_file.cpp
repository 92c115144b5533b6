#include "progmem/code_file.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "image/code_buffer.h"
#include "image/code_file_reader.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/operation_boxes.h"

namespace zvp {

namespace {

constexpr char kOpenFilter[] = "hex文件(*.hex)|*.hex|OBJ文件(*.*)|*.obj|BIN文件(*.*)|*.bin||";

constexpr char kTextNoFile[] = "请指定一个代码文件";
constexpr char kTextRawOpenFailed[] = "打开文件失败";
constexpr char kTextHexOpenFailed[] =
    "打开代码文件失败!请确认该文件是否存在或对该文件是否有存取权限!";
constexpr char kTextLoading[] = "调入代码文件.....";
constexpr char kTextLineChecksum[] = "代码文件错误[行检查和错误]";
constexpr char kTextNoCode[] = "代码文件错误[未包含有效代码]";
// A record that a character outside the hex digits or a cut broke: the
// line number tells the user where to look.
constexpr char kTextLineFormatHead[] = "代码文件错误[第";
constexpr char kTextLineFormatTail[] = "行记录格式错误]";
// Data above the highest address an operation reaches: refused, because a
// chip programmed from the part that fits would miss the rest.
constexpr char kTextPastTopHead[] = "代码文件错误[代码超出编程地址范围0000~7FFF, 在地址: ";
constexpr char kTextPastTopTail[] = "]";
constexpr char kTextLoaded[] = "调入代码成功!";
// A .bin file that holds HEX text would be programmed as its characters.
constexpr char kAskRawText[] =
    "该BIN文件的内容是HEX格式的文本!\n按BIN文件调入将把文本字符当作代码编程到芯片中.\n"
    "若是HEX文件,请将文件扩展名改为.hex后重新打开.\n确实要按BIN文件调入吗?";
constexpr char kAskRawCaption[] = "确 认";

Outcome Fail(const std::string& status) {
  AppState& app = App();
  app.link_fault = 1;
  StatusLine().SetStatus(status);
  return Outcome::kFailed;
}

// Only the name decides the format: ".bin" in any case is a raw image,
// everything else HEX text (also a file chosen under the dialog's BIN filter).
bool IsRawImageName(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view tail = name.substr(name.size() - 4);
  std::string lower;
  for (char c : tail) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  return lower == ".bin";
}

// Opens an existing regular file for reading. The box holds UTF-8; building
// the path from a u8string makes the platform convert it (UTF-16 on Windows),
// so Chinese folder and file names open everywhere. Directories, devices and
// pipes are refused: reading them has no end or no meaning.
bool OpenExisting(const std::string& utf8_name, std::ifstream* file) {
  try {
    const std::filesystem::path path(std::u8string(utf8_name.begin(), utf8_name.end()));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    file->open(path, std::ios::in | std::ios::binary);
    return file->is_open();
  } catch (const std::exception&) {
    // A name that does not convert (not UTF-8) names no file we could open.
    return false;
  }
}

// A raw image whose bytes are HEX text is loaded byte for byte only when the
// user says so; the default is No. Reads the file's start and goes back.
bool UserTakesTextAsImage(std::ifstream& file) {
  std::string head(kHexTextProbeBytes, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(file.gcount()));
  file.clear();
  file.seekg(0);
  if (!StartsAsHexText(head)) return true;
  MessageBox box;
  box.caption = kAskRawCaption;
  box.text = kAskRawText;
  box.buttons = MsgButtons::kYesNo;
  box.icon = MsgIcon::kQuestion;
  box.default_is_second = true;
  return Dialogs().ShowMessage(box) == MsgAnswer::kYes;
}

}  // namespace

Outcome LoadCodeFile() {
  AppState& app = App();
  app.link_fault = 0;

  // Read now: the open dialog of this same operation may just have set it.
  const std::string name = Boxes().FileName();
  if (name.empty()) return Fail(kTextNoFile);

  std::ifstream file;
  const bool raw = IsRawImageName(name);
  // A HEX file that cannot be opened leaves the buffer as it was; a raw
  // image's buffer is erased first.
  if (!OpenExisting(name, &file)) {
    if (raw) EraseCodeBuffer(app.code_buffer);
    return Fail(raw ? kTextRawOpenFailed : kTextHexOpenFailed);
  }
  // No loads nothing: the buffer, the range and the boxes stay as they were,
  // and link_fault stops the download (or the offline master) that the
  // load began, as after a load that failed.
  if (raw && !UserTakesTextAsImage(file)) {
    Fail(kDeclinedText);
    return Outcome::kDeclined;
  }
  if (!raw) StatusLine().SetStatus(kTextLoading);
  // Records taken before a bad one stay in the buffer; the range and the
  // boxes keep their old values.
  const CodeFileRead read = ReadCodeFile(
      file, raw ? CodeFileFormat::kRawImage : CodeFileFormat::kHexText, app.code_buffer);
  file.close();
  switch (read.outcome) {
    case CodeFileRead::Outcome::kLoaded:
      break;
    case CodeFileRead::Outcome::kChecksumError:
      return Fail(kTextLineChecksum);
    case CodeFileRead::Outcome::kDamagedRecord:
      return Fail(std::string(kTextLineFormatHead) + std::to_string(read.line) +
                  kTextLineFormatTail);
    case CodeFileRead::Outcome::kNoCode:
      return Fail(kTextNoCode);
    case CodeFileRead::Outcome::kPastTop: {
      const uint64_t at = std::min<uint64_t>(read.past_top, 0xFFFFFFFF);
      return Fail(kTextPastTopHead + FormatNumber(static_cast<uint32_t>(at), 16, 5) +
                  kTextPastTopTail);
    }
  }

  const uint32_t end = read.end;
  app.range_start = 0;
  app.range_end = end;
  StatusLine().SetStatus(kTextLoaded);
  Boxes().ShowAddress(RangeBox::kStart, "0000");
  Boxes().ShowAddress(RangeBox::kEnd, FormatNumber(end, 16, 4));
  Boxes().ShowChecksum(FormatNumber(BufferChecksum(App().code_buffer, 0, end), 16, 4));
  return Outcome::kDone;
}

bool ChooseCodeFile() {
  const std::optional<std::string> chosen = Dialogs().ChooseOpenFile(kOpenFilter);
  if (!chosen) return false;
  Boxes().ShowFileName(*chosen);
  return true;
}

}  // namespace zvp
