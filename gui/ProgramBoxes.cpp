#include "gui/ProgramBoxes.h"

namespace quillon {

ScopedBoxAnswerer::ScopedBoxAnswerer(BoxAnswerer* answerer)
    : previous_(Boxes().SetAnswerer(answerer)) {}

ScopedBoxAnswerer::~ScopedBoxAnswerer() { Boxes().SetAnswerer(previous_); }

}  // namespace quillon
