#include "app/key_commands.h"

#include "ui/key_bindings.h"

using irr::core::stringw;

void bindCommand(const ConsoleArgs& args) {
  Console* target = console();
  if (target == nullptr)
    return;
  if (args.size() < 2) {
    target->printHelp(args);
    return;
  }
  const stringw& keyName = args[1];
  if (keyCodeFromName(keyName) == 0) {
    target->print(stringw(L"Unknown key \"") + keyName + L"\"");
    return;
  }

  // The line as it would be typed: a piece holding a blank was quoted.
  stringw text;
  for (irr::u32 i = 2; i < args.size(); ++i) {
    if (i > 2)
      text += L" ";
    if (args[i].findFirst(L' ') >= 0)
      text += stringw(L"\"") + args[i] + L"\"";
    else
      text += args[i];
  }
  if (findKeyAction(text) >= 0)
    keyBindings.bindByName(keyName, text);
  else
    keyBindings.bindByName(keyName, stringw(L"console:") + text);
}

void dumpActionsCommand(const ConsoleArgs& args) {
  Console* target = console();
  if (target == nullptr)
    return;
  if (args.size() != 1) {
    target->printHelp(args);
    return;
  }
  const KeyActionTable& table = keyActionTable();
  for (irr::u32 i = 0; i < table.size(); ++i)
    target->print(table[i].name);
}
