#pragma once
// The project selection window of query mode: a header image, the list of eligible
// projects, a filter field with an "OK" button and a "Powered by Kestro" line.
//
//   projectList = &manager.getEligible();
//   AppFrame::mainWindow = new PlavoMainWnd(this, manager.getTitle(), manager.getLogo());
//   createWindows();
//   if (runEventLoop() == 0) manager.setProject(selectedProject);  // "" when closed unpicked
//
// Picking a project (double-click, or a click and then "OK" or the close box) stores its
// text in selectedProject and closes the window, which ends the event loop with 0 and
// deletes the window. Typing in the filter moves the projects that match "<text>*" to the
// top and disables the others.
#include <string>

#include "FoxMainWnd.h"

namespace Kestro {

class PlavoMainWnd : public KestroCorelib::FoxMainWnd {
  FXDECLARE(PlavoMainWnd)

 protected:
  PlavoMainWnd() {}

 public:
  enum { ID_LIST = 64, ID_FILTER = 65, ID_OK = 66 };

  // The window for application `a`, titled `windowTitle` ("Select Project" when empty), with the
  // header image `logo` (a file path; empty for the built-in banner). A logo's folder is
  // added to the process-wide icon provider's directories. When the provider has no
  // picture for the logo (unreadable or not a GIF, JPEG or PNG) the built-in banner is
  // shown instead.
  PlavoMainWnd(KestroCorelib::AppFrame* a, std::string windowTitle, const std::string& logo);
  ~PlavoMainWnd() override;

  // Fills the list with projectList (as plain items, nothing selected) and shows the window.
  void create() override;

  long onListDoubleClicked(FXObject* sender, FXSelector sel, void* ptr);
  long onListClicked(FXObject* sender, FXSelector sel, void* ptr);
  long onFilterKeyRelease(FXObject* sender, FXSelector sel, void* ptr);
  long onListKeyRelease(FXObject* sender, FXSelector sel, void* ptr);
  long onOk(FXObject* sender, FXSelector sel, void* ptr);

  FXList* getList() const { return list; }
  FXTextField* getFilter() const { return filter; }
  // The picture shown in the header.
  FXImage* getHeaderImage() const { return headerImage; }

  // The folder a logo path lies in, with a trailing separator; '/' counts as '\':
  //   logoFolder("C:/logos/top.gif") == "C:/logos/", logoFolder("top.gif") == ".\\"
  static std::string logoFolder(const std::string& logo);
  // The logo path's file name: logoFileName("C:\\logos\\top.gif") == "top.gif".
  static std::string logoFileName(const std::string& logo);

 protected:
  FXList* list = nullptr;
  FXTextField* filter = nullptr;

 private:
  // Shows a project as picked and closes the window (the event loop ends with 0).
  void pickAndClose(FXint index);

  FXImage* headerImage = nullptr;
  FXIcon* ownBanner = nullptr;  // the built-in banner made for this window, or null
  FXLabel* poweredLabel = nullptr;
  FXLabel* registeredLabel = nullptr;
  FXFont* poweredFont = nullptr;
  FXFont* registeredFont = nullptr;
  bool placeWhenScreenKnown = false;
};

}  // namespace Kestro
