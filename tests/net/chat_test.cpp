// Chat through a server: the relay of a player's line to the others, the
// checks on what a client says and on the names it takes, the chat log that
// scripts poll, and the local player's own lines.
#include <gtest/gtest.h>

#include <angelscript.h>

#include <string>
#include <vector>

#include "app/console_commands.h"
#include "chat_helpers.h"
#include "net/chat_log.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "support/log_capture.h"
#include "support/network_child.h"

namespace chat_test {

namespace {

using namespace chattest;

constexpr wchar_t kRejected[] = L"#c:red#Server#c#: Your name has been rejected";

}  // namespace

// A's line reaches B coloured with A's name, exactly as UTF-16LE units; A
// gets nothing back; the server logs the raw text and keeps the line.
TEST(Chat, APlayersLineIsRelayedToTheOthersOnly) {
  privatenet::runInPrivateNetwork([] {
    LogCapture log;
    ServerFixture server;
    Probe a;
    Probe b;
    attachAll(server, {&a, &b});

    say(a, L"hello");
    const std::wstring line = L"#c:ddd#Player 2#c#: hello";
    ASSERT_TRUE(waitForChat(server, b, line));
    ASSERT_EQ(b.ofId(msgid::kChat).size(), 1u);
    EXPECT_EQ(b.ofId(msgid::kChat)[0].bytes, chatBytes(line));
    EXPECT_TRUE(contains(log.take(), "<Player 2> hello\n"));
    EXPECT_EQ(wide(chatLogLines().front()), line);

    // B's answer comes after anything A could have been sent back.
    say(b, L"back");
    ASSERT_TRUE(waitForChat(server, a, L"#c:ddd#Player 3#c#: back"));
    EXPECT_EQ(chatTexts(a), std::vector<std::wstring>{L"#c:ddd#Player 3#c#: back"});

    // A player of an empire speaks in the empire's colour.
    empire* emp = server.aiEmpire(0);
    ASSERT_NE(emp, nullptr);
    emp->color = 0xFF3366CC;
    NetPlayer* record = server.recordOf(a);
    ASSERT_NE(record, nullptr);
    {
      std::lock_guard<std::mutex> guard(server.manager.playersLock);
      record->emp = emp;
    }
    say(a, L"in colour");
    EXPECT_TRUE(waitForChat(server, b, L"#c:3366CC#Player 2#c#: in colour"));
  });
}

// What a client says is cut, cleaned and escaped before it is logged or
// relayed.
TEST(Chat, HostileTextIsCutAndDefused) {
  struct Case {
    std::wstring said;
    std::wstring relayed;  // behind the sender's name
  };
  const std::wstring longText(30000, L'a');
  const Case cases[] = {
      {longText, longText.substr(0, 255)},
      {L"#c:f00#Server#c#: x", L"##c:f00##Server##c##: x"},
      {L"a\nb", L"ab"},
      {L"##", L"##"},
      {L"#\r\n#", L"##"},
      {L"tab\there #", L"tabhere ##"},
  };
  privatenet::runInPrivateNetwork([&cases] {
    LogCapture log;
    ServerFixture server;
    Probe a;
    Probe b;
    attachAll(server, {&a, &b});

    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.relayed.begin(), c.relayed.begin() + std::min<size_t>(c.relayed.size(), 30)));
      b.forget();
      log.take();
      say(a, c.said);
      const std::wstring line = L"#c:ddd#Player 2#c#: " + c.relayed;
      ASSERT_TRUE(waitForChat(server, b, line));
      EXPECT_EQ(chatTexts(b).size(), 1u);
      EXPECT_EQ(wide(chatLogLines().front()), line);
      EXPECT_TRUE(contains(log.take(), "<Player 2> " + std::string(c.relayed.begin(), c.relayed.end()) + "\n"));
    }
  });
}

