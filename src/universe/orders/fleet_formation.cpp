#include "universe/orders/fleet_formation.h"

#include <cmath>
#include <cstdint>

#include "core/save_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/held_pointer.h"
#include "universe/orders/fleet_ai.h"

namespace {

// However small the members, they keep at least this far apart.
constexpr float kMinSpacing = 10.0f;
constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;
// The escort's rings hold this many members each once there is more than
// one ring, and the rings are counted per this many members.
constexpr uint32_t kEscortRingMembers = 18;
constexpr double kEscortMembersPerSide = 30.0;
constexpr uint32_t kEscortAngleStep = 30;
// The wedge's first row: 3 x 3 places, one spacing behind the commander.
constexpr uint32_t kWedgeFirstRowWidth = 3;

// Where `member` sees its commander. In the member's own star system the
// commander moves on the same thread and is read directly (and followed as
// a target); from another system the member goes by the motion that the
// fleet's tick last recorded on the commander's thread. Empty when the fleet
// has no commander, `member` is the commander, or nothing is known yet. The
// caller holds the fleet's read lock, so the commander does not change
// meanwhile.
struct CommanderSight {
  heldPointer<generic_object> commander;
  vector3df at;
  vector3df velocity;
  float radius = 0.0f;
  bool sameSystem = false;

  explicit operator bool() const { return commander != nullptr; }
};

CommanderSight sightFor(generic_object* member, FleetAI* fleet) {
  CommanderSight sight;
  if (member == nullptr || fleet == nullptr)
    return sight;
  generic_object* commander = fleet->commander;
  if (commander == nullptr || commander == member)
    return sight;
  if (member->container.load() == commander->container.load()) {
    sight.at = commander->getPosition();
    sight.velocity = commander->velocity;
    sight.radius = commander->radius;
    sight.sameSystem = true;
  } else {
    const FleetAI::CommanderMotion motion = fleet->getCommanderMotion();
    if (!motion.known)
      return sight;
    sight.at = motion.position;
    sight.velocity = motion.velocity;
    sight.radius = motion.radius;
  }
  sight.commander = commander;
  return sight;
}

// The formation's frame: the heading f and the two side vectors a and u
// scaled to the spacing s.
struct Frame {
  vector3df f;
  vector3df a;  // f x (0, s, 0)
  vector3df u;  // f x (0, 0, s)
  float s;
};

// Turns the heading towards the commander's movement once it has moved
// more than its radius since the last turn; the heading keeps its value
// while the commander stands (nearly) still.
Frame followCommander(const vector3df& position, float radius, vector3df& heading, vector3df& last, float s) {
  vector3df moved = position - last;
  if (moved.getLength() > radius) {
    heading = moved.normalize();
    last = position;
  }
  const vector3df& f = heading;
  return {f, vector3df(-s * f.Z, 0.0f, s * f.X), vector3df(s * f.Y, -s * f.X, 0.0f), s};
}

// (c + 1) / 2 to one side or the other: negative for odd c when
// `negateOdd`, else negative for even c.
float sidePlace(uint32_t c, bool negateOdd) {
  float h = static_cast<float>((c + 1) / 2);
  bool odd = (c % 2) != 0;
  return odd == negateOdd ? -h : h;
}

// Sends `member` to `offset` from the commander: a mobile mover in the
// commander's system follows the commander at that offset; any other member
// gets the point where that is now, moving with the commander.
void applyPlace(generic_object* member, const CommanderSight& sight, const vector3df& offset) {
  MobileMover* mobile = MobileMover::of(member);
  if (mobile != nullptr && sight.sameSystem)
    mobile->setTargetWithOffset(sight.commander, offset);
  else
    member->setDestination(sight.at + offset, sight.velocity);
}

// The steps every formation shares: where the member sees its commander,
// under the formation's lock the check that a place can be given (`ready`),
// the heading and frame, and the formation's own `offset` (false: no
// place); the place is applied once the lock is let go.
template <class Ready, class Offset>
void placeInFrame(std::mutex& lock, generic_object* member, FleetAI* fleet, vector3df& heading, vector3df& last,
                  const float& spacing, Ready ready, Offset offset) {
  const CommanderSight sight = sightFor(member, fleet);
  if (!sight)
    return;
  vector3df place;
  {
    std::lock_guard<std::mutex> hold(lock);
    if (!ready())
      return;
    const Frame frame = followCommander(sight.at, sight.radius, heading, last, spacing);
    place = offset(frame);
  }
  applyPlace(member, sight, place);
}

// ceil(cbrt(x)) in whole numbers: the smallest side whose cube holds x
// places. Floating-point roots of perfect cubes land on either side of the
// whole number (27 gives 3.0000000000000004), which would add a layer.
uint32_t ceilCubeRoot(uint64_t x) {
  uint64_t side = static_cast<uint64_t>(std::llround(std::cbrt(static_cast<double>(x))));
  while (side * side * side < x)
    ++side;
  while (side > 0 && (side - 1) * (side - 1) * (side - 1) >= x)
    --side;
  return static_cast<uint32_t>(side);
}

float spacingFor(float factor, float scale) {
  float value = factor * scale;
  return value > kMinSpacing ? value : kMinSpacing;  // a NaN scale gives the minimum too
}

}  // namespace

// --- Wall ----------------------------------------------------------------------

