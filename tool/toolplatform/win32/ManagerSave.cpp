#include <string>

#include "FileReplace.h"
#include "toolplatform/PlatformManager.h"
#include "toolplatform/win32/SystemErrorText.h"

namespace Kestro::platform {

bool replaceFile(const std::string& name, const std::string& content, std::string& reason) {
  if (name.empty()) {
    reason = "'' is no file name";
    return false;
  }
  const KestroCorelib::FileReplaceResult result = KestroCorelib::replaceFileContent(name, content);
  if (result) return true;
  reason = systemErrorText(result.path, static_cast<unsigned long>(result.error));
  return false;
}

}  // namespace Kestro::platform
