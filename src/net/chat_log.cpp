#include "net/chat_log.h"

#include <deque>
#include <mutex>

#include "core/utf16.h"
#include "net/message_ids.h"
#include "platform/bit_stream.h"

namespace {

struct ChatLog {
  std::mutex lock;
  std::deque<irr::core::stringw> lines;  // newest first
  uint32_t lastId = 0;                   // changed only under the lock
};

ChatLog& chatLog() {
  static ChatLog log;
  return log;
}

}  // namespace

void appendChatLog(const irr::core::stringw& line) {
  ChatLog& log = chatLog();
  std::lock_guard<std::mutex> guard(log.lock);
  log.lines.push_front(line);
  ++log.lastId;
  if (log.lines.size() > kChatLogLines)
    log.lines.pop_back();
}

uint32_t lastChatId() {
  ChatLog& log = chatLog();
  std::lock_guard<std::mutex> guard(log.lock);
  return log.lastId;
}

std::vector<irr::core::stringw> chatLogLines() {
  ChatLog& log = chatLog();
  std::lock_guard<std::mutex> guard(log.lock);
  return std::vector<irr::core::stringw>(log.lines.begin(), log.lines.end());
}

irr::core::stringw getChatLogSince(uint32_t count) {
  ChatLog& log = chatLog();
  std::lock_guard<std::mutex> guard(log.lock);
  irr::core::stringw joined;
  const std::size_t kept = log.lines.size();
  const std::size_t taken = count == 0 || count > kept ? kept : count;
  for (std::size_t i = taken; i-- > 0;) {
    joined += log.lines[i];
    if (i != 0)
      joined += L"#r#\n";
  }
  return joined;
}

void writeChatMessage(RakNet::BitStream& stream, const irr::core::stringw& text) {
  stream.Write(msgid::kChat);
  Utf16Units units(text.c_str(), text.c_str() + text.size());
  for (int32_t unit = units.next(); unit >= 0; unit = units.next()) {
    stream.Write(static_cast<uint8_t>(unit & 0xFF));
    stream.Write(static_cast<uint8_t>(unit >> 8));
  }
}
