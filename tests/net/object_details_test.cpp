// The details of one object (126): a client's request written from its
// mirror, the server's answer from its object, read back into the mirror;
// what the server refuses to answer; the limits of the answer's lists; and
// damaged update and detail messages on a client and on a server.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "design/build/build_fixture.h"
#include "design/build/build_requests.h"
#include "design/build/mimic_constructible.h"
#include "empire/empire_names.h"
#include "net/diplomacy_messages.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "net/object_details.h"
#include "net/object_updates.h"
#include "platform/bit_stream.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/mirror_objects.h"
#include "universe/orders/networked_order.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet_types.h"

namespace object_details_test {

namespace {

using irr::core::stringw;

class DetailsTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    scout = layoutOf(red, L"Scout", {L"Frame"});
    for (const wchar_t* name : {L"Arid", L"Windy", L"Molten"}) {
      auto& entry = PtrNamedVar<planetCondition*>::getOrAdd(planetConditionRegistry(), stringw(name), internCommonString);
      entry.value = new planetCondition();
      entry.value->id = name;
    }
    playingEmpire = red;
  }
  void TearDown() override {
    playingEmpire = nullptr;
    {
      std::lock_guard<std::mutex> guard(networkManager->playersLock);
      networkManager->players.clear();
      for (generic_object* object : networkManager->watchedObjects)
        object->drop();
      networkManager->watchedObjects.clear();
    }
    setObjectUpdateEntryCounter(0);
    BuildTest::TearDown();
    clearPlanetTypes();
  }

  static planetCondition* condition(const wchar_t* name) {
    return planetConditionRegistry()[static_cast<irr::u32>(findPlanetCondition(name))].value;
  }
  static UnitAI& queueOf(generic_object* object) { return *static_cast<UnitAI*>(object->ai); }

  objHulled* serverShip(empire* owner, solarSystem* place = nullptr) {
    auto* ship = new objHulled(owner, owner == red ? scout : layoutOf(owner, L"Scout", {L"Frame"}), new MobileMover());
    ship->radius = 1.0f;
    ship->setContainer(place != nullptr ? place : system);
    return ship;
  }
  sgHulled* mirrorShip(empire* owner, hull_list* layout) {
    auto* ship = new sgHulled(owner, layout, new FakeMobileMover());
    ship->setContainer(system);
    return ship;
  }
  sgHabitation* mirrorPlanet(empire* owner) {
    auto* planet = new sgHabitation(owner, new FakeMobileMover());
    planet->setContainer(system);
    return planet;
  }
  // Queues `count` items of `what` (a structure definition or a layout).
  void queue(generic_object* object, const wchar_t* what, uint32_t count, bool structure) {
    BuildRequest request;
    request.subKind = structure ? BRK_Structure : BRK_Ship;
    if (structure)
      request.definitionId = def(what)->id;
    else
      request.layoutName = what;
    request.hasCount = true;
    while (count > 0) {
      request.count = std::min(count, kMaxBuildRequestCount);
      const unsigned queued = queueBuildRequest(object, red, request);
      ASSERT_GT(queued, 0u);
      count -= queued;
    }
  }

  struct Trip {
    bool read = false;
    size_t leftoverBits = 0;
  };
  // The client's request for `client`, answered by `server` and read back
  // into `client`.
  static Trip roundTrip(generic_object& server, generic_object& client) {
    RakNet::BitStream request;
    EXPECT_TRUE(writeObjectDetailsQuery(request, client));
    uint8_t id = 0;
    request.Read(id);
    EXPECT_EQ(id, ID_OBJECT_DETAILS);
    EXPECT_EQ(readNetUInt(request), client.uid);
    ObjectDetailsQuery query;
    EXPECT_TRUE(readObjectDetailsQuery(request, server.getType(), query));
    EXPECT_LT(request.GetNumberOfUnreadBits(), 8u);

    RakNet::BitStream answer;
    writeObjectDetailsAnswer(server, answer, query);
    answer.Read(id);
    EXPECT_EQ(readNetUInt(answer), server.uid);
    Trip trip;
    trip.read = readObjectDetails(client, answer);
    trip.leftoverBits = answer.GetNumberOfUnreadBits();
    return trip;
  }

