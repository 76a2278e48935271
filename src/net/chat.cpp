// Chat lines and renames. The local player's lines are coloured and echoed
// here; a server colours what its players say, checks it and relays it to
// everyone else; every peer prints what it receives and keeps it in the chat
// log. A player renames itself through its server, which checks the name.
//
// A client's text is never trusted: the server cuts it to 255 UTF-16 units
// before anything else, removes control characters and doubles every lone
// '#', so that nobody can open colour or link tags, break lines or pass a
// forged "Server" line off inside the relayed one.
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <vector>

#include "app/base/console.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "core/text_conversions.h"
#include "core/threads.h"
#include "core/utf16.h"
#include "empire/empire.h"
#include "net/chat_log.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"

using irr::core::stringw;

namespace {

// The most UTF-16 units of a player's text that a server takes.
constexpr irr::u32 kMaxChatUnits = 255;
// The longest name a player may take.
constexpr irr::u32 kMaxNameLength = 100;
constexpr wchar_t kNameCharacters[] =
    L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_[]@!$%^&*() ";
constexpr wchar_t kNameRejected[] = L"#c:red#Server#c#: Your name has been rejected";
// A player without an empire chats in light grey.
constexpr wchar_t kNoColour[] = L"ddd";

// The calling thread's scratch stream when it has one, else `fallback`;
// reset either way.
RakNet::BitStream& scratchStream(RakNet::BitStream& fallback) {
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : fallback;
  stream.Reset();
  return stream;
}

// The empire's colour as RRGGBB; "ddd" without an empire. (While a game-setup
// screen exists, the player's row on it gives the colour.)
stringw colourOf(const empire* emp) {
  if (emp == nullptr)
    return kNoColour;
  wchar_t text[8];
  std::swprintf(text, sizeof text / sizeof text[0], L"%06X", static_cast<unsigned>(emp->color & 0xFFFFFFu));
  return text;
}

stringw chatLine(const stringw& colour, const stringw& name, const stringw& text) {
  stringw line = L"#c:";
  line += colour;
  line += L"#";
  line += name;
  line += L"#c#: ";
  line += text;
  return line;
}

// `units` UTF-16 units, low byte first, from the stream's position.
stringw readUnits(RakNet::BitStream& stream, irr::u32 units) {
  std::vector<unsigned char> bytes(static_cast<std::size_t>(units) * 2);
  for (unsigned char& byte : bytes) {
    uint8_t value = 0;
    stream.Read(value);
    byte = value;
  }
  stringw text;
  appendUtf16LE(text, bytes.data(), units);
  return text;
}

// A player's text as a server passes it on: control characters removed, and
// every '#' that is not half of a "##" pair doubled (an escaped text stays as
// it is).
stringw cleanPlayerText(const stringw& text) {
  stringw printable;
  printable.reserve(text.size() + 1);
  for (irr::u32 i = 0; i < text.size(); ++i)
    if (static_cast<uint32_t>(text[i]) >= 0x20)
      printable.append(text[i]);
  stringw clean;
  clean.reserve(printable.size() * 2 + 1);
  for (irr::u32 i = 0; i < printable.size(); ++i) {
    if (printable[i] == L'#') {
      clean.append(L"##");
      if (i + 1 < printable.size() && printable[i + 1] == L'#')
        ++i;
    } else {
      clean.append(printable[i]);
    }
  }
  return clean;
}

bool acceptableName(const stringw& name) {
  if (name.empty() || name.size() > kMaxNameLength || name == L"Server" || name == L"You")
    return false;
  for (irr::u32 i = 0; i < name.size(); ++i)
    if (std::wcschr(kNameCharacters, name[i]) == nullptr || name[i] == L'\0')
      return false;
  return true;
}

}  // namespace

void NetworkManager::sendChat(const stringw& text) {
  stringw name;
  const empire* emp = nullptr;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    name = localPlayer.name;
    emp = localPlayer.emp;
  }
  const stringw line = chatLine(colourOf(emp), name, text);
  appendChatLog(line);
  if (!isServer && !isNetworked)
    return;
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = scratchStream(fallback);
  // A server's players get the whole line; a client's server colours the
  // text itself.
  writeChatMessage(stream, isServer ? line : text);
  if (isServer) {
    sendDirect(&stream, RakNet::LOW_PRIORITY, RakNet::RELIABLE_ORDERED, kChatChannel,
               RakNet::UNASSIGNED_SYSTEM_ADDRESS, true);
  } else {
    const RakNet::SystemAddress server = peer->GetSystemAddressFromIndex(0);
    if (server != RakNet::UNASSIGNED_SYSTEM_ADDRESS)
      sendDirect(&stream, RakNet::LOW_PRIORITY, RakNet::RELIABLE_ORDERED, kChatChannel, server, false);
  }
}

void NetworkManager::sendNameChange(const stringw& name) {
  {
    std::lock_guard<std::mutex> guard(playersLock);
    localPlayer.name = name;
  }
  if (!isNetworked)
    return;
  const RakNet::SystemAddress server = peer->GetSystemAddressFromIndex(0);
  if (server == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
    return;
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = scratchStream(fallback);
  stream.Write(msgid::kPlayerName);
  writeNetStringW(stream, name, kMaxNameLength);
  sendDirect(&stream, RakNet::LOW_PRIORITY, RakNet::RELIABLE, kChatChannel, server, false);
}

void NetworkManager::onChat(const RakNet::Packet& packet, RakNet::BitStream& stream, NetPlayer* sender) {
  // A server hears only its listed players.
  if (isServer && sender == nullptr)
    return;
  irr::u32 units = static_cast<irr::u32>(stream.GetNumberOfUnreadBits() / 16);
  if (units == 0)
    return;
  if (isServer && units > kMaxChatUnits)
    units = kMaxChatUnits;
  stringw text = readUnits(stream, units);

  if (isServer) {
    const bool voteCommand = text[0] == L'!';
    text = cleanPlayerText(text);
    // Nothing but control characters: nothing was said.
    if (text.empty())
      return;
    if (votesEnabled && voteCommand && handleVoteCommand(*sender, text))
      return;
    stringw name;
    const empire* emp = nullptr;
    {
      std::lock_guard<std::mutex> guard(playersLock);
      name = sender->name;
      emp = sender->emp;
    }
    logPrint("<%ls> %ls\n", name.c_str(), text.c_str());
    text = chatLine(colourOf(emp), name, text);
    RakNet::BitStream relay;
    writeChatMessage(relay, text);
    sendDirect(&relay, RakNet::LOW_PRIORITY, RakNet::RELIABLE_ORDERED, kChatChannel, packet.systemAddress, true);
  }

  if (Console* target = console())
    target->print(unescapeHashes(0, text));
  appendChatLog(text);
}

void NetworkManager::onPlayerName(RakNet::BitStream& stream, NetPlayer* sender) {
  if (!isServer || sender == nullptr)
    return;
  stringw name;
  if (!readNetStringW(stream, name))
    name = L"";
  name.trim(L" \t\n");

  stringw oldName;
  RakNet::SystemAddress address;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    oldName = sender->name;
    address = sender->address;
  }
  if (!acceptableName(name)) {
    RakNet::BitStream answer;
    writeChatMessage(answer, kNameRejected);
    if (address != RakNet::UNASSIGNED_SYSTEM_ADDRESS)
      sendDirect(&answer, RakNet::LOW_PRIORITY, RakNet::RELIABLE, kChatChannel, address, false);
    return;
  }
  const stringw notice = oldName + L" is now named " + name;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    sender->name = name;
  }
  logPrint("%ls\n", notice.c_str());
  sendServerNotice(notice);
}
