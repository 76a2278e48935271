#include "app/base/message_box.h"

#include <IGUIEnvironment.h>

#include "app/base/engine.h"
#include "core/log.h"
#include "core/utf8.h"

void showMessageBox(const std::string& caption, const std::string& text, bool modal) {
  logError("%s\n", text.c_str());
  if (engine.gui != nullptr)
    engine.gui->addMessageBox(utf8ToWide(caption).c_str(), utf8ToWide(text).c_str(), modal, irr::gui::EMBF_OK);
}