  hull_list* scout = nullptr;
};

// Positive, negative and zero values come back as sent (to the 16-bit
// step of the state's largest magnitude), into states found or added by
// name.
TEST_F(DetailsTest, StatesComeBackAsSent) {
  objHulled* server = serverShip(red);
  sgHulled* client = mirrorShip(red, scout);
  struct Values {
    const wchar_t* name;
    float val, max, required, inCargo;
  };
  const std::vector<Values> sentValues = {
      {L"Metals", 120.0f, 250.0f, -30.5f, 0.0f},
      {L"Fuel", 0.0f, 0.0f, 0.0f, 0.0f},
      {L"Debt", -40.0f, 100.0f, 0.0f, 7.25f},
  };
  for (const Values& values : sentValues) {
    State* state = getOrAddObjectState(server, values.name);
    state->value = {values.val, values.max, values.required, values.inCargo, nullptr};
  }
  getOrAddObjectState(client, L"Metals")->value.val = 999.0f;  // replaced, not doubled

  const Trip trip = roundTrip(*server, *client);
  EXPECT_TRUE(trip.read);
  EXPECT_LT(trip.leftoverBits, 8u);
  EXPECT_EQ(client->states.size(), server->states.size());
  for (const Values& values : sentValues) {
    SCOPED_TRACE(std::wstring(values.name).size());
    const State* state = findObjectState(client, values.name);
    ASSERT_NE(state, nullptr);
    const float step = std::max({std::fabs(values.val), std::fabs(values.max), std::fabs(values.required),
                                 std::fabs(values.inCargo)}) / 65535.0f;
    EXPECT_NEAR(state->value.val, values.val, step);
    EXPECT_NEAR(state->value.max, values.max, step);
    EXPECT_NEAR(state->value.required, values.required, step);
    EXPECT_NEAR(state->value.inCargo, values.inCargo, step);
    if (values.required < 0.0f) {
      EXPECT_LT(state->value.required, 0.0f);
    }
  }
  EXPECT_EQ(findObjectState(client, L"Fuel")->value.max, 0.0f);
}

