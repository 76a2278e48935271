#include "platform/peer_statistics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/peer_clock.h"
#include "platform/peer_types.h"

namespace peer_statistics_test {

using RakNet::ConnectionAccounting;
using RakNet::DropCounters;
using RakNet::DropReason;

namespace {

TEST(PeerDropCountersTest, EachReasonCountsApart) {
  DropCounters drops;
  std::set<std::string> names;
  uint64_t expectedTotal = 0;
  for (std::size_t i = 0; i < RakNet::kDropReasonCount; ++i) {
    const auto reason = static_cast<DropReason>(i);
    drops.add(reason, i + 1);
    drops.add(reason);
    expectedTotal += i + 2;
    names.insert(RakNet::dropReasonName(reason));
  }
  for (std::size_t i = 0; i < RakNet::kDropReasonCount; ++i) {
    EXPECT_EQ(drops.count(static_cast<DropReason>(i)), i + 2) << RakNet::dropReasonName(static_cast<DropReason>(i));
  }
  EXPECT_EQ(drops.total(), expectedTotal);
  EXPECT_EQ(names.size(), RakNet::kDropReasonCount);  // a name of its own for each
  EXPECT_EQ(names.count(""), 0u);
}

// The service thread and the hosts' receive hooks count while tests read.
TEST(PeerDropCountersTest, CountsFromManyThreadsAreExact) {
  DropCounters drops;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&drops, t] {
      for (int i = 0; i < 10000; ++i) drops.add(t % 2 == 0 ? DropReason::EmptyMessage : DropReason::BadCookie);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(drops.count(DropReason::EmptyMessage), 20000u);
  EXPECT_EQ(drops.count(DropReason::BadCookie), 20000u);
  EXPECT_EQ(drops.total(), 40000u);
}

// The transport's per-connection totals are 32-bit and start again every
// second; ours keep the whole connection.
TEST(ConnectionAccountingTest, ByteTotalsKeepTheWholeConnection) {
  ConnectionAccounting accounting;
  for (int i = 0; i < 3; ++i) {
    accounting.addBytesSent(uint64_t{1} << 31);
    accounting.addBytesReceived(1400);
  }
  EXPECT_EQ(accounting.bytesSent(), uint64_t{3} << 31);
  EXPECT_EQ(accounting.bytesReceived(), 4200u);
}

// Reports at the times given, then the fractions at the time asked.
TEST(ConnectionAccountingTest, LossOverTheLastSecondAndTheWholeConnection) {
  struct Report {
    uint64_t at, sent, lost;
  };
  struct Case {
    const char* name;
    std::vector<Report> reports;
    uint64_t askedAt;
    double lastSecond;
    double total;
  };
  const Case cases[] = {
      {"nothing sent", {}, 0, 0.0, 0.0},
      {"none lost", {{0, 50, 0}}, 10, 0.0, 0.0},
      {"one report", {{0, 100, 10}}, 500, 0.10, 0.10},
      {"two reports in the window", {{0, 100, 10}, {500, 100, 0}}, 999, 0.05, 0.05},
      {"the first left the window", {{0, 100, 10}, {500, 100, 0}}, 1000, 0.0, 0.05},
      {"both left the window", {{0, 100, 10}, {500, 100, 0}}, 1600, 0.0, 0.05},
      {"a slot reused a second later", {{100, 100, 50}, {1100, 100, 0}}, 1100, 0.0, 0.25},
      {"more lost than sent", {{0, 10, 30}}, 0, 1.0, 1.0},
      {"lost with nothing sent", {{0, 0, 3}}, 0, 1.0, 1.0},
      {"a report older than the window", {{1500, 100, 10}, {500, 100, 0}}, 1500, 0.10, 0.05},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConnectionAccounting accounting;
    for (const Report& report : c.reports) accounting.addPackets(report.at, report.sent, report.lost);
    EXPECT_DOUBLE_EQ(accounting.lossLastSecond(c.askedAt), c.lastSecond);
    EXPECT_DOUBLE_EQ(accounting.lossTotal(), c.total);
  }
}

// The transport's counters start again from zero now and then; each reading
// adds what came since the one before.
TEST(ConnectionAccountingTest, CountersThatStartAgainAreFollowed) {
  ConnectionAccounting accounting;
  const struct {
    uint32_t sent, lost;
  } readings[] = {{100, 5}, {250, 10}, {30, 1} /* both started again */, {60, 1}, {60, 1}};
  for (const auto& reading : readings) accounting.samplePacketCounters(0, reading.sent, reading.lost);
  // Sent 100 + 150 + 30 + 30 + 0, lost 5 + 5 + 1 + 0 + 0.
  EXPECT_DOUBLE_EQ(accounting.lossTotal(), 11.0 / 310.0);
  EXPECT_DOUBLE_EQ(accounting.lossLastSecond(0), 11.0 / 310.0);
}

// On the peer's clock, held and moved on by the test; the clock's start is
// anywhere within a tenth, so the times asked stay clear of the window's
// edges.
TEST(ConnectionAccountingTest, FillsTheStatisticsOnThePeersClock) {
  RakNet::PeerClock clock;
  clock.hold();
  ConnectionAccounting accounting;
  accounting.addPackets(clock.now(), 200, 20);
  accounting.addBytesSent(300);
  accounting.addBytesReceived(100);
  clock.advance(500);
  accounting.addPackets(clock.now(), 200, 0);

  RakNet::RakNetStatistics statistics;
  statistics.messagesInSendBuffer[RakNet::MEDIUM_PRIORITY] = 3;
  statistics.messagesInResendBuffer = 2;
  accounting.fill(statistics, clock.now());
  EXPECT_DOUBLE_EQ(statistics.packetLossLastSecond, 0.05);
  EXPECT_DOUBLE_EQ(statistics.packetLossTotal, 0.05);
  EXPECT_EQ(statistics.bytesSentTotal, 300u);
  EXPECT_EQ(statistics.bytesReceivedTotal, 100u);
  EXPECT_EQ(statistics.messagesInSendBuffer[RakNet::MEDIUM_PRIORITY], 3u);  // the peer's fields stay
  EXPECT_EQ(statistics.messagesInResendBuffer, 2u);
  EXPECT_FALSE(statistics.isLimitedByCongestionControl);
  EXPECT_FALSE(statistics.isLimitedByOutgoingBandwidthLimit);

  clock.advance(650);  // the first report is out of the window, the second in
  accounting.fill(statistics, clock.now());
  EXPECT_DOUBLE_EQ(statistics.packetLossLastSecond, 0.0);
  EXPECT_DOUBLE_EQ(statistics.packetLossTotal, 0.05);
  clock.advance(500);  // both out
  EXPECT_DOUBLE_EQ(accounting.lossLastSecond(clock.now()), 0.0);
}

}  // namespace

}  // namespace peer_statistics_test
