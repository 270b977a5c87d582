#include "PlavoMainWnd.h"

#include "AppFrame.h"
#include "BuiltinImages.h"
#include "IconProvider.h"
#include "IconProviderFile.h"
#include "Plavo.h"
#include "StringTools.h"

using KestroCorelib::FoxMainWnd;
using KestroCorelib::StringTools;

namespace Kestro {

namespace {

const FXColor panelColor = FXRGB(227, 224, 208);
const FXColor fieldColor = FXRGB(250, 250, 250);
const FXint headerHeight = 50;

}  // namespace

// Registered with FXMainWindow, not FoxMainWnd, as the toolkit base: messages this map
// does not name go straight to the toolkit's main window (the close box, configure events,
// timeouts), bypassing FoxMainWnd's handlers.
FXDEFMAP(PlavoMainWnd)
PlavoMainWndMap[] = {
    FXMAPFUNC(SEL_DOUBLECLICKED, PlavoMainWnd::ID_LIST, PlavoMainWnd::onListDoubleClicked),
    FXMAPFUNC(SEL_CLICKED, PlavoMainWnd::ID_LIST, PlavoMainWnd::onListClicked),
    FXMAPFUNC(SEL_KEYRELEASE, PlavoMainWnd::ID_FILTER, PlavoMainWnd::onFilterKeyRelease),
    FXMAPFUNC(SEL_KEYRELEASE, PlavoMainWnd::ID_LIST, PlavoMainWnd::onListKeyRelease),
    FXMAPFUNC(SEL_COMMAND, PlavoMainWnd::ID_OK, PlavoMainWnd::onOk),
};

FXIMPLEMENT(PlavoMainWnd, FXMainWindow, PlavoMainWndMap, ARRAYNUMBER(PlavoMainWndMap))

PlavoMainWnd::PlavoMainWnd(KestroCorelib::AppFrame* a, std::string windowTitle,
                           const std::string& logo)
    : FoxMainWnd(a) {
  setTitle(toToolkitText(windowTitle.empty() ? std::string("Select Project") : windowTitle));
  // No close box until a project has been clicked.
  setDecorations(DECOR_TITLE | DECOR_BORDER | DECOR_SHRINKABLE | DECOR_STRETCHABLE);
  setIcon(BuiltinImages::getIcon(getApp(), "i16_kestro"));

  if (!logo.empty()) {
    IconProviderFile::instance().addDirectory(StringTools::toWide(logoFolder(logo)));
    headerImage = IconProvider().getIcon(logoFileName(logo), getApp());
  }
  if (headerImage == nullptr) {
    // No logo, or one the provider could not read: the built-in banner, in an icon of
    // the window's own.
    ownBanner = new FXGIFIcon(getApp(), BuiltinImages::headerData());
    headerImage = ownBanner;
  }
  if (headerImage->getHeight() != headerHeight)
    headerImage->scale(headerImage->getWidth(), headerHeight);

  // Centred for the 600 x 500 of construction, then shrunk to 250 x 300 at that corner.
  // While the toolkit has not opened the display (its initialisation is deferred until the
  // windows are created) the screen's size is unknown; create() places the window then.
  place(PLACEMENT_SCREEN);
  placeWhenScreenKnown = getRoot()->getWidth() <= 1;
  savedX = getX();
  savedY = getY();
  savedWidth = 250;
  savedHeight = 300;

  auto* header = new FXHorizontalFrame(this, LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4);
  auto* spring =
      new FXSpring(header, LAYOUT_FILL_X | LAYOUT_RIGHT, 500, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4);
  new FXImageFrame(spring, headerImage, LAYOUT_RIGHT | FRAME_NONE, 0, 0, 0, 0, 0, 0, 0, 0);

  auto* body = new FXVerticalFrame(this, LAYOUT_FILL, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4);
  body->setBackColor(panelColor);
  auto* packer = new FXPacker(body, FRAME_SUNKEN | LAYOUT_FILL, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  list = new FXList(packer, this, ID_LIST, LIST_SINGLESELECT | LAYOUT_FILL);
  list->setBackColor(fieldColor);

  auto* row = new FXHorizontalFrame(body, LAYOUT_FILL_X | PACK_UNIFORM_HEIGHT, 0, 0, 0, 0, 0, 0, 0,
                                    0, 0, 0);
  filter = new FXTextField(row, 0, this, ID_FILTER, FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_X, 0,
                           0, 0, 0, 2, 2, 2, 2);
  filter->setBackColor(fieldColor);
  new FXButton(row, "OK", nullptr, this, ID_OK, BUTTON_NORMAL, 0, 0, 0, 0, 15, 15, 2, 2);

  auto* footer = new FXHorizontalFrame(body, LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  footer->setBackColor(panelColor);
  poweredLabel = new FXLabel(footer, "Powered by Kestro", nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  poweredLabel->setBackColor(panelColor);
  registeredLabel = new FXLabel(footer, "(R)", nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  registeredLabel->setBackColor(panelColor);
}

PlavoMainWnd::~PlavoMainWnd() {
  delete ownBanner;
  delete poweredFont;
  delete registeredFont;
}

void PlavoMainWnd::create() {
  if (placeWhenScreenKnown) {
    // Same rule as in the constructor, now that the screen has a size (the window still
    // has its construction size here).
    place(PLACEMENT_SCREEN);
    savedX = getX();
    savedY = getY();
  }
  // The application's normal font exists only once the toolkit is initialised, which the
  // program defers until the windows are created.
  FXFont* normal = getApp()->getNormalFont();
  if (normal != nullptr && poweredFont == nullptr) {
    FXFontDesc description;
    normal->getFontDesc(description);
    description.weight = FXFont::Bold;
    description.size = 70;
    poweredFont = new FXFont(getApp(), description);
    description.size = 50;
    registeredFont = new FXFont(getApp(), description);
    poweredLabel->setFont(poweredFont);
    registeredLabel->setFont(registeredFont);
  }
  if (projectList != nullptr) {
    for (const std::string& project : *projectList)
      list->appendItem(toToolkitText(project), nullptr, nullptr, false);
  }
  FoxMainWnd::create();
  // Focus only once the field exists in the toolkit: focusing it earlier makes the
  // toolkit create the input-method context for a window that does not exist yet.
  filter->setFocus();
}

long PlavoMainWnd::onListDoubleClicked(FXObject*, FXSelector, void*) {
  FXint index = list->getCurrentItem();
  if (index >= 0 && list->isItemEnabled(index)) pickAndClose(index);
  return 1;
}

long PlavoMainWnd::onListClicked(FXObject*, FXSelector, void*) {
  FXint index = list->getCursorItem();
  // A project the filter has disabled cannot be picked by a click either.
  if (index < 0 || !list->isItemEnabled(index)) return 1;
  selectedProject = fromToolkitText(list->getItemText(index));
  setDecorations(DECOR_TITLE | DECOR_CLOSE | DECOR_BORDER | DECOR_SHRINKABLE | DECOR_STRETCHABLE);
  return 1;
}

long PlavoMainWnd::onFilterKeyRelease(FXObject*, FXSelector, void*) {
  list->killSelection(false);
  std::string pattern = fromToolkitText(filter->getText()) + "*";
  FXint top = 0;
  const FXint count = list->getNumItems();
  for (FXint index = 0; index < count; ++index) {
    if (StringTools::matchGlob(fromToolkitText(list->getItemText(index)), pattern)) {
      list->enableItem(index);
      list->moveItem(top, index, false);
      ++top;
    } else {
      list->disableItem(index);
    }
  }
  // The field still handles the key itself.
  return 0;
}

long PlavoMainWnd::onListKeyRelease(FXObject*, FXSelector, void*) {
  FXint index = list->getCurrentItem();
  if (index >= 0 && list->isItemEnabled(index)) list->selectItem(index, false);
  return 0;
}

long PlavoMainWnd::onOk(FXObject*, FXSelector, void*) {
  if (!selectedProject.empty()) close(TRUE);
  return 1;
}

void PlavoMainWnd::pickAndClose(FXint index) {
  selectedProject = fromToolkitText(list->getItemText(index));
  // The only main window: the close command quits the event loop (with 0) and deletes
  // this window.
  close(TRUE);
}

std::string PlavoMainWnd::logoFileName(const std::string& logo) {
  std::string::size_type separator = logo.find_last_of("/\\");
  return separator == std::string::npos ? logo : logo.substr(separator + 1);
}

std::string PlavoMainWnd::logoFolder(const std::string& logo) {
  // Cut at the last separator rather than at the first occurrence of the file name, which
  // would give the wrong folder for a path like "/srv/logo/logo".
  std::string::size_type separator = logo.find_last_of("/\\");
  if (separator == std::string::npos) return ".\\";
  return logo.substr(0, separator + 1);
}

}  // namespace Kestro