void wall_formation::getMemberPosition(generic_object* member, uint32_t index, FleetAI* fleet) {
  placeInFrame(
      placeLock, member, fleet, heading, lastCommanderPosition, spacing, [&] { return ready; },
      [&](const Frame& frame) {
        uint32_t k = index + 1;
        uint32_t row = k / width;
        vector3df offset = frame.a * sidePlace(k % width, false);
        if (row > 0)
          offset -= frame.f * (frame.s * static_cast<float>(row));
        return offset;
      });
}

void wall_formation::setMemberCount(uint32_t count) {
  std::lock_guard<std::mutex> hold(placeLock);
  if (count == memberCount)
    return;
  memberCount = count;
  ready = true;
  width = static_cast<uint32_t>(std::ceil(std::sqrt(static_cast<double>(count) + 1.0)));
}

void wall_formation::setSpacing(float scale) {
  std::lock_guard<std::mutex> hold(placeLock);
  spacing = spacingFor(factor, scale);
}

// --- Box -----------------------------------------------------------------------

void box_formation::getMemberPosition(generic_object* member, uint32_t index, FleetAI* fleet) {
  placeInFrame(
      placeLock, member, fleet, heading, lastCommanderPosition, spacing, [&] { return ready; },
      [&](const Frame& frame) {
        // Slot 0 is the commander's own corner of the cube.
        uint32_t k = index + 1;
        uint32_t square = side * side;
        uint32_t layer = k / square;
        uint32_t row = (k % square) / side;
        vector3df offset = frame.a * sidePlace(k % side, true) + frame.u * static_cast<float>(layer);
        if (row > 0)
          offset -= frame.f * (frame.s * static_cast<float>(row));
        return offset;
      });
}

void box_formation::setMemberCount(uint32_t count) {
  std::lock_guard<std::mutex> hold(placeLock);
  if (count == memberCount)
    return;
  memberCount = count;
  ready = true;
  side = ceilCubeRoot(static_cast<uint64_t>(count) + 1);
  if (side == 0)
    side = 1;
}

void box_formation::setSpacing(float scale) {
  std::lock_guard<std::mutex> hold(placeLock);
  spacing = spacingFor(factor, scale);
}

// --- Escort --------------------------------------------------------------------

void escort_formation::getMemberPosition(generic_object* member, uint32_t index, FleetAI* fleet) {
  placeInFrame(
      placeLock, member, fleet, heading, lastCommanderPosition, spacing,
      [&] { return ready && side != 0 && membersPerRing != 0; },
      [&](const Frame& frame) {
        uint32_t ringNumber = index / membersPerRing;
        uint32_t ring = ringNumber % side + 1;
        uint32_t layer = (ringNumber / side) % side;
        double angle = static_cast<double>((index % membersPerRing) * angleStep) * kDegreesToRadians;
        double radius = static_cast<double>(ring) * ringStep;
        // The rings lie in the horizontal plane whatever the heading; only the
        // layers use the spacing, alternately above and below.
        vector3df offset = vector3df(static_cast<float>(frame.f.X - radius * std::sin(angle)), frame.f.Y,
                                     static_cast<float>(frame.f.Z + radius * std::cos(angle)));
        float lift = frame.s * std::ceil(static_cast<float>(layer) * 0.5f);
        offset.Y += (layer % 2) != 0 ? -lift : lift;
        return offset;
      });
}

void escort_formation::setMemberCount(uint32_t count) {
  std::lock_guard<std::mutex> hold(placeLock);
  if (count == memberCount)
    return;
  memberCount = count;
  ready = true;
  angleStep = kEscortAngleStep;
  side = static_cast<uint32_t>(std::ceil(static_cast<double>(count) / kEscortMembersPerSide));
  membersPerRing = kEscortRingMembers;
  if (side == 1) {
    // One ring: the members share the full circle.
    membersPerRing = count;
    angleStep = static_cast<uint32_t>(std::ceil(360.0 / static_cast<double>(count)));
  }
  side = static_cast<uint32_t>(std::ceil(std::sqrt(static_cast<double>(side))));
}

void escort_formation::setSpacing(float scale) {
  std::lock_guard<std::mutex> hold(placeLock);
  spacing = spacingFor(factor, scale);
}

// --- Wedge ---------------------------------------------------------------------

void wedge_formation::getMemberPosition(generic_object* member, uint32_t index, FleetAI* fleet) {
  placeInFrame(
      placeLock, member, fleet, heading, lastCommanderPosition, spacing, [&] { return true; },
      [&](const Frame& frame) {
        if (index == 0) {
          rowWidth = kWedgeFirstRowWidth;
          row = 1;
          placeInRow = 0;
        } else if (++placeInRow >= rowWidth * rowWidth) {
          ++row;
          rowWidth += 2;
          placeInRow = 0;
        }
        uint32_t q = placeInRow / rowWidth;
        uint32_t r = placeInRow % rowWidth;
        vector3df offset =
            frame.a * sidePlace(r, true) + frame.u * sidePlace(q, true) - frame.f * (frame.s * static_cast<float>(row));
        return offset;
      });
}

void wedge_formation::setSpacing(float scale) {
  std::lock_guard<std::mutex> hold(placeLock);
  spacing = spacingFor(factor, scale);
}

// --- Factory -------------------------------------------------------------------

fleet_formation* createFormation(int type) {
  switch (type) {
    case FT_Box:
      return new box_formation();
    case FT_Escort:
      return new escort_formation();
    case FT_Wedge:
      return new wedge_formation();
    default:
      return new wall_formation();
  }
}
