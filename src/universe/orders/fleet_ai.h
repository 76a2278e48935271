// A fleet: a group of ships led by a commander. The commander's AI becomes
// the fleet, which keeps the commander's own queue (its prior AI), the
// member list, the fleet's name and its formation. Orders given to the fleet
// go to the commander and, for most kinds, as copies to every member; each
// member keeps its place in the formation through its own idle step. When
// the commander leaves, the first member that can takes command.
//
// References: the fleet is counted like every AI (1 at construction). The
// commander holds one through setAI, the owner empire one while it lists
// the fleet (empire::addFleet, released with release()). Each member is held
// by a counted reference; a member's UnitAI points back at the fleet.
//
// Locking: the fleet's read/write lock guards the member list, the name and
// the formation. A star system's lock always comes before the fleet's: the
// operations that lock members' systems (the order fan-out, clearOrders,
// the succession) copy the member list with references under the fleet's
// lock, let it go, and then lock one member at a time; the write lock is
// taken again only to change the list.
//
// Save record (after the AI record's handler type byte 2):
//   stance u8 (version 15 on), then the prior AI's record (handler type 1 and
//   its UnitAI record; any other type throws {5, "Invalid prior AI for
//   fleet"}); from version 16: name (wide string), formation type u8 (255 and
//   above: the default wall), member count (packed u32), each member's UID
//   (packed u32), resolved by AddFleetMember steps.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstdint>
#include <mutex>

#include "core/locks.h"
#include "core/post_load.h"
#include "core/save_stream.h"
#include "universe/objects/game_object.h"
#include "universe/objects/held_pointer.h"
#include "universe/orders/unit_ai.h"

class fleet_formation;

constexpr SaveFileError kSaveErrorInvalidPriorAI{5, "Invalid prior AI for fleet"};

class FleetAI : public ObjectAI {
 public:
  // The fleet of `commander`, whose UnitAI becomes the prior AI (grabbed;
  // the stance is copied from it). Starts with a wall formation (factor and
  // spacing 4.0), no members and no name. The caller makes it the
  // commander's AI (setAI) and may enter it in the owner's fleet map.
  explicit FleetAI(UnitAI* prior);
  ~FleetAI() override;

  // Order fan-out: the prior AI takes the order; copies go to the members
  // (cloneFor) except for attacks and repeat orders, and for moves and gotos
  // that stay in the commander's container or leave a star system where the
  // owner sees no enemy ("enemies" below 0.1).
  void addOrder(Order* order, bool clearFirst) override;
  void insertBeforeAutomation(Order* order) override;
  void appendOrder(Order* order) override;
  void clearOrders(bool all) override;
  // Forwarded to the prior AI (the commander's own queue).
  bool hasOrderOfType(int type) const override;
  bool hasOrder(const Order* order) const override;
  void removeOrder(Order* order) override;
  uint32_t getOrderCount() const override;
  Order* getOrder(uint32_t index) const override;
  float getTargetWeight(generic_object* target) override;
  bool orbitTargets(generic_object* target) override;
  // The prior AI's tick, then the members' places, the formation's count
  // and spacing, and the commander's maxAcceleration.
  void tick() override;
  // The commander lets go of the fleet: the command passes on (the
  // commander's reference goes with it) or, with no successor, the fleet is
  // released once. A fleet without a commander or prior AI just releases.
  bool drop() override;
  void save(SaveStream& stream) const override;

  // Wall 0, box 1, escort 2, wedge 3.
  int getFormationType();
  void setFormationType(int type);
  // Logs "Error: Fleet attempted to add itself as member\n" or "Error: Fleet
  // attempted to add another fleet as a member\n" for a commander; an object
  // already in a fleet is not changed.
  void addMember(generic_object* object);
  void removeMember(generic_object* object);
  // The member at `index` (not counted), null out of range.
  generic_object* getMember(unsigned index);
  unsigned getMemberCount();
  irr::core::stringw getName();
  void setName(const irr::core::stringw& newName);
  // The commander gets its UnitAI back and stops; the first member that can
  // takes command (true). With none, the fleet leaves its empire (false).
  bool dropCommander();
  // The formation's place for `member` (its index), applied to its mover;
  // called from the member's idle step on its own system's thread.
  void placeMember(generic_object* member, uint32_t index);

  // The commander's motion as the fleet's tick last saw it, on the
  // commander's own thread: members in other star systems take their places
  // from it, as they may not read the commander while its thread moves it.
  struct CommanderMotion {
    vector3df position;  // absolute
    vector3df velocity;
    float radius = 0.0f;
    bool known = false;  // false until the first tick with a commander
  };
  CommanderMotion getCommanderMotion();

  AIStance stance = AIS_Engage;
  FleetAI* fleet = this;  // a commander belongs to its own fleet
  ReadWriteLock lock;
  UnitAI* prior = nullptr;              // counted
  generic_object* commander = nullptr;  // the prior AI's object
  fleet_formation* formation = nullptr;  // owned
  irr::core::array<heldPointer<generic_object>> members;
  irr::core::stringw name;

 protected:
  std::mutex motionLock;  // guards `motion`
  CommanderMotion motion;

  friend void loadFleetAI(SaveStream& stream, generic_object& object);
  FleetAI() = default;  // a fleet being loaded
};

// Reads a fleet record (after its handler type byte) for `object`, makes the
// fleet its AI and enters it in the owner's fleet map. Throws SaveFileError.
void loadFleetAI(SaveStream& stream, generic_object& object);

// Joins a saved member to its fleet once the object tree exists.
class AddFleetMember : public PostObjectTreeStep {
 public:
  AddFleetMember(uint32_t uid, FleetAI* fleet);  // holds the fleet
  ~AddFleetMember() override;
  void run() override;

 private:
  uint32_t uid_;
  FleetAI* fleet_;
};
