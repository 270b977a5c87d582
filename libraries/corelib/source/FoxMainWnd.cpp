#include "FoxMainWnd.h"

#include <vector>

#include "AppFrame.h"

namespace KestroCorelib {

namespace {

// How often the window looks at the frame's state.
const FXuint statePollMilliseconds = 100;
// The lowest top edge the clamp lets a frame window have.
const FXint topLimit = 30;

}  // namespace

static_assert(FoxMainWnd::ID_STATEPOLL == 60, "the state poll's identifier is fixed");

FXDEFMAP(FoxMainWnd)
FoxMainWndMap[] = {
    FXMAPFUNC(SEL_CLOSE, 0, FXTopWindow::onCmdClose),
    FXMAPFUNC(SEL_CONFIGURE, 0, FoxMainWnd::onConfigure),
    FXMAPFUNC(SEL_TIMEOUT, FoxMainWnd::ID_STATEPOLL, FoxMainWnd::onStatePoll),
};

FXIMPLEMENT(FoxMainWnd, FXMainWindow, FoxMainWndMap, ARRAYNUMBER(FoxMainWndMap))

FoxMainWnd::FoxMainWnd(AppFrame* a)
    : FXMainWindow(AppFrame::toolkitApp, toToolkitText(AppFrame::appTitle), nullptr, nullptr,
                   DECOR_ALL, 100, 100, 600, 500, 0, 0, 0, 0, 0, 0),
      frame(a),
      savedX(getX()),
      savedY(getY()),
      savedWidth(getWidth()),
      savedHeight(getHeight()) {
  new FXToolTip(getApp(), TOOLTIP_VARIABLE);
  getApp()->setTooltipTime(5000);
}

FoxMainWnd::~FoxMainWnd() {
  // A poll still pending must not reach a deleted window.
  getApp()->removeTimeout(this, ID_STATEPOLL);
}

void FoxMainWnd::create() {
  getApp()->addTimeout(this, ID_STATEPOLL, statePollMilliseconds);
  show(PLACEMENT_VISIBLE);
  FXint x0 = savedX, y0 = savedY, w0 = savedWidth, h0 = savedHeight;
  position(x0, y0, w0, h0);
  FXMainWindow::create();
  if (savedX == x0 && savedY == y0 && savedWidth == w0 && savedHeight == h0) {
    savedX = getX();
    savedY = getY();
    savedWidth = getWidth();
    savedHeight = getHeight();
  } else if (!isMaximized()) {
    position(x0, y0, w0, h0);
  }
}

long FoxMainWnd::onConfigure(FXObject* sender, FXSelector sel, void* ptr) {
  if (isMaximized() || ptr == nullptr) return FXMainWindow::onConfigure(sender, sel, ptr);
  const auto* event = static_cast<const FXEvent*>(ptr);
  savedX = event->rect.x;
  savedY = event->rect.y;
  savedWidth = event->rect.w;
  savedHeight = event->rect.h;
  if (savedX >= 0 && savedY >= topLimit) return FXMainWindow::onConfigure(sender, sel, ptr);
  if (savedX < 0) savedX = 0;
  if (savedY < topLimit) savedY = topLimit;
  position(savedX, savedY, savedWidth, savedHeight);
  return 1;
}

long FoxMainWnd::onStatePoll(FXObject*, FXSelector, void*) {
  if (frame != nullptr) {
    frame->onTimer();
    if (frame->getState() == AppFrame::StateFinished) getApp()->stop(0);
    if (frame->getState() == AppFrame::StateFailed) getApp()->stop(2);
  }
  getApp()->addTimeout(this, ID_STATEPOLL, statePollMilliseconds);
  return 1;
}

FXString FoxMainWnd::toToolkitText(const std::string& text) {
  std::vector<FXnchar> wide;
  wide.reserve(text.size());
  for (char c : text) wide.push_back(static_cast<FXnchar>(static_cast<unsigned char>(c)));
  return FXString(wide.data(), static_cast<FXint>(wide.size()));
}

std::string FoxMainWnd::fromToolkitText(const FXString& text) {
  std::string narrow;
  for (FXint i = 0; i < text.length(); i = text.inc(i)) {
    FXwchar c = text.wc(i);
    narrow += c > 255 ? '?' : static_cast<char>(c);
  }
  return narrow;
}

}  // namespace KestroCorelib
