// A master server for tests: one peer of our own layer listening on
// 127.0.0.1 ports 25000 to 25009 (one socket a port), without a password,
// recording what arrives. Use inside runInPrivateNetwork (network_child.h):
// nothing ever goes to a real master server.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/utf16.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"
#include "platform/system_address_io.h"
#include "support/peer_harness.h"

namespace fakemaster {

using peerharness::Got;

constexpr uint16_t kFirstPort = 25000;
constexpr unsigned kPorts = 10;
constexpr int kSafetyMs = 60000;

// A heartbeat (210) as the master reads it.
struct Heartbeat {
  bool details = false;
  std::wstring serverName;
  std::string modName;
  uint16_t gamePort = 0;
  uint8_t playerCount = 0;
  uint8_t maxPlayers = 0;
  bool complete = false;  // every field read, nothing left over
};

inline Heartbeat readHeartbeat(const Got& got) {
  Heartbeat beat;
  RakNet::BitStream stream(got.bytes.data(), got.bytes.size(), false);
  uint8_t id = 0;
  if (!stream.Read(id) || id != 210 || !stream.Read(beat.details))
    return beat;
  if (beat.details) {
    uint8_t units = 0;
    if (!stream.Read(units))
      return beat;
    std::vector<unsigned char> bytes(2u * units);
    if (units > 0 && !stream.ReadAlignedBytes(bytes.data(), bytes.size()))
      return beat;
    decodeUtf16(
        units, [&](std::size_t i) { return bytes[2 * i] | (static_cast<uint32_t>(bytes[2 * i + 1]) << 8); },
        [&](wchar_t c) { beat.serverName += c; });
    uint8_t length = 0;
    if (!stream.Read(length))
      return beat;
    beat.modName.resize(length);
    if (length > 0 && !stream.ReadAlignedBytes(reinterpret_cast<unsigned char*>(&beat.modName[0]), length))
      return beat;
    if (!stream.Read(beat.gamePort))
      return beat;
  }
  beat.complete = stream.Read(beat.playerCount) && stream.Read(beat.maxPlayers) &&
                  stream.GetNumberOfUnreadBits() < 8;
  return beat;
}

class FakeMaster {
 public:
  // Listens at once; `maxIncoming` 0 makes a busy master (every attempt gets
  // 20).
  explicit FakeMaster(unsigned maxIncoming = 8) {
    peer_ = RakNet::RakPeerInterface::GetInstance();
    RakNet::SocketDescriptor sockets[kPorts];
    for (unsigned i = 0; i < kPorts; ++i)
      sockets[i] = RakNet::SocketDescriptor(static_cast<uint16_t>(kFirstPort + i), "127.0.0.1");
    started_ = peer_->Startup(maxIncoming + 2, sockets, kPorts, 0) == RakNet::PEER_STARTED;
    EXPECT_TRUE(started_) << "the fake master could not listen on 127.0.0.1:25000-25009";
    peer_->SetMaximumIncomingConnections(maxIncoming);
  }
  ~FakeMaster() { RakNet::RakPeerInterface::DestroyInstance(peer_); }
  FakeMaster(const FakeMaster&) = delete;
  FakeMaster& operator=(const FakeMaster&) = delete;

  bool started() const { return started_; }

  void pump() {
    while (std::optional<Got> got = peerharness::take(*peer_))
      received_.push_back(*got);
  }
  std::vector<Got> ofId(uint8_t id) {
    pump();
    std::vector<Got> out;
    for (const Got& got : received_)
      if (got.id() == id)
        out.push_back(got);
    return out;
  }
  std::size_t count(uint8_t id) { return ofId(id).size(); }
  void forget() {
    pump();
    received_.clear();
  }
  // Waits until `count` messages of `id` have arrived, running `meanwhile`
  // between looks. False when they did not come in time.
  bool waitForCount(uint8_t id, std::size_t wanted, const std::function<void()>& meanwhile = {},
                    int timeoutMs = kSafetyMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (count(id) < wanted) {
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      if (meanwhile)
        meanwhile();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  // Sends a message to `to` (reliable, channel 0).
  uint32_t send(const RakNet::BitStream& stream, const RakNet::SystemAddress& to) {
    return peer_->Send(&stream, RakNet::MEDIUM_PRIORITY, RakNet::RELIABLE, 0, to, false);
  }

  RakNet::RakPeerInterface* peer() const { return peer_; }

 private:
  RakNet::RakPeerInterface* peer_ = nullptr;
  bool started_ = false;
  std::vector<Got> received_;
};

}  // namespace fakemaster
