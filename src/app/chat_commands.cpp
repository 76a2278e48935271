// The console's chat commands: say something, take a name, and the server
// operator's list of players, kick and ban.
#include "app/base/console.h"
#include "app/console_commands.h"
#include "design/base/numbers.h"
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
