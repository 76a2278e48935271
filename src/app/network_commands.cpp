// The console's network commands: host a game, join one, leave it, and the
// lag simulation that is not built.
#include <string>

#include "app/base/console.h"
#include "app/console_commands.h"
#include "core/utf8.h"
#include "net/network_manager.h"

namespace {

void print(const wchar_t* text) {
  if (Console* target = console())
    target->print(text);
}

void printHelp(const ConsoleArgs& args) {
  if (Console* target = console())
    target->printHelp(args);
}

}  // namespace

uint16_t parsePort(const irr::core::stringw& text) {
  uint16_t port = 0;
  for (irr::u32 i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c >= L'0' && c <= L'9')
      port = static_cast<uint16_t>(port * 10u + static_cast<unsigned>(c - L'0'));
    else if (c == L'.' || c == L',' || (c == L'-' && i == 0))
      continue;
    else
      break;
  }
  return port;
}

ConnectTarget splitConnectTarget(const irr::core::stringw& text) {
  const irr::s32 last = text.findLast(L':');
  if (last < 0 || text.findFirst(L':') != last)
    return {text, kDefaultGamePort};
  return {text.subString(0, static_cast<irr::u32>(last)),
          parsePort(text.subString(static_cast<irr::u32>(last) + 1, text.size()))};
}

void connectCommand(const ConsoleArgs& args) {
  if (args.size() != 2) {
    printHelp(args);
    return;
  }
  const ConnectTarget target = splitConnectTarget(args[1]);
  const std::string address = wideToUtf8(std::wstring(target.address.c_str(), target.address.size()));
  if (networkManager->connect(address.c_str(), target.port))
    print(L"Attempting to connect...");
  else
    print(L"Malformed connection attempt");
}

void disconnectCommand(const ConsoleArgs& args) {
  if (args.size() != 1) {
    printHelp(args);
    return;
  }
  networkManager->disconnect();
}

void hostCommand(const ConsoleArgs& args) {
  if (args.size() > 2) {
    printHelp(args);
    return;
  }
  const uint16_t port = args.size() == 2 ? parsePort(args[1]) : kDefaultGamePort;
  if (networkManager->host(port))
    print(L"Now acting as host");
  else
    print(L"Failed to startup host");
}

void netSimCommand(const ConsoleArgs& args) {
  // The lag simulation takes its two values and changes nothing.
  if (args.size() != 3)
    printHelp(args);
}
