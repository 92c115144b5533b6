#include "windows/log_folder.h"

#include <shlobj.h>

#include "windows/wide_text.h"
#include "windows/win32.h"

namespace zvp::win {

std::string ProductionLogFolder(bool simulated) {
  PWSTR local = nullptr;
  const HRESULT found = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local);
  std::wstring folder;
  if (SUCCEEDED(found) && local != nullptr) folder = local;
  CoTaskMemFree(local);  // also after a failure, as the call asks
  if (folder.empty()) return std::string();
  folder += L"\\zelvatool\\logs";
  if (simulated) folder += L"\\simulated";
  return Narrow(folder);
}

}  // namespace zvp::win
