// Well-formed messages of the game's ids, made by the game's own writers
// and senders, for the hostile-client suite and the dispatcher's fuzz entry
// point: what a client sends its server (116 to 139 among them), and what a
// server sends a client.
//
// Senders that go through the network manager are captured with its send
// observer while the peer is set aside, so nothing reaches the wire; the
// requests whose senders live in script natives are written here field by
// field with the shared encoders, as those natives write them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/net_encoders.h"
#include "design/build/build_requests.h"
#include "design/effectors/effect_gfx.h"
#include "design/hull_list.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"
#include "empire/research/research_network.h"
#include "empire/research/research_registry.h"
#include "empire/treaty_network.h"
#include "gfx/gas_sprites.h"
#include "net/chat_log.h"
#include "net/diplomacy_messages.h"
#include "net/empire_messages.h"
#include "net/galaxy_transfer.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "net/object_details.h"
#include "net/object_requests.h"
#include "net/object_updates.h"
#include "net/remote_console.h"
#include "platform/bit_stream.h"
#include "universe/galaxygen/net_object_records.h"
#include "net/object_receivers.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_messages.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"

namespace madeMessages {

struct Made {
  uint8_t id = 0;
  bool toServer = true;  // from a client to its server; else from the server
  std::vector<uint8_t> bytes;
};

inline std::vector<uint8_t> bytesOfStream(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  return std::vector<uint8_t>(data, data + stream.GetNumberOfBytesUsed());
}

// The first object below `root` that `pick` takes, depth first.
inline generic_object* findObject(generic_object* root, const std::function<bool(generic_object*)>& pick) {
  for (irr::u32 i = 0; i < root->children.size(); ++i) {
    generic_object* child = root->children[i].get();
    if (pick(child))
      return child;
    if (generic_object* below = findObject(child, pick))
      return below;
  }
  return nullptr;
}

// The messages for a session whose player plays `own`; `other` is another
// empire. `manager` is the process's manager; its peer, role and observer
// are put back before this returns.
inline std::vector<Made> makeAll(NetworkManager& manager, empire* own, empire* other) {
  std::vector<Made> out;
  auto add = [&out](bool toServer, const RakNet::BitStream& stream) {
    const std::vector<uint8_t> bytes = bytesOfStream(stream);
    if (!bytes.empty())
      out.push_back({bytes[0], toServer, bytes});
  };
  generic_object* ownPlanet = findObject(galaxy, [own](generic_object* o) {
    return o->getOwner() == own && dynamic_cast<objHabitation*>(o) != nullptr;
  });
  generic_object* ship = findObject(galaxy, [own](generic_object* o) {
    return o->getOwner() == own && o->getType() == OT_Hulled;
  });
  generic_object* anyOwn = ship != nullptr ? ship : ownPlanet;
  generic_object* system = galaxy->children.size() > 0 ? galaxy->children[0].get() : nullptr;
  const irr::core::stringw layoutName = own->hulls.size() > 0 ? own->hulls[0].entryName() : L"Scout";

  // Captured from the senders, with the peer set aside.
  bool capturing = true;
  bool capturedToServer = true;
  RakNet::RakPeerInterface* peer = manager.peer;
  const bool wasServer = manager.isServer;
  const bool wasNetworked = manager.isNetworked;
  const bool wasConnected = manager.isConnected;
  manager.peer = nullptr;
  manager.setSendObserver([&](const RakNet::BitStream& stream, uint8_t, RakNet::PacketReliability,
                              const RakNet::SystemAddress&) {
    if (capturing)
      add(capturedToServer, stream);
  });
  // As a client.
  manager.isServer = false;
  manager.isNetworked = true;
  manager.isConnected = true;
  sendEmpireSetting(L"ColonizeAny", 1.0f);
  if (own->researchWeb != nullptr && research::getWebItemDescCount() > 0)
    research::sendActiveTechRequest(own, research::getWebItemDesc(0u), -1);
  // As a server, to the player of `own`.
  capturedToServer = false;
  manager.isServer = true;
  manager.isNetworked = false;
  const RakNet::SystemAddress player = RakNet::SystemAddress::fromOctets(127, 0, 0, 2, 40000);
  sendBuildList(manager, L"Default", player);
  sendTreaty(own, player);
  if (system != nullptr) {
    RakNet::BitStream record;  // the system's record and those below it
    writeObjectRecord(*system, player, record);
  }
  capturing = false;
  manager.setSendObserver({});
  manager.peer = peer;
  manager.isServer = wasServer;
  manager.isNetworked = wasNetworked;
  manager.isConnected = wasConnected;

  // To the server.
  {
    RakNet::BitStream s;
    writeChatMessage(s, L"hello there");
    add(true, s);
  }
  {
    RakNet::BitStream s;
    s.Write(msgid::kPlayerName);
    writeNetStringW(s, L"Renamed", kMaxNetStringLength);
    add(true, s);
  }
  {
    RakNet::BitStream s;
    s.Write(msgid::kGalaxyRequest);
    add(true, s);
  }
  {
    RakNet::BitStream s;
    s.Write(msgid::kPlayAs);
    s.Write(other->ID);
    add(true, s);
  }
  {
    RakNet::BitStream s;
    s.Write(msgid::kGalaxyEnd);
    add(true, s);
  }
  if (system != nullptr) {
    RakNet::BitStream s;
    if (writeObjectDetailsQuery(s, *system))
      add(true, s);
  }
  {
    RakNet::BitStream s;
    writeRemoteConsoleMessage(s, L"wrong", L"players");
    add(true, s);
  }
  // The requests on objects: those of the player's empire, and the same
  // aimed at another empire's objects and at objects of no empire, which a
  // server must refuse.
  auto objectRequests = [&](generic_object* unit, generic_object* planet) {
    if (unit != nullptr) {
      // 116: a defend order appended, and a clear (as the forwarder sends them).
      RakNet::BitStream order;
      order.Write(ID_OBJECT_ORDER);
      order.Write(static_cast<uint32_t>(unit->uid));
      order.Write(static_cast<uint8_t>(ORF_Append));
      defend_order().writeNetwork(order);
      add(true, order);
      RakNet::BitStream clear;
      clear.Write(ID_OBJECT_ORDER);
      clear.Write(static_cast<uint32_t>(unit->uid));
      clear.Write(static_cast<uint8_t>(ORF_Clear));
      add(true, clear);
      // 139: stance, park, undock all.
      RakNet::BitStream stance;
      stance.Write(ID_OBJECT_COMMAND);
      stance.Write(static_cast<uint8_t>(OCK_Stance));
      writeNetObjectRef(stance, unit);
      stance.Write(static_cast<uint8_t>(AIS_HoldPosition));
      add(true, stance);
      RakNet::BitStream park;
      park.Write(ID_OBJECT_COMMAND);
      park.Write(static_cast<uint8_t>(OCK_Park));
      writeNetObjectRef(park, unit);
      park.Write(true);
      add(true, park);
      // 136: colonize the system of the object.
      RakNet::BitStream colonize;
      colonize.Write(ID_EMPIRE_COMMAND);
      colonize.Write(kEmpireCommandColonize);
      colonize.Write(static_cast<uint32_t>(system != nullptr ? system->uid : unit->uid));
      colonize.Write(false);
      add(true, colonize);
    }
    if (planet != nullptr) {
      // 117: a ship of a layout with its count, and a cleared queue.
      RakNet::BitStream ships;
      ships.Write(ID_BUILD_QUEUE);
      ships.Write(static_cast<uint32_t>(planet->uid));
      ships.Write(static_cast<uint8_t>(BRK_Ship));
      writeNetStringW(ships, layoutName, kMaxNetStringLength);
      ships.Write(static_cast<uint16_t>(2));
      add(true, ships);
      RakNet::BitStream clear;
      clear.Write(ID_BUILD_QUEUE);
      clear.Write(static_cast<uint32_t>(planet->uid));
      clear.Write(kBuildClearQueue);
      add(true, clear);
      // 118: governor on, its type by name, the rally point.
      RakNet::BitStream governor;
      governor.Write(ID_PLANET_SETTING);
      writeNetObjectRef(governor, planet);
      governor.Write(static_cast<uint8_t>(PSK_UseGovernor));
      governor.Write(true);
      add(true, governor);
      RakNet::BitStream type;
      type.Write(ID_PLANET_SETTING);
      writeNetObjectRef(type, planet);
      type.Write(static_cast<uint8_t>(PSK_GovernorType));
      writeNetStringW(type, L"Default", kMaxNetStringLength);
      add(true, type);
      RakNet::BitStream rally;
      rally.Write(ID_PLANET_SETTING);
      writeNetObjectRef(rally, planet);
      rally.Write(static_cast<uint8_t>(PSK_RallyPoint));
      writeNetObjectRef(rally, system);
      add(true, rally);
    }
  };
  objectRequests(anyOwn, ownPlanet);
  generic_object* otherPlanet = findObject(galaxy, [other](generic_object* o) {
    return o->getOwner() == other && dynamic_cast<objHabitation*>(o) != nullptr;
  });
  generic_object* otherShip = findObject(galaxy, [other](generic_object* o) {
    return o->getOwner() == other && o->getType() == OT_Hulled;
  });
  objectRequests(otherShip != nullptr ? otherShip : otherPlanet, otherPlanet);
  generic_object* freePlanet = findObject(galaxy, [](generic_object* o) {
    return o->getOwner() == nullptr && dynamic_cast<objHabitation*>(o) != nullptr;
  });
  objectRequests(freePlanet, freePlanet);
  if (own->hulls.size() > 0) {
    RakNet::BitStream layout;
    if (writeHullLayoutMessage(layout, own->hulls[0].value, nullptr, nullptr))
      add(true, layout);
  }
  {
    // 132: a proposal to another empire (as a client's diplomacy sends it).
    RakNet::BitStream s;
    s.Write(ID_DIPLOMACY_MESSAGE);
    writeNetEmpire(s, own);
    writeNetEmpire(s, other);
    s.Write(static_cast<uint32_t>(DT_Peace));
    s.Write0();
    add(true, s);
  }
  {
    // 133: an answer to a treaty of another empire.
    RakNet::BitStream s;
    s.Write(kTreatyMessageId);
    s.Write(static_cast<uint8_t>(TMK_Answer));
    s.Write(uint32_t{2});
    writeNetEmpire(s, other);
    s.Write(uint8_t{1});
    add(true, s);
  }
  {
    // 135: a design's update threshold.
    RakNet::BitStream s;
    s.Write(ID_HULL_SETTING);
    s.Write(kHullSettingThreshold);
    writeNetStringW(s, layoutName, kMaxNetStringLength);
    s.Write(0.5f);
    add(true, s);
  }

  // From the server.
  {
    RakNet::BitStream s;
    writeGalaxyHeader(s);
    add(false, s);
  }
  {
    RakNet::BitStream s;
    writeGameTime(s, true, false);
    add(false, s);
  }
  {
    RakNet::BitStream s;
    s.Write(msgid::kGalaxyEnd);
    s.Write(0.5f);
    add(false, s);
  }
  {
    RakNet::BitStream s;
    writeChatMessage(s, L"a notice");
    add(false, s);
  }
  {
    RakNet::BitStream s;
    writeEmpireState(s, own, true);
    add(false, s);
  }
  if (system != nullptr) {
    RakNet::BitStream updates;
    updates.Write(ID_OBJECT_UPDATES);
    updates.Write(uint16_t{1});
    updates.Write(1.0);
    updates.Write(1.0);
    uint32_t lastContainer = 0;
    writeObjectUpdate(updates, *system, lastContainer);
    add(false, updates);
  }
  {
    RakNet::BitStream s;
    s.Write(ID_EMPIRE_MESSAGE);
    writeNetStringW(s, L"A message", kMaxNetStringLength);
    writeNetStringW(s, L"misc", kMaxNetStringLength);
    s.Write(uint32_t{1});
    s.Write(uint32_t{100});
    add(false, s);
  }
  {
    RakNet::BitStream s;
    s.Write(ID_EMPIRE_COMMAND);
    s.Write(kTraitAdded);
    writeNetEmpire(s, own);
    writeNetStringW(s, L"Trait", kMaxNetStringLength);
    add(false, s);
  }
  if (own->researchWeb != nullptr) {
    RakNet::BitStream s;
    s.Write(research::kResearchMessageId);
    research::writeResearchWebState(s, *own->researchWeb);
    add(false, s);
  }
  {
    RakNet::BitStream s;
    s.Write(ID_DIPLOMACY_MESSAGE);
    writeNetEmpire(s, other);
    s.Write(static_cast<uint32_t>(DT_Greetings));
    add(false, s);
  }
  if (ownPlanet != nullptr) {
    // 138: an owner change, and 124: a destruction, as the object sends them.
    RakNet::BitStream owner;
    owner.Write(objectmsg::kMsgDockEvent);
    writeNetObjectRef(owner, ownPlanet);
    owner.Write(objectmsg::kDockEventOwner);
    owner.Write(own->ID);
    add(false, owner);
    RakNet::BitStream destroyed;
    destroyed.Write(kMsgObjectDestroyed);
    destroyed.Write(static_cast<uint32_t>(ownPlanet->uid));
    add(false, destroyed);
  }
  {
    RakNet::BitStream s;
    s.Write(ID_EFFECT_GFX);
    s.Write(kEffGfxSubKindCalls);
    writeEffGfxQueue(s, 0);
    add(false, s);
  }
  {
    RakNet::BitStream s;
    s.Write(ID_GALAXY_GAS_SPRITES);
    writeGalaxyGasSprites(s);
    add(false, s);
  }
  return out;
}

}  // namespace madeMessages
