#pragma once
// The base of an application's main window on the FOX toolkit.
//
//   class ToolWnd : public KestroCorelib::FoxMainWnd {
//     FXDECLARE(ToolWnd)
//    protected:
//     ToolWnd() {}
//    public:
//     explicit ToolWnd(AppFrame* a) : FoxMainWnd(a) { new FXLabel(this, "Hello"); }
//   };
//   AppFrame::mainWindow = new ToolWnd(&tool);
//   tool.createWindows();            // create() below: shown at the saved geometry
//   int result = tool.runEventLoop();
//
// A window registered with FoxMainWnd as its toolkit base gets the geometry clamp and the
// state poll below; one that names FXMainWindow as its base bypasses both.
#include <fx.h>

#include <string>

namespace KestroCorelib {

class AppFrame;

class FoxMainWnd : public FXMainWindow {
  FXDECLARE(FoxMainWnd)

 protected:
  FoxMainWnd() {}

 public:
  enum {
    ID_STATEPOLL = FXMainWindow::ID_LAST,  // the 100 ms poll of the frame's state (60)
    ID_LAST
  };

  // A main window on the frame's toolkit application: title AppFrame::appTitle, every
  // decoration, at 100, 100 with 600 x 500 (also the saved geometry), no paddings or
  // spacings. Also creates the application's tooltip window and sets tooltips to stay
  // 5 seconds.
  explicit FoxMainWnd(AppFrame* a);
  ~FoxMainWnd() override;

  // Arms the state poll, shows the window (placement "visible") at the saved geometry and
  // creates it in the toolkit. When the saved geometry was not changed meanwhile it takes
  // the window's real position and size; when it was (a configure event during creation),
  // the window goes back to the geometry asked for, unless it is maximized.
  void create() override;

  // Geometry clamp for SEL_CONFIGURE: a window that is not maximized remembers the
  // event's rectangle as its saved geometry, and one whose top-left corner would be left
  // of x = 0 or above y = 30 is moved back to x >= 0, y >= 30 (keeps the title bar
  // reachable).
  long onConfigure(FXObject* sender, FXSelector sel, void* ptr);
  // The state poll: calls the frame's onTimer, ends the event loop with 0 when the frame's
  // state is "finished" and with 2 when it is "failed", and arms itself again.
  long onStatePoll(FXObject* sender, FXSelector sel, void* ptr);

  // Narrow text for the toolkit: each byte becomes the character of the same code
  // (so every byte value survives the round trip through fromToolkitText).
  //   fromToolkitText(toToolkitText("caf\xe9")) == "caf\xe9"
  static FXString toToolkitText(const std::string& text);
  // The toolkit's text back to narrow text; a character above 255 becomes '?'.
  static std::string fromToolkitText(const FXString& text);

  FXint getSavedX() const { return savedX; }
  FXint getSavedY() const { return savedY; }
  FXint getSavedWidth() const { return savedWidth; }
  FXint getSavedHeight() const { return savedHeight; }

 protected:
  AppFrame* frame = nullptr;
  // Where the window is to be (or was last) on the screen; create() applies it.
  FXint savedX = 0;
  FXint savedY = 0;
  FXint savedWidth = 0;
  FXint savedHeight = 0;
};

}  // namespace KestroCorelib
