// Failures the operator must see: logged as errors and shown in a modal
// message box on the engine's GUI (when there is one). Texts are UTF-8.
#pragma once

#include <string>

void showMessageBox(const std::string& caption, const std::string& text);
