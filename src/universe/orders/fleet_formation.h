// Fleet formations: a fleet's rule for where each member flies relative to
// the commander. The fleet tells its formation the member count and the
// spacing on each of its ticks; each member's idle step asks for its place.
// The place is an offset from the commander in a frame that follows the
// commander's heading, handed to the member's MobileMover
// (setTargetWithOffset), or else to setDestination with the commander's
// velocity.
//
// Users: the fleet's tick (count and spacing, under the fleet's lock) and
// the members' idle steps on their own systems' threads (places, under the
// fleet's read lock). The fields a place computation changes (heading, last
// commander position, the wedge's running place) are kept under the
// formation's own small lock.
#pragma once

#include <cstdint>
#include <mutex>

#include <vector3d.h>

class generic_object;
class FleetAI;

enum FormationType : int {
  FT_Wall = 0,
  FT_Box = 1,
  FT_Escort = 2,
  FT_Wedge = 3,
};

class fleet_formation {
 public:
  virtual ~fleet_formation() = default;
  // Computes member `index`'s place and applies it to `member`; nothing
  // when the fleet has no commander or `member` is the commander.
  virtual void getMemberPosition(generic_object* member, uint32_t index, FleetAI* fleet) = 0;
  virtual void setMemberCount(uint32_t count) { (void)count; }
  virtual void setSpacing(float scale) { (void)scale; }
  virtual int getType() const = 0;

 protected:
  std::mutex placeLock;  // guards the fields a place computation changes
};

// Members in rows of `width` behind the commander, spreading to both sides.
class wall_formation : public fleet_formation {
 public:
  void getMemberPosition(generic_object* member, uint32_t index, FleetAI* fleet) override;
  // width = ceil(sqrt(count + 1)).
  void setMemberCount(uint32_t count) override;
  // spacing = max(factor x scale, 10).
  void setSpacing(float scale) override;
  int getType() const override { return FT_Wall; }

  float factor = 4.0f;
  float spacing = 4.0f;
  uint32_t memberCount = 0;
  uint32_t width = 1;
  bool ready = false;  // a member count was given
  irr::core::vector3df heading;
  irr::core::vector3df lastCommanderPosition;
};

// Members in a cube of `side` places a side, the commander in one corner.
class box_formation : public fleet_formation {
 public:
  void getMemberPosition(generic_object* member, uint32_t index, FleetAI* fleet) override;
  // side = ceil(cbrt(count + 1)), at least 1.
  void setMemberCount(uint32_t count) override;
  // spacing = max(factor x scale, 10).
  void setSpacing(float scale) override;
  int getType() const override { return FT_Box; }

  float spacing = 5.0f;
  float factor = 5.0f;
  uint32_t memberCount = 0;
  uint32_t side = 1;
  bool ready = false;  // a member count was given
  irr::core::vector3df heading;
  irr::core::vector3df lastCommanderPosition;
};

// Members on horizontal rings about the point one unit ahead of the
// commander, rings 15 apart, stacked in vertical layers `spacing` apart.
class escort_formation : public fleet_formation {
 public:
  // No place while `side` or `membersPerRing` is 0 (no members).
  void getMemberPosition(generic_object* member, uint32_t index, FleetAI* fleet) override;
  void setMemberCount(uint32_t count) override;
  // spacing = max(factor x scale, 10).
  void setSpacing(float scale) override;
  int getType() const override { return FT_Escort; }

  float spacing = 5.0f;
  float ringStep = 15.0f;
  float factor = 5.0f;
  uint32_t memberCount = 0;
  uint32_t side = 1;
  uint32_t angleStep = 30;  // degrees
  uint32_t membersPerRing = 1;
  bool ready = false;  // a member count was given
  irr::core::vector3df heading;
  irr::core::vector3df lastCommanderPosition;
};

// Members in square rows behind the commander, each row two places wider
// than the one before. The places follow the order of the calls: index 0
// restarts the sequence, every other call takes the next place.
class wedge_formation : public fleet_formation {
 public:
  void getMemberPosition(generic_object* member, uint32_t index, FleetAI* fleet) override;
  // spacing = max(factor x scale, 10).
  void setSpacing(float scale) override;
  int getType() const override { return FT_Wedge; }

  float spacing = 5.0f;
  float factor = 5.0f;
  uint32_t rowWidth = 3;
  uint32_t placeInRow = 0;
  uint32_t row = 1;
  irr::core::vector3df heading;
  irr::core::vector3df lastCommanderPosition;
};

// 1 box, 2 escort, 3 wedge, anything else a wall.
fleet_formation* createFormation(int type);
