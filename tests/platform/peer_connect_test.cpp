// Connecting two peers in one process on loopback, each test in a private
// network namespace of its own.
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <chrono>
#include <set>
#include <string>

#include "platform/peer.h"
#include "support/network_child.h"
#include "support/peer_harness.h"

namespace peer_connect_test {

using namespace peerharness;
using namespace RakNet;
using privatenet::runInPrivateNetwork;

TEST(PeerPrivateNetworkTest, SeesTheLoopbackInterfaceOnly) {
  runInPrivateNetwork([] {
    std::set<std::string> names;
    struct if_nameindex* interfaces = if_nameindex();
    ASSERT_NE(interfaces, nullptr);
    for (struct if_nameindex* i = interfaces; i->if_index != 0; ++i)
      names.insert(i->if_name);
    if_freenameindex(interfaces);
    EXPECT_EQ(names, std::set<std::string>{"lo"});

    // And every address it has is a loopback one.
    ifaddrs* addresses = nullptr;
    ASSERT_EQ(getifaddrs(&addresses), 0);
    for (ifaddrs* a = addresses; a != nullptr; a = a->ifa_next)
      if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(&in->sin_addr.s_addr)[0], 127);
      }
    freeifaddrs(addresses);
  });
}

TEST(PeerConnectTest, RightPasswordGivesNewIncomingAndAccepted) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    EXPECT_TRUE(server->IsActive());
    EXPECT_EQ(server->GetBoundPort(0), kServerPort);
    const uint16_t clientPort = client->GetBoundPort(0);
    ASSERT_NE(clientPort, 0);

    ASSERT_EQ(connectTo(*client), CONNECT_STARTED);
    const std::optional<Got> accepted = next(*client);
    const std::optional<Got> incoming = next(*server);
    ASSERT_TRUE(accepted.has_value());
    ASSERT_TRUE(incoming.has_value());
    EXPECT_EQ(accepted->bytes, std::vector<uint8_t>{ID_CONNECTION_REQUEST_ACCEPTED});
    EXPECT_EQ(accepted->from, loopback(kServerPort));
    EXPECT_EQ(accepted->guid, server->GetMyGUID());
    EXPECT_EQ(incoming->bytes, std::vector<uint8_t>{ID_NEW_INCOMING_CONNECTION});
    EXPECT_EQ(incoming->from, loopback(clientPort));
    EXPECT_EQ(incoming->guid, client->GetMyGUID());

    EXPECT_EQ(server->GetGuidFromSystemAddress(loopback(clientPort)), client->GetMyGUID());
    EXPECT_EQ(client->GetGuidFromSystemAddress(loopback(kServerPort)), server->GetMyGUID());
    EXPECT_EQ(server->GetConnectionState(loopback(clientPort)), CONNECTION_OPEN);
    EXPECT_EQ(server->GetConnectionState(client->GetMyGUID()), CONNECTION_OPEN);
    EXPECT_EQ(client->GetConnectionState(loopback(kServerPort)), CONNECTION_OPEN);
    EXPECT_EQ(server->NumberOfConnections(), 1u);
    EXPECT_EQ(client->GetSystemAddressFromIndex(0), loopback(kServerPort));
    EXPECT_EQ(client->GetSystemAddressFromIndex(1), UNASSIGNED_SYSTEM_ADDRESS);
    // One event each, nothing more.
    EXPECT_TRUE(drain(*server).empty());
    EXPECT_TRUE(drain(*client).empty());
  });
}

// Refusals: the connecting side gets the reason as its event, the other side
// nothing at all.
TEST(PeerConnectTest, RefusalsReachTheClientAndLeaveTheServerQuiet) {
  runInPrivateNetwork([] {
    struct Case {
      const char* name;
      const char* serverPassword;
      const char* clientPassword;
      unsigned maxIncoming;
      uint8_t event;
    };
    const Case cases[] = {
        {"wrong password", kPassword, "qv-marbol-tekkam", 4, ID_INVALID_PASSWORD},
        {"no password given", kPassword, nullptr, 4, ID_INVALID_PASSWORD},
        {"a password the server does not ask", nullptr, kPassword, 4, ID_INVALID_PASSWORD},
        {"no incoming connections", kPassword, kPassword, 0, ID_NO_FREE_INCOMING_CONNECTIONS},
        {"no password on either side", nullptr, nullptr, 4, ID_CONNECTION_REQUEST_ACCEPTED},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      PeerPtr server = startServer(8, c.maxIncoming, c.serverPassword);
      PeerPtr client = startClient();
      ASSERT_EQ(connectTo(*client, kServerPort, c.clientPassword), CONNECT_STARTED);
      const std::optional<Got> outcome = next(*client);
      ASSERT_TRUE(outcome.has_value());
      EXPECT_EQ(outcome->bytes, std::vector<uint8_t>{c.event});
      EXPECT_EQ(outcome->from, loopback(kServerPort));
      if (c.event == ID_CONNECTION_REQUEST_ACCEPTED) {
        EXPECT_TRUE(waitFor(*server, ID_NEW_INCOMING_CONNECTION).has_value());
        continue;
      }
      EXPECT_EQ(outcome->guid, UNASSIGNED_GUID);
      EXPECT_EQ(client->GetConnectionState(loopback(kServerPort)), CONNECTION_UNKNOWN);
      // The refusal was answered from the request alone: no slot, no event.
      EXPECT_EQ(server->TransportPeersInUse(), 0u);
      EXPECT_TRUE(drain(*server).empty());
    }
  });
}

