#pragma once
// The answerer that shows real boxes on a display.
#include "gui/ProgramBoxes.h"

#include <memory>

class QMessageBox;
class QWidget;

namespace quillon {

// True when no box could ever be answered by a person: no GUI application,
// or Qt's offscreen or minimal platform.
bool IsHeadlessPlatform();

// Window that owns the boxes (the main window once it exists); nullptr:
// the active modal window or the active window.
void SetBoxOwner(QWidget* owner);

// The box a message becomes: title, icon, the text broken into lines,
// OK/Cancel/Help as the style asks, every button in the boxes' one style,
// and at least as wide as its title.
std::unique_ptr<QMessageBox> BuildMessageBox(const BoxQuestion& q, QWidget* parent);

// Message boxes become QMessageBox with the style's icon and buttons; the
// Help button opens the box's help topic and leaves the box open. The
// program's message box dialog runs its own modal loop.
class QtBoxAnswerer : public BoxAnswerer {
 public:
  BoxAnswer Answer(const BoxQuestion& q) override;
};

// Chooses per box: headless answers on the offscreen or minimal platform,
// real boxes elsewhere.
class PlatformBoxAnswerer : public BoxAnswerer {
 public:
  BoxAnswer Answer(const BoxQuestion& q) override;

 private:
  HeadlessBoxAnswerer headless_;
  QtBoxAnswerer widgets_;
};

}  // namespace quillon
