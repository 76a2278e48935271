// Texts the operator must see: logged as errors and shown in a message box
// with an OK button on the engine's GUI (when there is one). Texts are
// UTF-8.
#pragma once

#include <string>

// `modal` boxes hold the rest of the GUI until closed; the network's
// connection reports are not modal.
void showMessageBox(const std::string& caption, const std::string& text, bool modal = true);
