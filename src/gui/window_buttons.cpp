#include "gui/window_buttons.h"

bool windowButtonCallback(const irr::SEvent& event) {
  (void)event;
  return false;
}