// A planet's answer: structures (as the count differs), conditions, the
// governor, the rally point, the stance, the build queue with its first
// item's costs and the orders; then the same again, which leaves the
// structures and the queue items as they were and updates the costs.
TEST_F(DetailsTest, PlanetDetailsRoundTripAndUnchangedSectionsStay) {
  objHabitation* server = planetOf(red);
  sgHabitation* client = mirrorPlanet(red);
  objHulled* rally = serverShip(red);
  ASSERT_TRUE(server->addStructureFromDef(def(L"Mine")));
  ASSERT_TRUE(server->addStructureFromDef(def(L"Dock")));
  server->structures[0].record.state = SS_Disabled;
  server->structures[0].record.HP = 17.5f;
  server->structures[0].record.val1 = 0.25f;
  server->conditions.push_back(condition(L"Arid"));
  server->conditions.push_back(condition(L"Windy"));
  client->conditions.push_back(condition(L"Windy"));
  server->setUseGovernor(true);
  server->setGovernorType(L"Mines");
  server->setRepeatQueue(true);
  server->setLinkedObject(rally);
  queueOf(server).stance = AIS_HoldFire;
  queue(server, L"Mine", 2, true);
  ASSERT_EQ(server->buildQueue.size(), 2u);
  ASSERT_GT(server->buildQueue[0]->costs.size(), 0u);
  server->buildQueue[0]->costs[0].value.paid = 4.0f;
  queueOf(server).orders.push_back(new networked_order(L"Guard the gate"));
  queueOf(server).orders.push_back(new networked_order(L"Hold"));

  Trip trip = roundTrip(*server, *client);
  EXPECT_TRUE(trip.read);
  EXPECT_LT(trip.leftoverBits, 8u);
  ASSERT_EQ(client->structures.size(), 2u);
  EXPECT_EQ(client->structures[0].system->def, def(L"Mine"));
  EXPECT_EQ(client->structures[1].system->def, def(L"Dock"));
  EXPECT_EQ(client->structures[0].record.state, uint32_t{SS_Disabled});
  EXPECT_EQ(client->structures[0].record.HP, 17.5f);
  EXPECT_EQ(client->structures[0].record.val1, 0.25f);
  EXPECT_EQ(client->structures[1].record.HP, server->structures[1].record.HP);
  ASSERT_EQ(client->conditions.size(), 2u);  // Windy kept, Arid added
  EXPECT_NE(client->conditions.linear_search(condition(L"Arid")), -1);
  EXPECT_TRUE(client->usesGovernor());
  ASSERT_NE(client->getGovernorType(), nullptr);
  EXPECT_EQ(*client->getGovernorType(), stringw(L"Mines"));
  EXPECT_TRUE(client->getRepeatQueue());
  EXPECT_EQ(client->linkedObject, rally);
  EXPECT_EQ(queueOf(client).stance, AIS_HoldFire);
  ASSERT_EQ(client->buildQueue.size(), 2u);
  auto* first = dynamic_cast<mimic_constructible*>(client->buildQueue[0]);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->getName(), server->buildQueue[0]->getName());
  EXPECT_EQ(first->getType(), stringw(L"structure"));
  ASSERT_EQ(first->costs.size(), server->buildQueue[0]->costs.size());
  EXPECT_EQ(first->costs[0].entryName(), server->buildQueue[0]->costs[0].entryName());
  EXPECT_EQ(first->costs[0].value.paid, 4.0f);
  EXPECT_EQ(first->costs[0].value.amount, server->buildQueue[0]->costs[0].value.amount);
  ASSERT_EQ(queueOf(client).orders.size(), 2u);
  EXPECT_EQ(queueOf(client).orders.front()->getType(), OrdT_Networked);
  EXPECT_EQ(queueOf(client).orders.front()->describe(), stringw(L"Guard the gate"));
  EXPECT_EQ(queueOf(client).orders.back()->describe(), stringw(L"Hold"));
  EXPECT_EQ(client->remoteQueueLength, 2u);
  EXPECT_EQ(client->remoteOrderCount, 2u);

  // The counts and the first item's hash now match.
  client->structures[0].record.HP = -1.0f;
  const constructible* keptItem = client->buildQueue[0];
  server->buildQueue[0]->costs[0].value.paid = 6.0f;
  server->setLinkedObject(nullptr);
  trip = roundTrip(*server, *client);
  EXPECT_TRUE(trip.read);
  EXPECT_LT(trip.leftoverBits, 8u);
  EXPECT_EQ(client->structures[0].record.HP, -1.0f);  // not sent again
  ASSERT_EQ(client->buildQueue.size(), 2u);
  EXPECT_EQ(client->buildQueue[0], keptItem);
  EXPECT_EQ(client->buildQueue[0]->costs[0].value.paid, 6.0f);
  EXPECT_EQ(client->linkedObject, nullptr);

  // An emptied queue empties the client's.
  server->clearBuildQueue();
  trip = roundTrip(*server, *client);
  EXPECT_TRUE(trip.read);
  EXPECT_EQ(client->buildQueue.size(), 0u);
  EXPECT_EQ(client->remoteQueueLength, 0u);
}

