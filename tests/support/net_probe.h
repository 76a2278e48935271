// A probe for network tests: a peer of our own layer that joins a server (or
// serves a client) exactly as the game does, sends messages built by hand
// and records what arrives. Use inside runInPrivateNetwork (network_child.h).
//
// Each probe binds its own loopback address, 127.0.0.1 for the first of a
// process, then 127.0.0.2 and on, so that several probes stay within the
// layer's connections per address. Nothing runs in the background: a probe
// takes what arrived when asked (pump, has, waitFor), so a test that also
// polls a server in the same thread stays in step with it.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/utf16.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"
#include "support/peer_harness.h"

namespace netprobe {

using peerharness::Got;
using peerharness::kPassword;
using RakNet::SystemAddress;

// Only a safety net: every wait ends on its event long before.
constexpr int kSafetyMs = 60000;

// The next loopback address of this process: 127.0.0.1, .2, ... .254, .1.
inline std::string nextLoopbackAddress() {
  static unsigned next = 0;
  const unsigned host = next % 254 + 1;
  ++next;
  return "127.0.0." + std::to_string(host);
}

// The text of a chat message (113): its UTF-16 units after the id.
inline std::wstring chatText(const Got& got) {
  std::wstring text;
  const std::size_t units = got.bytes.size() < 1 ? 0 : (got.bytes.size() - 1) / 2;
  decodeUtf16(
      units, [&](std::size_t i) { return got.bytes[1 + 2 * i] | (static_cast<uint32_t>(got.bytes[2 + 2 * i]) << 8); },
      [&](wchar_t c) { text += c; });
  return text;
}

inline std::vector<uint8_t> bytesOf(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  return data == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(data, data + stream.GetNumberOfBytesUsed());
}

class Probe {
 public:
  explicit Probe(std::string bindAddress = nextLoopbackAddress()) : bindAddress_(std::move(bindAddress)) {}
  ~Probe() { vanish(); }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  // -- As a client ------------------------------------------------------------
  // Starts the peer on the probe's address and begins connecting.
  RakNet::ConnectResult startConnect(uint16_t port = 12100, const char* host = "127.0.0.1",
                                     const char* password = kPassword) {
    if (!start(2, 0))
      return RakNet::CONNECT_INVALID_PARAMETER;
    remote_ = SystemAddress();
    return peer_->Connect(host, port, password, password == nullptr ? 0 : static_cast<int>(std::strlen(password)),
                          nullptr, 0, 12, 500, 0);
  }

  // -- As a server ------------------------------------------------------------
  // Listens on `port` of the probe's address with the game's password.
  bool host(uint16_t port = 12100, unsigned maxIncoming = 4, const char* password = kPassword) {
    if (!start(maxIncoming + 2, port))
      return false;
    peer_->SetMaximumIncomingConnections(maxIncoming);
    return peer_->SetIncomingPassword(password, static_cast<int>(std::strlen(password)));
  }

  // -- Sending ------------------------------------------------------------------
  // To `to`, or to the remote end this probe knows (the server it joined, the
  // client that joined it).
  uint32_t send(const std::vector<uint8_t>& bytes, RakNet::PacketReliability reliability = RakNet::RELIABLE_ORDERED,
                uint8_t channel = 0, SystemAddress to = SystemAddress()) {
    if (peer_ == nullptr)
      return 0;
    if (to == SystemAddress())
      to = remote_;
    return peer_->Send(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                       RakNet::MEDIUM_PRIORITY, reliability, channel, to, false);
  }
  uint32_t send(const RakNet::BitStream& stream, RakNet::PacketReliability reliability = RakNet::RELIABLE_ORDERED,
                uint8_t channel = 0, SystemAddress to = SystemAddress()) {
    return send(bytesOf(stream), reliability, channel, to);
  }

  // -- Receiving ----------------------------------------------------------------
  // Takes everything that arrived. A 16 or a 19 names the remote end.
  void pump() {
    if (peer_ == nullptr)
      return;
    while (std::optional<Got> got = peerharness::take(*peer_)) {
      if (got->id() == RakNet::ID_CONNECTION_REQUEST_ACCEPTED || got->id() == RakNet::ID_NEW_INCOMING_CONNECTION)
        remote_ = got->from;
      received_.push_back(*got);
    }
  }
  // Whether a message of `id` has arrived (pumping first).
  bool has(uint8_t id) {
    pump();
    for (const Got& got : received_)
      if (got.id() == id)
        return true;
    return false;
  }
  // Every message of `id`, in order of arrival.
  std::vector<Got> ofId(uint8_t id) {
    pump();
    std::vector<Got> out;
    for (const Got& got : received_)
      if (got.id() == id)
        out.push_back(got);
    return out;
  }
  // Everything received, in order of arrival.
  const std::vector<Got>& received() {
    pump();
    return received_;
  }
  void forget() {
    pump();
    received_.clear();
  }
  // Waits for a message of `id`, running `meanwhile` (a server's poll) between
  // looks. The first one, or nothing when none came in time.
  std::optional<Got> waitFor(uint8_t id, const std::function<void()>& meanwhile = {}, int timeoutMs = kSafetyMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const std::vector<Got> found = ofId(id);
      if (!found.empty())
        return found.front();
      if (std::chrono::steady_clock::now() > deadline)
        return std::nullopt;
      if (meanwhile)
        meanwhile();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // -- Leaving -------------------------------------------------------------------
  // Closes the connection with notice: the remote reports 21.
  void disconnect() {
    if (peer_ != nullptr && remote_ != SystemAddress())
      peer_->CloseConnection(remote_, true, 0, RakNet::LOW_PRIORITY);
  }
  // Goes without a word (the remote reports 22 after its time-out).
  void vanish() {
    if (peer_ != nullptr)
      RakNet::RakPeerInterface::DestroyInstance(peer_);
    peer_ = nullptr;
  }

  // The probe's address as the other end sees it.
  SystemAddress address() const {
    SystemAddress address;
    address.port = peer_ != nullptr ? peer_->GetBoundPort(0) : 0;
    uint32_t binary = 0;
    if (inet_pton(AF_INET, bindAddress_.c_str(), &binary) == 1)
      address.binaryAddress = binary;
    return address;
  }
  SystemAddress remote() const { return remote_; }
  RakNet::RakPeerInterface* peer() const { return peer_; }

 private:
  bool start(unsigned maxConnections, uint16_t port) {
    vanish();
    peer_ = RakNet::RakPeerInterface::GetInstance();
    const RakNet::SocketDescriptor descriptor(port, bindAddress_.c_str());
    const bool started = peer_->Startup(maxConnections, &descriptor, 1, 0) == RakNet::PEER_STARTED;
    EXPECT_TRUE(started) << "a probe on " << bindAddress_ << " could not start";
    return started;
  }

  std::string bindAddress_;
  RakNet::RakPeerInterface* peer_ = nullptr;
  SystemAddress remote_;
  std::vector<Got> received_;
};

}  // namespace netprobe
