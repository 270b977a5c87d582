#pragma once
// The image side of a picture provider and the picture cache it shares with the icon side.
//
// Pictures are looked for by file name in an ordered set of directories, loaded with the
// toolkit (PNG, JPEG, GIF by extension) and kept in a cache bounded by a pixel budget:
//
//   provider.addDirectory(L"/opt/kestro/config/");
//   FXImage* copy = provider.getImage(L"header", true, 0, 0, false);  // header(.png|.jpg|.gif)
//   // copy is the caller's; the cached original stays with the provider
//
// Over the bus the same work is asked with "imageiconprovider" messages (group "get",
// "resize" or "setdir") carrying an ImageProviderParameter; nothing in the program sends
// them today.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "Ims.h"

namespace FX {
class FXApp;
class FXImage;
}  // namespace FX

namespace Kestro {

// Payload of an image request.
class ImageProviderParameter : public KestroCorelib::ImsMessageParameter {
 public:
  std::wstring name;
  bool copy = false;
  bool keepAspect = false;
  int32_t width = 0;
  int32_t height = 0;
  FX::FXImage* result = nullptr;
};

class ImageProviderBase : public KestroCorelib::ImsAgent {
 public:
  // Registers the hook "imageprovider"/""/"" (priority 1); the destructor removes it.
  ImageProviderBase();
  // Deletes the cached images while their toolkit application still exists. Once it is
  // gone (the process-wide provider outlives the program's application) they are kept
  // until the process ends: deleting a picture that was created in the toolkit talks to
  // its application.
  ~ImageProviderBase() override;

  // By group type: "get" → getImage into the payload's result (2 if it found one, else 1);
  // "resize" → resize the payload's result (2); "setdir" → addDirectory (2); else 1.
  int32_t receiveMessage(KestroCorelib::ImsMessage& message) override;
  // As receiveMessage for the own hook; 1 for any other hook id.
  int32_t receiveHookedMessage(uint64_t hookId, KestroCorelib::ImsMessage& message) override;

  // Adds a directory to look in. Directories are searched in ascending text order, so
  // "C:/logos/" comes before "C:\img" ('/' sorts before '\').
  void addDirectory(const std::wstring& directory);

  // The image `fileName` as a new object the caller owns, or null (no application yet, file
  // not found, unknown extension, unreadable). With `copy` the loaded image is cached and
  // a copy returned; a cached image is always returned as a copy. Scaled with resize
  // when width and height are both non-zero, then created in the toolkit.
  FX::FXImage* getImage(const std::wstring& fileName, bool copy, int32_t width, int32_t height,
                        bool keepAspect);

  // Where `fileName` is: for each directory in ascending order (a backslash appended unless it
  // ends in '/' or '\'), the file name itself if it is a regular file, then with ".png",
  // ".jpg", ".gif". Empty when there is none.
  //   directories {"C:\img", "C:/logos/"}, findFile(L"logo") tries C:/logos/logo,
  //   C:/logos/logo.png, C:/logos/logo.jpg, C:/logos/logo.gif, C:\img\logo, ...
  std::wstring findFile(const std::wstring& fileName) const;

  // Scales `image` to width x height. With keepAspect the image keeps its proportions and
  // fits inside that box: 200 x 100 into 50 x 50 gives 50 x 25. Sizes below 1 leave the
  // image unchanged.
  static void resize(FX::FXImage* image, int32_t width, int32_t height, bool keepAspect);

  // The application pictures are made on (null until the first icon request).
  FX::FXApp* getApplication() const { return application; }
  // The budget in thousands of pixels and the pixels held now.
  int32_t getCacheLimit() const { return cacheLimit; }
  void setCacheLimit(int32_t thousandsOfPixels) { cacheLimit = thousandsOfPixels; }
  int64_t getCachedPixels() const { return cachedPixels; }

 protected:
  // Which of the two caches an age entry belongs to. Icons and images share one age list
  // and one budget, so every entry says which map holds it.
  enum class CacheKind { Image, Icon };
  struct CacheEntry {
    CacheKind kind;
    std::wstring fileName;
    int64_t pixels;  // as inserted: a picture scaled later must not skew the budget
  };

  // The cache's order: (insertion time in ms, process-wide sequence number).
  using Age = std::pair<int64_t, uint32_t>;

  // Records a picture just stored in its map (icons or images) and evicts the oldest
  // entries, of either map, while the budget is exceeded; the newest entry is never
  // evicted, so one picture larger than the budget stays cached.
  void cacheInsert(CacheKind kind, const std::wstring& fileName, FX::FXImage* picture);
  // Removes `fileName` from the map of `kind` and returns the picture (null if absent).
  virtual FX::FXImage* takeCached(CacheKind kind, const std::wstring& fileName);

  // Deletes a cached picture, or keeps it until the process ends when its application is
  // gone (see the destructor).
  void release(FX::FXImage* picture) const;

  // Opens `path` and loads its pixels into `picture`; false when that fails.
  static bool loadPixels(FX::FXImage* picture, const std::wstring& path);
  // The lower-cased text after the last dot of a path's file name ("" without one).
  static std::wstring lowerExtension(const std::wstring& path);

  uint64_t imageHook;
  std::set<std::wstring> directories;
  FX::FXApp* application = nullptr;
  int32_t cacheLimit = 1000;
  int64_t cachedPixels = 0;
  std::map<Age, CacheEntry> ages;
  std::map<std::wstring, FX::FXImage*> images;

 private:
  FX::FXImage* copyOf(const FX::FXImage* cached) const;
};

}  // namespace Kestro