// A 113 without a whole character is dropped; so is one of nothing but
// control characters.
TEST(Chat, AChatMessageWithoutACharacterIsDropped) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    Probe a;
    Probe b;
    attachAll(server, {&a, &b});
    const uint32_t before = lastChatId();
    a.send(std::vector<uint8_t>{msgid::kChat}, RakNet::RELIABLE_ORDERED, 100);
    a.send(std::vector<uint8_t>{msgid::kChat, 'x'}, RakNet::RELIABLE_ORDERED, 100);
    say(a, L"\n\t\r");
    say(a, L"after");
    ASSERT_TRUE(waitForChat(server, b, L"#c:ddd#Player 2#c#: after"));
    EXPECT_EQ(chatTexts(b).size(), 1u);
    EXPECT_EQ(lastChatId(), before + 1);
  });
}

// Names outside the rules are refused to the sender alone; a good one,
// trimmed, is announced to everyone.
TEST(Chat, NamesAreCheckedByTheServer) {
  const std::wstring refused[] = {L"Server", L"You", L"", L"   ", L"a~b", std::wstring(101, L'n'), L"\x00e9t\x00e9"};
  privatenet::runInPrivateNetwork([&refused] {
    LogCapture log;
    ServerFixture server;
    Probe a;
    Probe b;
    attachAll(server, {&a, &b});
    NetPlayer* record = server.recordOf(a);
    ASSERT_NE(record, nullptr);

    for (const std::wstring& name : refused) {
      SCOPED_TRACE(std::string(name.begin(), name.begin() + std::min<size_t>(name.size(), 20)));
      a.forget();
      a.send(nameBytes(name), RakNet::RELIABLE, 100);
      ASSERT_TRUE(waitForChat(server, a, kRejected));
      EXPECT_EQ(chatTexts(a).size(), 1u);
      EXPECT_EQ(record->name, irr::core::stringw(L"Player 2"));
    }
    EXPECT_TRUE(chatTexts(b).empty());

    // A hundred characters are enough; the blanks around a name go.
    const struct {
      std::wstring sent;
      std::wstring notice;
    } accepted[] = {
        {L" server\t", L"Player 2 is now named server"},
        {L"you\n", L"server is now named you"},
        {std::wstring(100, L'n'), L"you is now named " + std::wstring(100, L'n')},
    };
    for (const auto& c : accepted) {
      a.forget();
      b.forget();
      a.send(nameBytes(c.sent), RakNet::RELIABLE, 100);
      ASSERT_TRUE(waitForChat(server, a, c.notice));
      ASSERT_TRUE(waitForChat(server, b, c.notice));
      EXPECT_TRUE(contains(log.take(), std::string(c.notice.begin(), c.notice.end()) + "\n"));
      EXPECT_EQ(wide(chatLogLines().front()), c.notice);
    }
    EXPECT_EQ(wide(record->name), std::wstring(100, L'n'));
  });
}

// The local player's lines: the server's go out whole to every player and
// into its own log; "say" prints them.
TEST(Chat, TheServersOwnLineGoesToEveryPlayer) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    Probe a;
    Probe b;
    attachAll(server, {&a, &b});
    server.manager.sendNameChange(L"Host");
    registerConsoleCommands();
    console()->execute(L"say \"good luck\"", false);
    const std::wstring line = L"#c:ddd#Host#c#: good luck";
    ASSERT_TRUE(waitForChat(server, a, line));
    ASSERT_TRUE(waitForChat(server, b, line));
    EXPECT_EQ(wide(chatLogLines().front()), line);
  });
}

