// A chat message too large for a server never arrives (its sender's
// connection is closed), and the server serves on.
#include <gtest/gtest.h>

#include <string>

#include "chat_helpers.h"
#include "net/chat_log.h"
#include "support/log_capture.h"
#include "support/network_child.h"

namespace chat_oversized_test {

using namespace chattest;

TEST(Chat, AnOversizedChatMessageNeverArrives) {
  privatenet::runInPrivateNetwork([] {
    LogCapture log;
    ServerFixture server;
    Probe a;
    Probe b;
    attachAll(server, {&a, &b});

    const uint64_t oversizedBefore = server.manager.peer->GetDropCount(RakNet::DropReason::Oversized);
    say(a, std::wstring(512 * 1024, L'x'));
    ASSERT_TRUE(server.pollUntil([&] {
      return server.manager.peer->GetDropCount(RakNet::DropReason::Oversized) > oversizedBefore;
    }));
    say(b, L"still here");
    ASSERT_TRUE(server.pollUntil(
        [&] { return wide(chatLogLines().front()) == L"#c:ddd#Player 3#c#: still here"; }));
    // B may hear that A's connection was closed, but nothing A said.
    for (const std::wstring& text : chatTexts(b))
      EXPECT_NE(text.rfind(L"#c:ddd#Player 2", 0), 0u) << std::string(text.begin(), text.begin() + 40);
    EXPECT_FALSE(contains(log.take(), "<Player 2>"));
  });
}

}  // namespace chat_oversized_test
