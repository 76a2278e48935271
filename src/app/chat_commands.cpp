// The console's chat commands: say something, take a name, ask for an
// empire, and the server operator's list of players, kick and ban.
#include "app/base/console.h"
#include "app/console_commands.h"
#include "design/base/numbers.h"
#include "empire/empire.h"
#include "net/galaxy_join.h"
#include "net/network_manager.h"

namespace {

// False, with the command's help printed, unless it has `count` arguments.
bool takesArguments(const ConsoleArgs& args, size_t count) {
  if (args.size() == count + 1)
    return true;
  if (Console* target = console())
    target->printHelp(args);
  return false;
}

}  // namespace

void sayCommand(const ConsoleArgs& args) {
  if (!takesArguments(args, 1))
    return;
  networkManager->sendChat(args[1]);
  if (Console* target = console())
    target->print(irr::core::stringw(L"You: ") + args[1]);
}

void nickCommand(const ConsoleArgs& args) {
  if (takesArguments(args, 1))
    networkManager->sendNameChange(args[1]);
}

void playAsCommand(const ConsoleArgs& args) {
  if (!takesArguments(args, 1))
    return;
  Console* target = console();
  empire* emp = findEmpireByName(args[1]);
  if (emp == nullptr || !emp->isValid()) {
    if (target != nullptr)
      target->print(L"Specified invalid empire. Note: Names are case-sensitive.");
    return;
  }
  if (networkManager->isHosting) {
    if (target != nullptr)
      target->print(L"The server may not become, or change, its empire");
    return;
  }
  sendPlayAsRequest(emp);
}

void playersCommand(const ConsoleArgs& args) {
  if (takesArguments(args, 0))
    networkManager->listPlayers();
}

void kickCommand(const ConsoleArgs& args) {
  if (takesArguments(args, 1))
    networkManager->kickPlayer(parseWideInteger(args[1]));
}

void banCommand(const ConsoleArgs& args) {
  if (takesArguments(args, 1))
    networkManager->banPlayer(parseWideInteger(args[1]));
}
