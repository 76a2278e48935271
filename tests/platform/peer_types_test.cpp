#include "platform/peer_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "platform/peer.h"

namespace peer_types_test {

using RakNet::RakNetGUID;
using RakNet::SystemAddress;

TEST(PeerTypesTest, AddressTextWithAndWithoutPort) {
  struct Case {
    SystemAddress address;
    const char* withPort;
    const char* withoutPort;
  };
  const Case cases[] = {
      {SystemAddress::fromOctets(127, 0, 0, 1, 12100), "127.0.0.1:12100", "127.0.0.1"},
      {SystemAddress::fromOctets(0, 0, 0, 0, 0), "0.0.0.0:0", "0.0.0.0"},
      {SystemAddress::fromOctets(10, 200, 3, 45, 25009), "10.200.3.45:25009", "10.200.3.45"},
      {RakNet::UNASSIGNED_SYSTEM_ADDRESS, "255.255.255.255:65535", "255.255.255.255"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.address.ToString(true), c.withPort);
    EXPECT_EQ(c.address.ToString(false), c.withoutPort);
  }
  // The address keeps the socket calls' form: the first octet in the lowest byte.
  const SystemAddress local = SystemAddress::fromOctets(127, 0, 0, 1, 1);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&local.binaryAddress);
  EXPECT_EQ(bytes[0], 127);
  EXPECT_EQ(bytes[3], 1);
}

TEST(PeerTypesTest, AddressesOrderByOctetsThenPort) {
  const std::vector<SystemAddress> ordered = {
      SystemAddress::fromOctets(1, 2, 3, 4, 65535), SystemAddress::fromOctets(9, 0, 0, 0, 1),
      SystemAddress::fromOctets(127, 0, 0, 1, 80),  SystemAddress::fromOctets(127, 0, 0, 1, 12100),
      SystemAddress::fromOctets(127, 0, 1, 0, 1),   RakNet::UNASSIGNED_SYSTEM_ADDRESS,
  };
  for (std::size_t i = 0; i < ordered.size(); ++i)
    for (std::size_t j = 0; j < ordered.size(); ++j) {
      EXPECT_EQ(ordered[i] < ordered[j], i < j) << i << " " << j;
      EXPECT_EQ(ordered[i] == ordered[j], i == j) << i << " " << j;
    }
  std::set<SystemAddress> keyed(ordered.rbegin(), ordered.rend());
  EXPECT_TRUE(std::equal(keyed.begin(), keyed.end(), ordered.begin()));
}

TEST(PeerTypesTest, UnassignedGuidIsAllOnesAndEveryPeerDrawsItsOwn) {
  EXPECT_EQ(RakNet::UNASSIGNED_GUID.g, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(RakNetGUID().g, RakNet::UNASSIGNED_GUID.g);
  EXPECT_EQ(RakNetGUID(0x0123456789ABCDEFull).ToString(), "0123456789ABCDEF");
  EXPECT_TRUE(RakNetGUID(1) < RakNetGUID(2));

  std::set<uint64_t> drawn;
  for (int i = 0; i < 16; ++i) {
    RakNet::RakPeerInterface* peer = RakNet::RakPeerInterface::GetInstance();
    const RakNetGUID mine = peer->GetMyGUID();
    EXPECT_NE(mine, RakNet::UNASSIGNED_GUID);
    // The unassigned address names the peer itself.
    EXPECT_EQ(peer->GetGuidFromSystemAddress(RakNet::UNASSIGNED_SYSTEM_ADDRESS), mine);
    EXPECT_FALSE(peer->IsActive());
    drawn.insert(mine.g);
    RakNet::RakPeerInterface::DestroyInstance(peer);
  }
  EXPECT_EQ(drawn.size(), 16u);
}

TEST(PeerTypesTest, StoppedPeerRefusesEverythingQuietly) {
  RakNet::RakPeerInterface* peer = RakNet::RakPeerInterface::GetInstance();
  const SystemAddress somewhere = SystemAddress::fromOctets(127, 0, 0, 1, 12100);
  EXPECT_EQ(peer->Send("\x71", 1, RakNet::MEDIUM_PRIORITY, RakNet::RELIABLE, 0, somewhere, false), 0u);
  EXPECT_EQ(peer->Connect("127.0.0.1", 12100, nullptr, 0, nullptr, 0, 12, 500, 0), RakNet::CONNECT_INVALID_PARAMETER);
  EXPECT_EQ(peer->Receive(), nullptr);
  EXPECT_EQ(peer->NumberOfConnections(), 0u);
  EXPECT_EQ(peer->GetSystemAddressFromIndex(0), RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  EXPECT_EQ(peer->GetConnectionState(somewhere), RakNet::CONNECTION_UNKNOWN);
  EXPECT_EQ(peer->GetGuidFromSystemAddress(somewhere), RakNet::UNASSIGNED_GUID);
  peer->CloseConnection(somewhere, true, 0, RakNet::LOW_PRIORITY);
  peer->Shutdown(100, 0, RakNet::LOW_PRIORITY);
  peer->DeallocatePacket(nullptr);
  RakNet::RakPeerInterface::DestroyInstance(peer);
  RakNet::RakPeerInterface::DestroyInstance(nullptr);
}

TEST(PeerTypesTest, StartupRefusesBadArguments) {
  RakNet::RakPeerInterface* peer = RakNet::RakPeerInterface::GetInstance();
  RakNet::SocketDescriptor any;
  RakNet::SocketDescriptor notAnAddress(0, "localhost");
  RakNet::SocketDescriptor notIpv4(0, "::1");
  EXPECT_EQ(peer->Startup(0, &any, 1, 0), RakNet::PEER_INVALID_MAX_CONNECTIONS);
  EXPECT_EQ(peer->Startup(100000, &any, 1, 0), RakNet::PEER_INVALID_MAX_CONNECTIONS);
  EXPECT_EQ(peer->Startup(2, nullptr, 1, 0), RakNet::PEER_INVALID_DESCRIPTORS);
  EXPECT_EQ(peer->Startup(2, &any, 0, 0), RakNet::PEER_INVALID_DESCRIPTORS);
  EXPECT_EQ(peer->Startup(2, &notAnAddress, 1, 0), RakNet::PEER_INVALID_DESCRIPTORS);
  EXPECT_EQ(peer->Startup(2, &notIpv4, 1, 0), RakNet::PEER_INVALID_DESCRIPTORS);
  EXPECT_FALSE(peer->IsActive());
  // Passwords longer than a request can carry are refused and change nothing.
  EXPECT_TRUE(peer->SetIncomingPassword("abc", 3));
  EXPECT_FALSE(peer->SetIncomingPassword("0123456789012345678901234567890", 30));
  EXPECT_FALSE(peer->SetIncomingPassword(nullptr, 4));
  EXPECT_FALSE(peer->SetIncomingPassword("abc", -1));
  RakNet::RakPeerInterface::DestroyInstance(peer);
}

}  // namespace peer_types_test
