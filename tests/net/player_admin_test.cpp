// The server operator's console work on the players: the list, kick and
// ban; and the connection statistics rows of the "Network Profiling" table.
#include <gtest/gtest.h>

#include <IGUIEnvironment.h>
#include <IGUITable.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/console_commands.h"
#include "chat_helpers.h"
#include "support/log_capture.h"
#include "support/network_child.h"

namespace player_admin_test {

namespace {

using namespace chattest;

// What the console printed while a capture exists, line by line.
std::wstring& printed() {
  static std::wstring text;
  return text;
}
void mirror(const wchar_t* text, std::size_t length) { printed().append(text, length); }

std::vector<std::wstring> printedLines() {
  std::vector<std::wstring> lines;
  std::wstring line;
  for (wchar_t c : printed()) {
    if (c == L'\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty())
    lines.push_back(line);
  printed().clear();
  return lines;
}

// "<id>: <name> (<digits>ms)<rest>"
bool isPlayerLine(const std::wstring& line, const std::wstring& head, const std::wstring& rest) {
  if (line.rfind(head + L" (", 0) != 0 || line.size() < head.size() + rest.size() + 2)
    return false;
  const std::wstring tail = line.substr(line.size() - rest.size());
  const std::wstring ping = line.substr(head.size() + 2, line.size() - head.size() - 2 - rest.size());
  return tail == rest && !ping.empty() && ping.find_first_not_of(L"0123456789") == std::wstring::npos;
}

void run(const wchar_t* line) { console()->execute(line, false); }

// Whether a new connection of `probe` is refused with 23 (true) or accepted.
bool refusedAsBanned(ServerFixture& server, Probe& probe) {
  probe.forget();
  EXPECT_EQ(probe.startConnect(), RakNet::CONNECT_STARTED);
  bool banned = false;
  EXPECT_TRUE(server.pollUntil([&] {
    banned = probe.has(RakNet::ID_CONNECTION_BANNED);
    return banned || probe.has(RakNet::ID_CONNECTION_REQUEST_ACCEPTED);
  }));
  return banned;
}

}  // namespace

TEST(PlayerAdmin, ListKickAndBan) {
  privatenet::runInPrivateNetwork([] {
    LogCapture log;
    ServerFixture server;
    registerConsoleCommands();
    console()->setMirror(mirror);
    empire* emp = server.aiEmpire(1);
    ASSERT_NE(emp, nullptr);
    Probe a;
    Probe b;
    Probe c;
    attachAll(server, {&a, &b, &c});
    {
      NetPlayer* record = server.recordOf(b);
      ASSERT_NE(record, nullptr);
      std::lock_guard<std::mutex> guard(server.manager.playersLock);
      record->emp = emp;
      emp->playerControlled = true;
      emp->playerName = record->name;
    }

    printed().clear();
    run(L"players");
    // In map order, which is the peers' ids' order: sorted here by player id.
    std::vector<std::wstring> lines = printedLines();
    std::sort(lines.begin(), lines.end());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(isPlayerLine(lines[0], L"51: Player 2", L"ms) (spectating)")) << std::string(lines[0].begin(), lines[0].end());
    EXPECT_TRUE(isPlayerLine(lines[1], L"52: Player 3", L"ms) as " + wide(emp->name)));
    EXPECT_TRUE(isPlayerLine(lines[2], L"53: Player 4", L"ms) (spectating)"));

    // Kick: the player's connection closes, everyone else hears of it.
    log.take();
    run(L"kick 51");
    ASSERT_TRUE(a.waitFor(RakNet::ID_DISCONNECTION_NOTIFICATION, server.polling()).has_value());
    ASSERT_TRUE(waitForChat(server, b, L"Player 2 has been kicked"));
    ASSERT_TRUE(waitForChat(server, c, L"Player 2 has been kicked"));
    EXPECT_TRUE(contains(log.take(), "Player 2 has been kicked (and banned for 60 seconds)\n"));
    EXPECT_EQ(server.manager.playerCount(), 2u);
    EXPECT_EQ(wide(chatLogLines().front()), L"Player 2 has been kicked");
    // Again: nobody has that id any more.
    const uint32_t lines_before = lastChatId();
    run(L"kick 51");
    EXPECT_EQ(lastChatId(), lines_before);
    EXPECT_EQ(server.manager.playerCount(), 2u);

    // For a minute the address is refused; then it may come back.
    a.vanish();
    EXPECT_TRUE(refusedAsBanned(server, a));
    server.manager.peer->AdvanceClock(61000);
    EXPECT_FALSE(refusedAsBanned(server, a));

    // Ban: the empire goes back to its AI, and the address stays refused.
    b.forget();
    c.forget();
    run(L"ban 52");
    ASSERT_TRUE(b.waitFor(RakNet::ID_DISCONNECTION_NOTIFICATION, server.polling()).has_value());
    ASSERT_TRUE(waitForChat(server, c, L"Player 3 has been kicked and banned"));
    EXPECT_TRUE(contains(log.take(), "Player 3 has been kicked and banned\n"));
    EXPECT_FALSE(emp->playerControlled);
    EXPECT_TRUE(emp->playerName.empty());
    EXPECT_EQ(server.manager.getEmpirePlayerAddress(emp), RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    b.vanish();
    EXPECT_TRUE(refusedAsBanned(server, b));
    server.manager.peer->AdvanceClock(3600000);
    EXPECT_TRUE(refusedAsBanned(server, b));
    console()->setMirror(nullptr);
  });
}

// The player of an empire: the first in map order; none gives the
// unassigned address, and no empire the first spectator's.
TEST(PlayerAdmin, EmpirePlayerAddress) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    empire* emp = server.aiEmpire(0);
    Probe a;
    Probe b;
    NetPlayer* spectator = server.attach(a);
    NetPlayer* player = server.attach(b, emp);
    ASSERT_NE(spectator, nullptr);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(server.manager.getEmpirePlayerAddress(emp), b.address());
    EXPECT_EQ(server.manager.getEmpirePlayerAddress(server.aiEmpire(1)), RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    EXPECT_EQ(server.manager.getEmpirePlayerAddress(nullptr), a.address());
  });
}

// The nine rows, labels in column 0 and values in column 1; nothing without
// a connection.
TEST(PlayerAdmin, StatisticsRows) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    irr::gui::IGUITable* table = engine.gui->addTable(irr::core::rect<irr::s32>(0, 0, 300, 300));
    table->addColumn(L"Category");
    table->addColumn(L"Avg(ms)");
    server.manager.updateStatsText(*table);
    EXPECT_EQ(table->getRowCount(), 0);