// A ship's answer: the layout when the client's is a placeholder, the
// sub-systems' hit points as fractions, and the movement block with a
// target or a destination.
TEST_F(DetailsTest, ShipHullAndMovementComeBack) {
  objHulled* server = serverShip(red);
  objHabitation* planet = planetOf(red);
  sgHulled* client = mirrorShip(red, getUnknownHullLayout());
  ASSERT_EQ(server->getSubSystemCount(), 1u);
  SysRef* part = server->getSubSystem(0);
  const float maximum = part->system->getDurability();
  ASSERT_GT(maximum, 0.0f);
  part->HP = maximum / 4.0f;
  MobileMover* mover = MobileMover::of(server);
  mover->setTargetObject(planet);
  mover->thrust = 0.5f;
  server->velocity.set(1, 2, 3);

  Trip trip = roundTrip(*server, *client);
  EXPECT_TRUE(trip.read);
  EXPECT_LT(trip.leftoverBits, 8u);
  EXPECT_EQ(client->getHull(), scout);
  ASSERT_EQ(client->getSubSystemCount(), 1u);
  EXPECT_NEAR(client->getSubSystem(0)->HP, maximum / 4.0f, maximum / 65535.0f);
  FakeMobileMover* mirror = FakeMobileMover::of(client);
  EXPECT_EQ(mirror->destinationTarget, planet);
  EXPECT_EQ(mirror->thrust, 1.0f);
  EXPECT_FALSE(mirror->parked);
  EXPECT_EQ(client->velocity, vector3df(1, 2, 3));

  // The layout is the client's now: asked for no more, and not sent.
  mover->setDestination(vector3df(100, 0, -50));
  mover->thrust = 0.0f;
  mover->setParked(true);
  part->HP = maximum;
  trip = roundTrip(*server, *client);
  EXPECT_TRUE(trip.read);
  EXPECT_LT(trip.leftoverBits, 8u);
  EXPECT_EQ(client->getHull(), scout);
  EXPECT_EQ(client->getSubSystem(0)->HP, maximum);
  EXPECT_EQ(mirror->destinationTarget, nullptr);
  EXPECT_EQ(mirror->destination, vector3df(100, 0, -50));
  EXPECT_EQ(mirror->thrust, 0.0f);
  EXPECT_TRUE(mirror->parked);
}

// 300 states, 300 queued items and 40 orders: 255 states, 255 items and
// 31 orders, read with nothing left over, and the full lengths in the
// counters. Asked again, the 255 items match and stay.
TEST_F(DetailsTest, LongQueuesAreCutToWhatTheirCountsSay) {
  objHabitation* server = planetOf(red);
  sgHabitation* client = mirrorPlanet(red);
  for (int i = 0; i < 300; ++i)
    getOrAddObjectState(server, stringw(L"Stock ") + stringw(i))->value.val = static_cast<float>(i);
  ASSERT_GT(server->states.size(), 300u);
  const irr::u32 clientStates = client->states.size();
  queue(server, L"Scout", 300, false);
  ASSERT_EQ(server->buildQueue.size(), 300u);
  for (int i = 0; i < 40; ++i)
    queueOf(server).orders.push_back(new networked_order(stringw(L"Order ") + stringw(i)));

  Trip trip = roundTrip(*server, *client);
  EXPECT_TRUE(trip.read);
  EXPECT_LT(trip.leftoverBits, 8u);
  EXPECT_LE(client->states.size(), clientStates + 255);
  EXPECT_GE(client->states.size(), 255u);
  EXPECT_EQ(client->buildQueue.size(), 255u);
  ASSERT_EQ(queueOf(client).orders.size(), 31u);
  EXPECT_EQ(queueOf(client).orders.back()->describe(), stringw(L"Order 30"));
  EXPECT_EQ(client->remoteQueueLength, 300u);
  EXPECT_EQ(client->remoteOrderCount, 40u);

  const constructible* keptItem = client->buildQueue[0];
  trip = roundTrip(*server, *client);
  EXPECT_TRUE(trip.read);
  EXPECT_LT(trip.leftoverBits, 8u);
  EXPECT_EQ(client->buildQueue[0], keptItem);
}

