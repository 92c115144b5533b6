#include "progmem/save_hex.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "chipops/read_block.h"
#include "image/hex_records.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/operation_code.h"
#include "link/operation_header.h"
#include "link/wire_trace.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"

namespace zvp {

namespace {

constexpr char kSaveFilter[] = "hex文件(*.hex)|*.hex|OBJ文件(*.*)|*.obj||";
constexpr char kCreateFailedText[] = "保存文件错误!";
constexpr char kUserStopText[] = "用户已中断操作!";
// The disk side failed: a write, or putting the finished file in place.
constexpr char kSaveFailedText[] = "保存文件失败,磁盘空间可能不足或指定的目标文件写保护.";
// The programmer side failed: a page could not be read.
constexpr char kReadFailedText[] = "保存文件失败,从编程器读取编程内存数据出错!目标文件未被改变.";
// The file is written under this name beside the target and put in place
// only when complete, so a save that fails or is stopped leaves the old file
// as it was.
constexpr char kPartSuffix[] = ".zvp-part";
constexpr char kSavedText[] = "代码文件文件已成功保存在: ";
constexpr char kProgressText[] = "[双击这里中断操作] 读取编程内存数据并保存到文件, 地址: ";

// Pages are read whole or up to the range's end: never more than 256 bytes
// into a block buffer twice that size.
constexpr uint32_t kBlockBufferSize = 512;
constexpr uint32_t kRecordBytes = 16;

// The file name arrives as UTF-8; a path built from char8_t text keeps
// Chinese names intact on Windows, where a plain char path would be taken
// in the ANSI code page.
std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string FullPathText(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (ec) full = path;
  const std::u8string text = full.u8string();
  return std::string(text.begin(), text.end());
}

// The bytes first..last as the code buffer holds them; addresses past the
// buffer read as erased.
void CopyFromCodeBuffer(uint8_t* dest, uint32_t first, uint32_t last) {
  const auto& buffer = App().code_buffer;
  for (uint32_t a = first, i = 0; i <= last - first; ++a, ++i)
    dest[i] = a < kCodeBufferSize ? buffer[a] : 0xFF;
}

// Writes one record with its own write and pushes it to the file at once, so
// that a full disk or a vanished file is noticed at the record it hits.
bool WriteRecord(std::ofstream& out, const std::string& record) {
  out.write(record.data(), static_cast<std::streamsize>(record.size()));
  out.flush();
  return static_cast<bool>(out);
}

enum class SaveEnd { kDone, kUserStop, kReadFailed, kWriteFailed };

// Where the records go while the save runs. For a new file or a regular
// one, a part file beside it (beside the file a link points to, so the link
// stays a link), which replaces the target only when complete and is
// removed however else the save ends. A target that exists but is no
// regular file (a device, a pipe) has no old content to keep and cannot be
// replaced by a file: it is written directly.
class SaveTarget {
 public:
  explicit SaveTarget(const std::filesystem::path& chosen) : target_(chosen) {
    std::error_code ec;
    if (std::filesystem::exists(chosen, ec)) {
      const std::filesystem::path real = std::filesystem::canonical(chosen, ec);
      if (!ec) target_ = real;
      direct_ = !std::filesystem::is_regular_file(target_, ec);
    }
    write_path_ = target_;
    // Appended as a path, not through string(): that would take a Chinese
    // name through the ANSI code page on Windows.
    if (!direct_) write_path_ += kPartSuffix;
  }
  ~SaveTarget() {
    std::error_code ec;
    if (!direct_ && !done_) std::filesystem::remove(write_path_, ec);
  }
  SaveTarget(const SaveTarget&) = delete;
  SaveTarget& operator=(const SaveTarget&) = delete;

  const std::filesystem::path& write_path() const { return write_path_; }
  // Puts the complete file in place; false when the file system says no.
  bool Complete() {
    std::error_code ec;
    if (!direct_) std::filesystem::rename(write_path_, target_, ec);
    done_ = !ec;
    return done_;
  }

 private:
  std::filesystem::path target_;
  std::filesystem::path write_path_;
  bool direct_ = false;
  bool done_ = false;
};

}  // namespace

void SaveHexFile() {
  AppState& app = App();
  app.link_fault = 0;
  app.user_abort = 0;

  const std::optional<std::string> chosen = Dialogs().ChooseSaveFile(kSaveFilter);
  if (!chosen) return;

  const std::filesystem::path path = PathFromUtf8(*chosen);
  SaveTarget target(path);
  std::ofstream out(target.write_path(), std::ios::out | std::ios::binary | std::ios::trunc);
  if (!out.is_open()) {
    // The save failed before it began: red, like every other failed save.
    app.link_fault = 1;
    StatusLine().SetStatus(kCreateFailedText);
    return;
  }

  const bool debug = DebugMode();
  const uint32_t first = app.range_start;
  const uint32_t last = app.range_end;
  uint32_t segment = first >> 16;
  std::array<uint8_t, kBlockBufferSize> block{};

  SaveEnd end = SaveEnd::kDone;
  if (segment != 0 && !WriteRecord(out, SegmentRecord(first))) end = SaveEnd::kWriteFailed;

  uint32_t c = first;
  while (end == SaveEnd::kDone && first <= last) {
    if (StopAsked()) {
      end = SaveEnd::kUserStop;
      break;
    }
    // One page at a time: up to the page's last byte or to the range's end.
    const uint32_t e = (c >> 8) == (last >> 8) ? last : (c | 0xFF);
    StatusLine().SetStatus(kProgressText + FormatNumber(c, 16, 5) + "~" + FormatNumber(e, 16, 5));
    if (debug) {
      CopyFromCodeBuffer(block.data(), c, e);
    } else {
      ReadBlock(kReadMemory, block.data(), kBlockBufferSize, c, e);
    }
    if (app.link_fault) {
      end = SaveEnd::kReadFailed;
      break;
    }
    // Records of at most 16 bytes that never cross a 16-byte boundary.
    for (uint32_t a = c; end == SaveEnd::kDone;) {
      const uint32_t n = std::min(kRecordBytes - (a & 0xF), e - a + 1);
      if ((a >> 16) != segment) {
        segment = a >> 16;
        if (!WriteRecord(out, SegmentRecord(a))) end = SaveEnd::kWriteFailed;
      }
      if (end == SaveEnd::kDone && !WriteRecord(out, DataRecord(a, block.data() + (a - c), n)))
        end = SaveEnd::kWriteFailed;
      if (e - a + 1 == n) break;
      a += n;
    }
    // The range may end at the top of the address space: stop on the last
    // page instead of stepping past it.
    if (e == last) break;
    c = e + 1;
  }

  out.close();
  // A file that lost records when closed is a failed write too.
  if (end == SaveEnd::kDone && out.fail()) end = SaveEnd::kWriteFailed;
  if (end == SaveEnd::kDone && !target.Complete()) end = SaveEnd::kWriteFailed;
  switch (end) {
    case SaveEnd::kDone:
      StatusLine().SetStatus(kSavedText + FullPathText(path));
      return;
    case SaveEnd::kUserStop:
      StatusLine().SetStatus(StopText(kUserStopText));
      return;
    case SaveEnd::kReadFailed:
      app.link_fault = 1;
      StatusLine().SetStatus(kReadFailedText);
      return;
    case SaveEnd::kWriteFailed:
      app.link_fault = 1;
      StatusLine().SetStatus(kSaveFailedText);
      return;
  }
}

}  // namespace zvp
