// The console's `remote` command: a console line for the dedicated server
// this client is connected to, sent with the server's console password.
#include "app/base/console.h"
#include "app/console_commands.h"
#include "core/threads.h"
#include "net/network_manager.h"
#include "net/remote_console.h"
#include "platform/bit_stream.h"

irr::core::stringw remoteCommandText(const ConsoleArgs& args) {
  // The line as it would be typed: a piece holding a blank was quoted.
  irr::core::stringw text;
  for (irr::u32 i = 2; i < args.size(); ++i) {
    if (!text.empty())
      text += L" ";
    if (args[i].findFirst(L' ') >= 0)
      text += irr::core::stringw(L"\"") + args[i] + L"\"";
    else
      text += args[i];
  }
  return text;
}

void remoteCommand(const ConsoleArgs& args) {
  NetworkManager& manager = *networkManager;
  if (!manager.isNetworked)
    return;
  // A password and at least one word of the command.
  if (args.size() < 3) {
    if (Console* target = console())
      target->printHelp(args);
    return;
  }
  RakNet::BitStream fallback;
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : fallback;
  stream.Reset();
  writeRemoteConsoleMessage(stream, args[1], remoteCommandText(args));
  manager.send(&stream, 0, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}