TEST(PeerConnectTest, SecondClientOfAFullServerGetsNoFreeIncoming) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer(8, 1);
    PeerPtr first = startClient();
    PeerPtr second = startClient();
    connectPair(*server, *first);
    ASSERT_EQ(connectTo(*second), CONNECT_STARTED);
    const std::optional<Got> outcome = next(*second);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->id(), ID_NO_FREE_INCOMING_CONNECTIONS);
    EXPECT_TRUE(drain(*server).empty());
    EXPECT_EQ(server->NumberOfConnections(), 1u);

    // Room again once the first has gone.
    first->CloseConnection(loopback(kServerPort), true, 0, LOW_PRIORITY);
    ASSERT_TRUE(waitFor(*server, ID_DISCONNECTION_NOTIFICATION).has_value());
    connectPair(*server, *second);
    EXPECT_EQ(server->NumberOfConnections(), 1u);
  });
}

TEST(PeerConnectTest, NoListenerGivesAttemptFailedAfterEveryAttempt) {
  runInPrivateNetwork([] {
    // A socket that hears the requests and never answers.
    RawSocket silent(loopback(kServerPort));
    PeerPtr client = startClient();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(connectTo(*client), CONNECT_STARTED);
    EXPECT_EQ(client->GetConnectionState(loopback(kServerPort)), CONNECTION_PENDING);

    const std::optional<Got> outcome = next(*client);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->bytes, std::vector<uint8_t>{ID_CONNECTION_ATTEMPT_FAILED});
    EXPECT_EQ(outcome->from, loopback(kServerPort));
    // Twelve requests, 500 ms apart, then one interval more.
    EXPECT_GE(elapsed, std::chrono::milliseconds(11 * 500 + 500));
    std::cout << "17 after " << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms\n";

    std::set<uint32_t> nonces;
    while (std::optional<std::vector<uint8_t>> datagram = silent.receive(0)) {
      wire::Request request;
      ASSERT_TRUE(wire::decodeRequest(datagram->data(), datagram->size(), request));
      EXPECT_EQ(request.guid, client->GetMyGUID().g);
      EXPECT_EQ(request.password, kPassword);
      nonces.insert(request.nonce);
    }
    EXPECT_EQ(nonces.size(), 12u);  // a new nonce each attempt
    EXPECT_EQ(client->GetConnectionState(loopback(kServerPort)), CONNECTION_UNKNOWN);
  });
}

TEST(PeerConnectTest, ConnectAnswersAtOnce) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    struct Case {
      const char* name;
      const char* host;
      uint16_t port;
      int passwordLength;
      unsigned socketIndex;
      unsigned attempts;
      unsigned interval;
      ConnectResult result;
    };
    const Case invalid[] = {
        {"no host", "", kServerPort, 16, 0, 12, 500, CONNECT_INVALID_PARAMETER},
        {"port 0", "127.0.0.1", 0, 16, 0, 12, 500, CONNECT_INVALID_PARAMETER},
        {"password of 30", "127.0.0.1", kServerPort, 30, 0, 12, 500, CONNECT_INVALID_PARAMETER},
        {"negative length", "127.0.0.1", kServerPort, -1, 0, 12, 500, CONNECT_INVALID_PARAMETER},
        {"socket 1 of 1", "127.0.0.1", kServerPort, 16, 1, 12, 500, CONNECT_INVALID_PARAMETER},
        {"no attempts", "127.0.0.1", kServerPort, 16, 0, 0, 500, CONNECT_INVALID_PARAMETER},
        {"no interval", "127.0.0.1", kServerPort, 16, 0, 12, 0, CONNECT_INVALID_PARAMETER},
        {"broadcast address", "255.255.255.255", 65535, 16, 0, 12, 500, CONNECT_INVALID_PARAMETER},
        {"unknown name", "no-such-host.invalid", kServerPort, 16, 0, 12, 500, CONNECT_UNRESOLVED_HOST},
    };
    const char longPassword[] = "qv-marbol-tekkan-qv-marbol-tekkan";
    for (const Case& c : invalid)
      EXPECT_EQ(client->Connect(c.host, c.port, longPassword, c.passwordLength, nullptr, c.socketIndex, c.attempts,
                                c.interval, 0),
                c.result)
          << c.name;
    int key = 0;
    EXPECT_EQ(client->Connect("127.0.0.1", kServerPort, kPassword, 16, &key, 0, 12, 500, 0), CONNECT_INVALID_PARAMETER)
        << "a public key";

    // Held, the attempt stays in progress however often it is asked again.
    client->HoldService(true);
    ASSERT_EQ(connectTo(*client), CONNECT_STARTED);
    EXPECT_EQ(connectTo(*client), CONNECT_IN_PROGRESS);
    EXPECT_EQ(client->Connect("localhost", kServerPort, kPassword, 16, nullptr, 0, 12, 500, 0), CONNECT_IN_PROGRESS);
    client->HoldService(false);
    ASSERT_TRUE(waitFor(*client, ID_CONNECTION_REQUEST_ACCEPTED).has_value());
    EXPECT_EQ(connectTo(*client), CONNECT_ALREADY_CONNECTED);
  });
}

