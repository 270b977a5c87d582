#include "IconProviderFile.h"

#include <fx.h>
// Not part of fx.h:
#include <FXJPGIcon.h>
#include <FXPNGIcon.h>

#include "StringTools.h"

namespace ImsAnswer = KestroCorelib::ImsAnswer;

namespace Kestro {

namespace {

// Built during static construction so that its hooks are on the bus before main runs.
IconProviderFile processProvider;

}  // namespace

IconProviderFile& IconProviderFile::instance() { return processProvider; }

IconProviderFile::IconProviderFile()
    : imageIconHook(ImageProviderBase::setMessageHook(false, "imageiconprovider", "", "", 1)) {}

IconProviderFile::~IconProviderFile() {
  ImageProviderBase::removeMessageHook(imageIconHook);
  for (auto& entry : icons) release(entry.second);
}

int32_t IconProviderFile::receiveMessage(KestroCorelib::ImsMessage& message) {
  if (message.generalType == "iconprovider") return IconProviderBase::receiveMessage(message);
  if (message.generalType == "imageprovider") return ImageProviderBase::receiveMessage(message);
  return ImsAnswer::notHandled;
}

int32_t IconProviderFile::receiveHookedMessage(uint64_t hookId,
                                               KestroCorelib::ImsMessage& message) {
  if (hookId == iconHook) return IconProviderBase::receiveMessage(message);
  if (hookId == imageIconHook) return ImageProviderBase::receiveMessage(message);
  return ImsAnswer::notHandled;
}

FXIcon* IconProviderFile::getIcon(const std::string& fileName, FXApp* a) {
  if (application == nullptr) application = a;
  if (application == nullptr || fileName.empty()) return nullptr;
  std::wstring wideName = KestroCorelib::StringTools::toWide(fileName);
  auto cached = icons.find(wideName);
  if (cached != icons.end()) return cached->second;

  std::wstring path = findFile(wideName);
  if (path.empty()) return nullptr;
  std::wstring extension = lowerExtension(path);
  FXIcon* icon = nullptr;
  if (extension == L"png") {
    icon = new FXPNGIcon(application, nullptr, 8, 0, 1, 1);
  } else if (extension == L"jpg") {
    icon = new FXJPGIcon(application, nullptr, 8, 0, 1, 1, 75);
  } else if (extension == L"gif") {
    icon = new FXGIFIcon(application, nullptr, 8, 0, 1, 1);
  } else {
    return nullptr;
  }
  if (!loadPixels(icon, path)) {
    delete icon;
    return nullptr;
  }
  icons[wideName] = icon;
  cacheInsert(CacheKind::Icon, wideName, icon);
  return icon;
}

FXImage* IconProviderFile::takeCached(CacheKind kind, const std::wstring& fileName) {
  if (kind != CacheKind::Icon) return ImageProviderBase::takeCached(kind, fileName);
  auto found = icons.find(fileName);
  if (found == icons.end()) return nullptr;
  FXIcon* icon = found->second;
  icons.erase(found);
  return icon;
}

}  // namespace Kestro