// A structure list over 2048 ends the reading there: nothing after it is
// taken for the planet's settings.
TEST_F(DetailsTest, AnOversizedStructureListEndsTheAnswer) {
  sgHabitation* client = mirrorPlanet(red);
  struct Case {
    uint32_t count;
    bool read;
  };
  for (const Case& row : {Case{2049, false}, Case{2048, true}}) {
    SCOPED_TRACE(row.count);
    client->setUseGovernor(false);
    RakNet::BitStream answer;
    answer.Write(uint8_t{0});  // no states
    answer.Write1();
    answer.Write(row.count);
    for (uint32_t i = 0; i < row.count; ++i)
      for (int word = 0; word < 4; ++word)
        answer.Write(uint32_t{0});
    answer.Write0();  // conditions unchanged
    answer.Write1();  // use the governor
    answer.Write0();
    answer.Write0();
    answer.Write0();
    answer.Write0();  // not mobile
    for (int i = 0; i < 3; ++i)
      answer.Write(0.0f);
    answer.Write(uint8_t{0});
    answer.Write0();  // queue unchanged
    answer.Write0();  // and empty
    const unsigned char noOrders = 0;
    answer.WriteBits(&noOrders, 5);
    answer.Write0();
    EXPECT_EQ(readObjectDetails(*client, answer), row.read);
    EXPECT_EQ(client->usesGovernor(), row.read);
    EXPECT_EQ(client->structures.size(), 0u);  // unknown definitions make nothing
  }
}

// --- The server's handler -------------------------------------------------------

class DetailRequests : public DetailsTest {
 protected:
  void SetUp() override {
    DetailsTest::SetUp();
    networkManager->isServer = true;
  }
  NetPlayer& player(uint64_t guid, empire* emp, bool inGame) {
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    NetPlayer& made = networkManager->players[guid];
    made.emp = emp;
    made.hasGalaxy = inGame ? 1 : 0;
    made.address.binaryAddress = static_cast<uint32_t>(0x0100007F + (guid << 24));
    made.address.port = static_cast<uint16_t>(12100 + guid);
    return made;
  }
  // The request for `object` as a client writes it, cut to `bits` when
  // given, handed to the server from `from`. The answers sent.
  std::vector<SentMessage> ask(generic_object* object, NetPlayer* from, size_t bits = SIZE_MAX) {
    RakNet::BitStream request;
    writeObjectDetailsQuery(request, *object);
    const size_t used = std::min(bits, request.GetNumberOfBitsUsed());
    RakNet::BitStream cut;
    for (size_t i = 0; i < used; ++i)
      cut.Write(((request.GetData()[i / 8] >> (7 - i % 8)) & 1) != 0);
    cut.IgnoreBits(8);
    sent.clear();
    handleObjectDetailsRequest(cut, from);
    return sent;
  }
};

TEST_F(DetailRequests, OnlyInGamePlayersWithAnEmpireHearOfWhatTheySee) {
  solarSystem* hidden = addSystems(1)[0];
  system->visibilityMask = red->ownBit | blue->ownBit;
  hidden->visibilityMask = blue->ownBit;
  objHulled* own = serverShip(red, hidden);
  objHulled* seen = serverShip(blue, system);
  objHulled* unseen = serverShip(blue, hidden);
  NetPlayer& playing = player(1, red, true);
  NetPlayer& joining = player(2, red, false);
  NetPlayer& watching = player(3, nullptr, true);

  struct Case {
    const char* name;
    generic_object* object;
    NetPlayer* from;
    size_t bits;
    bool answered;
  };
  const std::vector<Case> cases = {
      {"an own ship, wherever it is", own, &playing, SIZE_MAX, true},
      {"a foreign ship in a system the empire sees", seen, &playing, SIZE_MAX, true},
      {"a foreign ship in a system the empire does not see", unseen, &playing, SIZE_MAX, false},
      {"a player not yet in the game", own, &joining, SIZE_MAX, false},
      {"a spectator", seen, &watching, SIZE_MAX, false},
      {"no listed sender", own, nullptr, SIZE_MAX, false},
      {"a request cut short", own, &playing, 30, false},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    const std::vector<SentMessage> answers = ask(row.object, row.from, row.bits);
    ASSERT_EQ(answers.size(), row.answered ? 1u : 0u);
    if (!row.answered)
      continue;
    EXPECT_EQ(answers[0].bytes[0], ID_OBJECT_DETAILS);
    EXPECT_EQ(answers[0].channel, kChannelDetailAnswers);
    EXPECT_EQ(answers[0].reliability, RakNet::UNRELIABLE);
    EXPECT_EQ(answers[0].target, row.from->address);
  }
  // A UID that names nothing gets no answer either.
  RakNet::BitStream unknown;
  writeNetUInt(unknown, 30000);
  unknown.Write(uint8_t{0});
  unknown.Write(uint8_t{0});
  sent.clear();
  handleObjectDetailsRequest(unknown, &playing);
  EXPECT_TRUE(sent.empty());
}

