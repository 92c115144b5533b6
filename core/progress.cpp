#include "core/progress.h"

#include "image/number_text.h"

namespace zvp {

namespace {

// The words of each stage, and what comes between them and the address.
struct StageText {
  const char* words;
  const char* before_address;
  uint32_t digits;
};

StageText TextOf(ProgressStage stage) {
  switch (stage) {
    case ProgressStage::kBlankCheck:
      return {"请稍候,芯片空检查", ",  地址: ", 5};
    case ProgressStage::kChipChecksum:
      return {"请稍候,得到芯片检查和", ",  地址: ", 5};
    case ProgressStage::kVerify:
      return {"请稍候,校验芯片数据", ",  地址: ", 5};
    case ProgressStage::kVerifyDirect:
      return {"请稍候,校验芯片,在地址: ", "", 5};
    case ProgressStage::kProgram:
      return {"请稍候,正在编程芯片", ",  地址: ", 5};
    case ProgressStage::kProgramDirect:
      return {"请稍候,正在编程芯片", ", 地址: ", 4};
    case ProgressStage::kCopyChip:
      return {"请稍候,拷贝芯片数据到编程内存", ",  地址: ", 5};
    case ProgressStage::kMemoryChecksum:
      return {"请稍候,得到编程内存检查和", ",  地址: ", 5};
    case ProgressStage::kDownload:
      return {"[双击这里中断下载] 下载代码到编程器内存,发送数据地址:  ", "", 5};
    case ProgressStage::kSaveHex:
      return {"[双击这里中断操作] 读取编程内存数据并保存到文件, 地址: ", "", 5};
  }
  return {"", "", 5};
}

}  // namespace

std::string ProgressText(const Progress& progress) {
  const StageText t = TextOf(progress.stage);
  if (!progress.address) return std::string(t.words) + "......";
  std::string text = std::string(t.words) + t.before_address +
                     FormatNumber(*progress.address, 16, t.digits);
  if (progress.stage == ProgressStage::kSaveHex) text += "~" + FormatNumber(progress.page_end, 16, 5);
  return text;
}

}  // namespace zvp