TEST(PeerConnectTest, ConnectionsAreIndexedInTheOrderTheyWereMade) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr clients[3] = {startClient(), startClient(), startClient()};
    SystemAddress addresses[3];
    for (int i = 0; i < 3; ++i)
      addresses[i] = connectPair(*server, *clients[i]);
    ASSERT_EQ(server->NumberOfConnections(), 3u);
    for (unsigned i = 0; i < 3; ++i)
      EXPECT_EQ(server->GetSystemAddressFromIndex(i), addresses[i]) << i;
    EXPECT_EQ(server->GetSystemAddressFromIndex(3), UNASSIGNED_SYSTEM_ADDRESS);

    clients[1]->CloseConnection(loopback(kServerPort), true, 0, LOW_PRIORITY);
    ASSERT_TRUE(waitFor(*server, ID_DISCONNECTION_NOTIFICATION).has_value());
    ASSERT_EQ(server->NumberOfConnections(), 2u);
    EXPECT_EQ(server->GetSystemAddressFromIndex(0), addresses[0]);
    EXPECT_EQ(server->GetSystemAddressFromIndex(1), addresses[2]);
  });
}

TEST(PeerConnectTest, PortInUseFailsStartupAndAStoppedPeerStartsAgain) {
  runInPrivateNetwork([] {
    PeerPtr first = startServer();
    PeerPtr second(RakPeerInterface::GetInstance());
    SocketDescriptor descriptor(kServerPort, "");
    EXPECT_EQ(second->Startup(4, &descriptor, 1, 0), PEER_PORT_NOT_BOUND);
    EXPECT_FALSE(second->IsActive());
    EXPECT_EQ(first->Startup(4, &descriptor, 1, 0), PEER_ALREADY_STARTED);

    // Bound to one local address only, and a second socket on any port.
    first->Shutdown(0, 0, LOW_PRIORITY);
    EXPECT_FALSE(first->IsActive());
    SocketDescriptor pair[2] = {SocketDescriptor(kServerPort, "127.0.0.1"), SocketDescriptor()};
    ASSERT_EQ(second->Startup(4, pair, 2, 0), PEER_STARTED);
    EXPECT_NE(second->GetBoundPort(1), 0);
    EXPECT_NE(second->GetBoundPort(1), kServerPort);
    second->SetMaximumIncomingConnections(2);
    EXPECT_TRUE(second->SetIncomingPassword(kPassword, 16));
    PeerPtr client = startClient();
    connectPair(*second, *client);
  });
}

// The master-server connection goes out through the server's second socket.
TEST(PeerConnectTest, ConnectsFromTheSocketItNames) {
  runInPrivateNetwork([] {
    PeerPtr master = startServer(4, 4, nullptr, 25003);
    PeerPtr server = startServer();
    ASSERT_EQ(server->Connect("127.0.0.1", 25003, nullptr, 0, nullptr, 1, 6, 500, 1000), CONNECT_STARTED);
    const std::optional<Got> incoming = waitFor(*master, ID_NEW_INCOMING_CONNECTION);
    ASSERT_TRUE(incoming.has_value());
    EXPECT_EQ(incoming->from.port, server->GetBoundPort(1));
    const std::optional<Got> accepted = waitFor(*server, ID_CONNECTION_REQUEST_ACCEPTED);
    ASSERT_TRUE(accepted.has_value());
    EXPECT_EQ(accepted->from, loopback(25003));
  });
}

}  // namespace peer_connect_test
