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
#include "core/protocol.h"
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
// A file the user may write, in a folder where the part file cannot be
// made: refused rather than written in place, where a save that fails
// half-way would leave half a file under the old name.
constexpr char kNoPartFileText[] =
    "保存文件失败,无法在目标文件所在的文件夹中创建临时文件!目标文件未被改变.";
constexpr char kSavedText[] = "代码文件文件已成功保存在: ";

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

namespace fs = std::filesystem;

// Follows a chain of symbolic links to the file it ends on, which need not
// exist yet: a save through a link writes the file the link points to (and
// creates it when it is missing), and the link stays a link. A relative
// link is read from the link's own folder. nullopt for a loop, or a chain
// too long to be anything else.
std::optional<fs::path> FollowLinks(fs::path path) {
  constexpr int kMaxLinks = 40;
  for (int i = 0; i < kMaxLinks; ++i) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
    const fs::path to = fs::read_symlink(path, ec);
    if (ec) return std::nullopt;
    path = to.is_absolute() ? to : path.parent_path() / to;
  }
  return std::nullopt;
}

// Whether the user may write an existing file. The part file that replaces
// it needs only the folder, so without this check a read-only file would
// be replaced as if it were not. A file without any write permission is
// read-only whoever asks, the administrator included (who may open any
// file): it is what the read-only attribute is on Windows, where the move
// that replaces a file refuses such a one too. Beyond that an open for
// appending, which changes nothing, asks the system whether this user may
// write the file.
bool MayWrite(const fs::path& file) {
  std::error_code ec;
  const fs::perms perms = fs::status(file, ec).permissions();
  if (ec) return false;
  constexpr fs::perms kWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if ((perms & kWrite) == fs::perms::none) return false;
  std::ofstream probe(file, std::ios::out | std::ios::app | std::ios::binary);
  return probe.is_open();
}

// Where the records go while the save runs. For a new file or a regular
// one, a part file beside it (beside the file a link points to), which
// replaces the target only when complete and is removed however else the
// save ends; a replaced file's permissions pass to the part file before
// anything is written into it. A target that exists but is no regular file
// (a device, a pipe) has no old content to keep and cannot be replaced by a
// file: it is written directly.
class SaveTarget {
 public:
  enum class Refusal { kNone, kWriteProtected, kNoFile };

  explicit SaveTarget(const fs::path& chosen) {
    const std::optional<fs::path> followed = FollowLinks(chosen);
    if (!followed) {
      refusal_ = Refusal::kNoFile;
      return;
    }
    target_ = *followed;
    std::error_code ec;
    const fs::file_status status = fs::status(target_, ec);
    if (fs::exists(status)) {
      direct_ = !fs::is_regular_file(status);
      if (!direct_) {
        replaces_ = true;
        perms_ = status.permissions();
        if (!MayWrite(target_)) refusal_ = Refusal::kWriteProtected;
      }
    }
    write_path_ = target_;
    // Appended as a path, not through string(): that would take a Chinese
    // name through the ANSI code page on Windows.
    if (!direct_) write_path_ += kPartSuffix;
  }
  ~SaveTarget() {
    std::error_code ec;
    if (opened_ && !direct_ && !done_) fs::remove(write_path_, ec);
  }
  SaveTarget(const SaveTarget&) = delete;
  SaveTarget& operator=(const SaveTarget&) = delete;

  // Why the target refuses the save before anything is read.
  Refusal refusal() const { return refusal_; }
  // Whether the save replaces a file that is there.
  bool replaces() const { return replaces_; }

  bool Open(std::ofstream* out) {
    out->open(write_path_, std::ios::out | std::ios::binary | std::ios::trunc);
    opened_ = out->is_open();
    if (opened_ && replaces_) {
      std::error_code ec;
      fs::permissions(write_path_, perms_, ec);
    }
    return opened_;
  }

  // Puts the complete file in place; false when the file system says no.
  bool Complete() {
    std::error_code ec;
    if (!direct_) fs::rename(write_path_, target_, ec);
    done_ = !ec;
    return done_;
  }

 private:
  fs::path target_;
  fs::path write_path_;
  Refusal refusal_ = Refusal::kNone;
  fs::perms perms_ = fs::perms::none;
  bool direct_ = false;
  bool replaces_ = false;
  bool opened_ = false;
  bool done_ = false;
};

}  // namespace

Outcome SaveHexFile() {
  AppState& app = App();
  app.link_fault = 0;
  app.user_abort = 0;

  const std::optional<std::string> chosen = Dialogs().ChooseSaveFile(kSaveFilter);
  if (!chosen) return Outcome::kDeclined;

  const std::filesystem::path path = PathFromUtf8(*chosen);
  SaveTarget target(path);
  // The save fails before it begins, with nothing read: red, like every
  // other failed save.
  if (target.refusal() == SaveTarget::Refusal::kWriteProtected) {
    app.link_fault = 1;
    StatusLine().SetStatus(kSaveFailedText);
    return Outcome::kFailed;
  }
  std::ofstream out;
  if (target.refusal() != SaveTarget::Refusal::kNone || !target.Open(&out)) {
    app.link_fault = 1;
    StatusLine().SetStatus(target.replaces() ? kNoPartFileText : kCreateFailedText);
    return Outcome::kFailed;
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
    StatusLine().ShowProgress({ProgressStage::kSaveHex, c, e});
    if (debug) {
      CopyFromCodeBuffer(block.data(), c, e);
    } else {
      ReadBlock(cmd::kReadMemory, block.data(), kBlockBufferSize, c, e);
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
      return Outcome::kDone;
    case SaveEnd::kUserStop:
      StatusLine().SetStatus(StopText(kUserStopText));
      return Outcome::kInterrupted;
    case SaveEnd::kReadFailed:
      app.link_fault = 1;
      StatusLine().SetStatus(kReadFailedText);
      return Outcome::kFailed;
    case SaveEnd::kWriteFailed:
      app.link_fault = 1;
      StatusLine().SetStatus(kSaveFailedText);
      return Outcome::kFailed;
  }
  return Outcome::kFailed;
}

}  // namespace zvp
