// Helpers of the chat, name, vote and player tests: chat and rename messages
// built by hand, and waits for a chat line at a probe.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/net_encoders.h"
#include "core/utf16.h"
#include "net/message_ids.h"
#include "net_fixture.h"
#include "platform/bit_stream.h"

namespace chattest {

using netfixture::ServerFixture;
using netprobe::chatText;
using netprobe::Got;
using netprobe::Probe;

// A chat message (113): the id, then the text's UTF-16 units low byte first.
inline std::vector<uint8_t> chatBytes(const std::wstring& text) {
  std::vector<uint8_t> bytes{msgid::kChat};
  Utf16Units units(text.data(), text.data() + text.size());
  for (int32_t unit = units.next(); unit >= 0; unit = units.next()) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

// A rename (114) as a client writes it, with room for names longer than a
// client sends.
inline std::vector<uint8_t> nameBytes(const std::wstring& name) {
  RakNet::BitStream stream;
  stream.Write(msgid::kPlayerName);
  writeNetStringW(stream, irr::core::stringw(name.c_str()), kMaxNetStringLength);
  return netprobe::bytesOf(stream);
}

inline void say(Probe& probe, const std::wstring& text) {
  probe.send(chatBytes(text), RakNet::RELIABLE_ORDERED, 100);
}

// The texts of the chat messages a probe received, in order.
inline std::vector<std::wstring> chatTexts(Probe& probe) {
  std::vector<std::wstring> texts;
  for (const Got& got : probe.ofId(msgid::kChat))
    texts.push_back(chatText(got));
  return texts;
}

inline bool hasChat(Probe& probe, const std::wstring& text) {
  for (const std::wstring& got : chatTexts(probe))
    if (got == text)
      return true;
  return false;
}

// Polls the server until `probe` has received the chat line `text`.
inline bool waitForChat(ServerFixture& server, Probe& probe, const std::wstring& text) {
  return server.pollUntil([&] { return hasChat(probe, text); });
}

inline bool contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

inline std::wstring wide(const irr::core::stringw& text) { return std::wstring(text.c_str(), text.size()); }

// Attaches every probe in turn (as spectators) and waits until each has
// heard of every later arrival; then every probe forgets what it received.
inline void attachAll(ServerFixture& server, const std::vector<Probe*>& probes) {
  for (Probe* probe : probes)
    ASSERT_NE(server.attach(*probe), nullptr);
  for (size_t i = 0; i < probes.size(); ++i) {
    const size_t later = probes.size() - 1 - i;
    ASSERT_TRUE(server.pollUntil([&] {
      size_t joined = 0;
      for (const std::wstring& text : chatTexts(*probes[i]))
        joined += text == L"New player joined" ? 1 : 0;
      return joined == later;
    }));
  }
  for (Probe* probe : probes)
    probe->forget();
}

}  // namespace chattest