// --- Damaged messages --------------------------------------------------------------

// Random, cut and bit-flipped update batches and detail messages, handed to
// the receivers as the dispatcher would: on a client (answers and batches)
// and on a server (requests, and batches it ignores). Nothing crashes,
// nothing leaks (the sanitizers watch), and every object stays whole.
TEST_F(DetailRequests, DamagedMessagesChangeNothingTheyCannotRead) {
  solarSystem* other = addSystems(1)[0];
  system->visibilityMask = red->ownBit;
  system->radius = 300.0f;
  other->radius = 3900.0f;
  objHabitation* serverPlanet = planetOf(red);
  ASSERT_TRUE(serverPlanet->addStructureFromDef(def(L"Mine")));
  serverPlanet->conditions.push_back(condition(L"Molten"));
  queue(serverPlanet, L"Mine", 3, true);
  queueOf(serverPlanet).orders.push_back(new networked_order(L"Stay"));
  objHulled* serverShipObject = serverShip(red);
  MobileMover::of(serverShipObject)->setTargetObject(serverPlanet);
  sgHabitation* clientPlanet = mirrorPlanet(red);
  sgHulled* clientShip = mirrorShip(red, getUnknownHullLayout());
  NetPlayer& playing = player(1, red, true);

  // Whole messages to damage: answers into the client's mirrors, requests
  // for the server's objects, and batches naming both.
  std::vector<std::vector<uint8_t>> answers;
  std::vector<std::vector<uint8_t>> requests;
  const auto bytesOf = [](const RakNet::BitStream& stream) {
    return std::vector<uint8_t>(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed());
  };
  for (auto pair : {std::make_pair<generic_object*, generic_object*>(serverPlanet, clientPlanet),
                    std::make_pair<generic_object*, generic_object*>(serverShipObject, clientShip)}) {
    RakNet::BitStream request;
    writeObjectDetailsQuery(request, *pair.second);
    requests.push_back(bytesOf(request));
    request.IgnoreBits(8);
    readNetUInt(request);
    ObjectDetailsQuery query;
    readObjectDetailsQuery(request, pair.first->getType(), query);
    query.hullWanted = true;
    RakNet::BitStream answer;
    writeObjectDetailsAnswer(*pair.first, answer, query);
    // The same answer addressed to the client's mirror.
    answer.IgnoreBits(8);
    readNetUInt(answer);
    RakNet::BitStream readdressed;
    readdressed.Write(ID_OBJECT_DETAILS);
    writeNetUInt(readdressed, pair.second->uid);
    while (answer.GetNumberOfUnreadBits() > 0) {
      bool bit = false;
      answer.Read(bit);
      readdressed.Write(bit);
    }
    answers.push_back(bytesOf(readdressed));
    RakNet::BitStream ownRequest;
    writeObjectDetailsQuery(ownRequest, *pair.first);
    requests.push_back(bytesOf(ownRequest));
  }
  std::vector<std::vector<uint8_t>> batches;
  {
    RakNet::BitStream batch;
    batch.Write(ID_OBJECT_UPDATES);
    batch.Write(uint16_t{4});
    batch.Write(1.0);
    batch.Write(1.0);
    uint32_t lastContainer = 0;
    for (generic_object* object : {static_cast<generic_object*>(clientShip), static_cast<generic_object*>(clientPlanet),
                                   static_cast<generic_object*>(serverShipObject), static_cast<generic_object*>(other)}) {
      writeNetObjectRef(batch, object);
      batch.Write1();
      const bool change = lastContainer != (object == other ? galaxy->uid : system->uid);
      batch.Write(change);
      if (change) {
        lastContainer = object == other ? galaxy->uid : system->uid;
        writeNetUInt(batch, lastContainer);
      }
      for (int i = 0; i < 3; ++i)
        batch.Write(uint16_t(0x8000 + i));
      for (int i = 0; i < 3; ++i)
        batch.Write(uint8_t(40 * i));
      batch.Write1();
    }
    batches.push_back(bytesOf(batch));
  }

  std::mt19937 random(20261211);
  const auto damaged = [&random](std::vector<uint8_t> bytes) {
    switch (random() % 4) {
      case 0:  // cut anywhere after the id
        bytes.resize(1 + random() % bytes.size());
        break;
      case 1:  // a few bits flipped
        for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips)
          bytes[1 + random() % (bytes.size() - 1)] ^= static_cast<uint8_t>(1u << (random() % 8));
        break;
      case 2:  // random bytes behind the id
        for (size_t i = 1; i < bytes.size(); ++i)
          bytes[i] = static_cast<uint8_t>(random());
        bytes.resize(1 + random() % (bytes.size() + 8));
        break;
      default:  // flipped and cut
        bytes[1 + random() % (bytes.size() - 1)] ^= static_cast<uint8_t>(random());
        bytes.resize(1 + random() % bytes.size());
        break;
    }
    return bytes;
  };
  registerObjectUpdateReceivers(*networkManager);
  const auto deliver = [](const std::vector<uint8_t>& bytes, NetPlayer* from) {
    if (bytes.empty())
      return;
    RakNet::BitStream stream(bytes.data(), bytes.size(), false);
    stream.IgnoreBits(8);
    networkManager->receivers.at(bytes[0])->handle(bytes[0], stream, from);
  };

  for (int round = 0; round < 10000; ++round) {
    const bool onServer = round % 2 == 0;
    networkManager->isServer = onServer;
    networkManager->isNetworked = !onServer;
    networkManager->isConnected = !onServer;
    gameTime = 0.0;
    std::vector<uint8_t> body;
    switch (random() % 3) {
      case 0:
        body = damaged(batches[0]);
        break;
      case 1:
        body = damaged(answers[random() % answers.size()]);
        body[0] = ID_OBJECT_DETAILS;
        break;
      default:
        body = damaged(requests[random() % requests.size()]);
        body[0] = ID_OBJECT_DETAILS;
        break;
    }
    deliver(body, onServer ? &playing : nullptr);
  }
  networkManager->isNetworked = false;
  networkManager->isConnected = false;
  networkManager->isServer = true;
  gameSpeed = 1.0;

  // Everything is still in its place in the tree and answers whole.
  for (generic_object* object : {static_cast<generic_object*>(clientPlanet), static_cast<generic_object*>(clientShip),
                                 static_cast<generic_object*>(serverPlanet),
                                 static_cast<generic_object*>(serverShipObject)}) {
    EXPECT_TRUE(object->isValid());
    EXPECT_NE(object->container.load(), nullptr);
  }
  // (On the client's turns the server's objects are objects it knows too.)
  const Trip trip = roundTrip(*serverPlanet, *clientPlanet);
  EXPECT_TRUE(trip.read);
  EXPECT_LT(trip.leftoverBits, 8u);
  EXPECT_EQ(clientPlanet->structures.size(), serverPlanet->structures.size());
  EXPECT_EQ(clientPlanet->buildQueue.size(), serverPlanet->buildQueue.size());
}

}  // namespace

}  // namespace object_details_test
