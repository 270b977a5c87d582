#include "ImageProviderBase.h"

#include <fx.h>
// Not part of fx.h:
#include <FXJPGImage.h>
#include <FXPNGImage.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "DateTime.h"
#include "File.h"
#include "StringTools.h"

namespace ImsAnswer = KestroCorelib::ImsAnswer;
using KestroCorelib::StringTools;

namespace Kestro {

namespace {

// Breaks ties between cache entries made in the same millisecond; shared by every
// provider of the process.
uint32_t cacheSequence = 0;

}  // namespace

ImageProviderBase::ImageProviderBase()
    : ImsAgent("imageprovider-base"),
      imageHook(setMessageHook(false, "imageprovider", "", "", 1)) {}

ImageProviderBase::~ImageProviderBase() {
  removeMessageHook(imageHook);
  for (auto& entry : images) release(entry.second);
}

void ImageProviderBase::release(FXImage* picture) const {
  if (application != nullptr && FXApp::instance() == application) {
    delete picture;
    return;
  }
  // Held by a table that is never destroyed, so that the pictures stay reachable (and
  // leak checkers quiet) until the process ends.
  static auto* keptUntilExit = new std::vector<FXImage*>();
  keptUntilExit->push_back(picture);
}

int32_t ImageProviderBase::receiveMessage(KestroCorelib::ImsMessage& message) {
  auto* parameter = static_cast<ImageProviderParameter*>(message.parameter);
  if (parameter == nullptr) return ImsAnswer::notHandled;
  if (message.groupType == "get") {
    parameter->result = getImage(parameter->name, parameter->copy, parameter->width,
                                 parameter->height, parameter->keepAspect);
    return parameter->result != nullptr ? ImsAnswer::handled : ImsAnswer::notHandled;
  }
  if (message.groupType == "resize") {
    resize(parameter->result, parameter->width, parameter->height, parameter->keepAspect);
    return ImsAnswer::handled;
  }
  if (message.groupType == "setdir") {
    addDirectory(parameter->name);
    return ImsAnswer::handled;
  }
  return ImsAnswer::notHandled;
}

int32_t ImageProviderBase::receiveHookedMessage(uint64_t hookId,
                                                KestroCorelib::ImsMessage& message) {
  return hookId == imageHook ? receiveMessage(message) : ImsAnswer::notHandled;
}

void ImageProviderBase::addDirectory(const std::wstring& directory) {
  directories.insert(directory);
}

FXImage* ImageProviderBase::getImage(const std::wstring& fileName, bool copy, int32_t width,
                                     int32_t height, bool keepAspect) {
  if (application == nullptr) return nullptr;
  FXImage* result = nullptr;
  auto cached = images.find(fileName);
  if (cached != images.end()) {
    result = copyOf(cached->second);
  } else {
    std::wstring path = findFile(fileName);
    if (path.empty()) return nullptr;
    std::wstring extension = lowerExtension(path);
    FXImage* loaded = nullptr;
    if (extension == L"png") {
      loaded = new FXPNGImage(application, nullptr, 0, 1, 1);
    } else if (extension == L"jpg") {
      loaded = new FXJPGImage(application, nullptr, 0, 1, 1, 75);
    } else if (extension == L"gif") {
      loaded = new FXGIFImage(application, nullptr, 0, 1, 1);
    } else {
      return nullptr;
    }
    if (!loadPixels(loaded, path)) {
      delete loaded;
      return nullptr;
    }
    if (copy) {
      images[fileName] = loaded;
      cacheInsert(CacheKind::Image, fileName, loaded);
      // The insertion may have evicted older entries, never the one just made.
      result = copyOf(loaded);
    } else {
      result = loaded;
    }
  }
  if (width != 0 && height != 0) resize(result, width, height, keepAspect);
  result->create();
  return result;
}

std::wstring ImageProviderBase::findFile(const std::wstring& fileName) const {
  static const wchar_t* const extensions[] = {L"", L".png", L".jpg", L".gif"};
  for (const std::wstring& directory : directories) {
    std::wstring base = directory;
    if (base.empty() || (base.back() != L'/' && base.back() != L'\\')) base += L'\\';
    base += fileName;
    for (const wchar_t* extension : extensions) {
      std::wstring candidate = base + extension;
      if (StringTools::isRegularFile(candidate)) return candidate;
    }
  }
  return std::wstring();
}

void ImageProviderBase::resize(FXImage* image, int32_t width, int32_t height, bool keepAspect) {
  // A request with a size below one pixel would make the toolkit allocate nonsense.
  if (image == nullptr || width < 1 || height < 1) return;
  if (!keepAspect) {
    image->scale(width, height, 1);
    return;
  }
  double imageWidth = static_cast<uint32_t>(image->getWidth());
  double imageHeight = static_cast<uint32_t>(image->getHeight());
  double factor = std::min(static_cast<uint32_t>(width) / imageWidth,
                           static_cast<uint32_t>(height) / imageHeight);
  auto fit = [factor](double size, int32_t limit) {
    auto scaled = static_cast<int64_t>(std::floor(size * factor + 0.5));
    return static_cast<int32_t>(std::clamp<int64_t>(scaled, 1, limit));
  };
  image->scale(fit(imageWidth, width), fit(imageHeight, height), 1);
}

void ImageProviderBase::cacheInsert(CacheKind kind, const std::wstring& fileName,
                                    FXImage* picture) {
  int64_t pixels = int64_t(picture->getWidth()) * picture->getHeight();
  Age newest(KestroCorelib::DateTime::now(), ++cacheSequence);
  ages[newest] = CacheEntry{kind, fileName, pixels};
  cachedPixels += pixels;
  const int64_t budget = int64_t(cacheLimit) * 1000;
  // Oldest first; the entry just made is the newest (unless the clock went back, hence
  // the explicit check) and always stays.
  auto oldest = ages.begin();
  while (cachedPixels > budget && oldest != ages.end()) {
    if (oldest->first == newest) {
      ++oldest;
      continue;
    }
    CacheEntry entry = oldest->second;
    oldest = ages.erase(oldest);
    cachedPixels -= entry.pixels;
    FXImage* evicted = takeCached(entry.kind, entry.fileName);
    if (evicted != nullptr) release(evicted);
  }
}

FXImage* ImageProviderBase::takeCached(CacheKind kind, const std::wstring& fileName) {
  if (kind != CacheKind::Image) return nullptr;
  auto found = images.find(fileName);
  if (found == images.end()) return nullptr;
  FXImage* picture = found->second;
  images.erase(found);
  return picture;
}

bool ImageProviderBase::loadPixels(FXImage* picture, const std::wstring& path) {
  // The file is read here rather than by the toolkit's file stream, which would open a FIFO
  // and wait for a writer, or read a device without end: only a regular file is taken.
  std::FILE* file = KestroCorelib::openRegularForReading(StringTools::toNarrow(path));
  if (file == nullptr) return false;
  std::vector<FXuchar> bytes;
  FXuchar block[8192];
  size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
    bytes.insert(bytes.end(), block, block + got);
  }
  const bool readWhole = std::ferror(file) == 0;
  std::fclose(file);
  if (!readWhole || bytes.empty()) return false;
  FXMemoryStream stream;
  if (!stream.open(FXStreamLoad, bytes.size(), bytes.data())) return false;
  return picture->loadPixels(stream);
}

std::wstring ImageProviderBase::lowerExtension(const std::wstring& path) {
  std::wstring::size_type dot = path.rfind(L'.');
  std::wstring::size_type separator = path.find_last_of(L"/\\");
  // A dot in a directory name is no extension.
  if (dot == std::wstring::npos || (separator != std::wstring::npos && dot < separator))
    return std::wstring();
  return StringTools::lowerCopy(path.substr(dot + 1));
}

FXImage* ImageProviderBase::copyOf(const FXImage* cached) const {
  FXint width = cached->getWidth();
  FXint height = cached->getHeight();
  auto* copy =
      new FXPNGImage(application, nullptr, IMAGE_OWNED | IMAGE_SHMI | IMAGE_SHMP, width, height);
  if (cached->getData() != nullptr && copy->getData() != nullptr)
    std::memcpy(copy->getData(), cached->getData(),
                sizeof(FXColor) * size_t(width) * size_t(height));
  return copy;
}

}  // namespace Kestro