    Probe a;
    ASSERT_NE(server.attach(a), nullptr);
    server.manager.updateStatsText(*table);
    const wchar_t* const labels[] = {L"Ping (ms)",          L"Congestion limit bps", L"Bandwidth limit bps",
                                     L"Send messages",      L"Send buffer bytes",    L"Resend messages",
                                     L"Resend buffer bytes", L"Packet Loss %",       L"Packet Loss Avg%"};
    ASSERT_EQ(table->getRowCount(), 9);
    auto value = [&](int row) { return std::wstring(table->getCellText(row, 1)); };
    auto whole = [](const std::wstring& text) {
      return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
    };
    auto percent = [&](const std::wstring& text) {
      return text.size() > 1 && text.back() == L'%' && whole(text.substr(0, text.size() - 1));
    };
    for (int row = 0; row < 9; ++row)
      EXPECT_EQ(std::wstring(table->getCellText(row, 0)), labels[row]) << row;
    EXPECT_TRUE(whole(value(0))) << std::string(value(0).begin(), value(0).end());
    EXPECT_EQ(value(1), L"n/a");
    EXPECT_EQ(value(2), L"n/a");
    for (int row : {3, 4, 5, 6})
      EXPECT_TRUE(whole(value(row))) << row;
    EXPECT_TRUE(percent(value(7)));
    EXPECT_TRUE(percent(value(8)));

    // A second pass adds no rows.
    server.manager.updateStatsText(*table);
    EXPECT_EQ(table->getRowCount(), 9);
    table->remove();
  });
}

}  // namespace player_admin_test