// The log keeps the newest 100 lines; scripts on the interface engine read
// it by the difference of two ids.
TEST(Chat, TheChatLogAsScriptsReadIt) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    const uint32_t first = lastChatId();
    for (int i = 1; i <= 101; ++i)
      appendChatLog(irr::core::stringw(L"line ") + irr::core::stringw(i));
    EXPECT_EQ(lastChatId(), first + 101);
    ASSERT_EQ(chatLogLines().size(), 100u);

    std::wstring whole;
    for (int i = 2; i <= 101; ++i)
      whole += (i == 2 ? L"" : L"#r#\n") + std::wstring(L"line ") + std::to_wstring(i);

    using namespace AngelScript;
    const std::string code = R"(
      string@ lastId() { return "" + getLastChatID(); }
      string@ since(uint count) { return getChatLog(count); }
    )";
    asIScriptModule* module = clientScriptEngine->GetModule("chat", asGM_ALWAYS_CREATE);
    module->AddScriptSection("chat", code.c_str(), code.size());
    ASSERT_GE(module->Build(), 0);
    auto run = [&](const char* declaration, uint32_t argument) {
      asIScriptFunction* function = module->GetFunctionByDecl(declaration);
      asIScriptContext* context = createScriptContext(clientScriptEngine);
      context->Prepare(function);
      if (function->GetParamCount() > 0)
        context->SetArgDWord(0, argument);
      std::wstring result = L"(failed)";
      if (context->Execute() == asEXECUTION_FINISHED)
        result = wide(static_cast<ScriptString*>(context->GetReturnObject())->toStringw());
      context->Release();
      return result;
    };
    EXPECT_EQ(run("string@ lastId()", 0), std::to_wstring(first + 101));
    EXPECT_EQ(run("string@ since(uint)", 0), whole);
    EXPECT_EQ(run("string@ since(uint)", 1000), whole);
    EXPECT_EQ(run("string@ since(uint)", 1), L"line 101");
    EXPECT_EQ(run("string@ since(uint)", 2), L"line 100#r#\nline 101");
  });
}

}  // namespace chat_test

namespace chat_test {

namespace {

std::wstring& consoleText() {
  static std::wstring text;
  return text;
}
void mirrorConsole(const wchar_t* text, std::size_t length) { consoleText().append(text, length); }

}  // namespace

// On a client: its lines go to the server bare and are echoed coloured into
// its own log; a rename goes to the server; what the server sends is
// printed without the escapes and kept as sent; "players" gives the ping.
TEST(Chat, AClientTalksThroughItsServer) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture fixture;
    NetworkManager& manager = fixture.manager;
    manager.disconnect();
    registerConsoleCommands();
    console()->setMirror(mirrorConsole);
    Probe host("127.0.0.9");
    ASSERT_TRUE(host.host(12101));
    ASSERT_TRUE(manager.connect("127.0.0.9", 12101));
    ASSERT_TRUE(fixture.pollUntil([&] { return manager.isConnected && host.has(RakNet::ID_NEW_INCOMING_CONNECTION); }));

    manager.sendChat(L"hi #there");
    ASSERT_TRUE(host.waitFor(msgid::kChat, fixture.polling()).has_value());
    EXPECT_EQ(host.ofId(msgid::kChat)[0].bytes, chatBytes(L"hi #there"));
    EXPECT_EQ(wide(chatLogLines().front()), L"#c:ddd#Unknown#c#: hi #there");

    manager.sendNameChange(L"Pilot");
    const std::optional<Got> rename = host.waitFor(msgid::kPlayerName, fixture.polling());
    ASSERT_TRUE(rename.has_value());
    EXPECT_EQ(rename->bytes, nameBytes(L"Pilot"));
    manager.sendChat(L"again");
    EXPECT_EQ(wide(chatLogLines().front()), L"#c:ddd#Pilot#c#: again");

    // A line from the server, and one that looks like a vote: neither is
    // anything but a line here.
    consoleText().clear();
    host.send(chatBytes(L"#c:ddd#Other#c#: a ## b"), RakNet::RELIABLE_ORDERED, 100);
    host.send(chatBytes(L"!pause"), RakNet::RELIABLE_ORDERED, 100);
    ASSERT_TRUE(fixture.pollUntil([&] { return wide(chatLogLines().front()) == L"!pause"; }));
    EXPECT_EQ(wide(chatLogLines()[1]), L"#c:ddd#Other#c#: a ## b");
    EXPECT_EQ(consoleText(), L"#c:ddd#Other#c#: a # b\n!pause\n");
    EXPECT_EQ(manager.voteType, 0u);

    consoleText().clear();
    console()->execute(L"players", false);
    const std::wstring printed = consoleText();
    ASSERT_GT(printed.size(), 9u);
    EXPECT_EQ(printed.substr(0, 6), L"Ping: ");
    EXPECT_EQ(printed.substr(printed.size() - 3), L"ms\n");
    EXPECT_EQ(printed.substr(6, printed.size() - 9).find_first_not_of(L"0123456789"), std::wstring::npos);
    console()->setMirror(nullptr);
  });
}

}  // namespace chat_test
