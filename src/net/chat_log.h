// The chat log: the last 100 chat lines of the process, newest first, that
// the interface scripts poll. Every peer keeps one: received chat lines and
// notices, and its own lines, go in.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Lines the log keeps; the oldest goes when more come.
constexpr std::size_t kChatLogLines = 100;

// Puts a copy of `line` in front and counts it; drops the oldest line past
// kChatLogLines. Any thread.
void appendChatLog(const irr::core::stringw& line);
// How many lines were ever appended (never reset): the id of the newest.
uint32_t lastChatId();
// The lines kept, newest first (a copy taken under the log's lock).
std::vector<irr::core::stringw> chatLogLines();
// The newest `count` lines, oldest first, joined by "#r#\n"; 0, or more
// than the log holds, gives every line. Empty for an empty log.
irr::core::stringw getChatLogSince(uint32_t count);

namespace RakNet {
class BitStream;
}

// Writes a chat message: the id 113, then the text's UTF-16 units, each low
// byte first, without length or terminator.
void writeChatMessage(RakNet::BitStream& stream, const irr::core::stringw& text);
