#include "universe/objects/oddity.h"

#include "core/save_stream.h"
#include "empire/empire.h"

namespace {

// First save version whose oddity records hold the type.
constexpr int32_t kOddityTypeVersion = 28;

const irr::core::stringw kCometName = L"comet";

}  // namespace

objOddity::objOddity(MoveHandler* oddityMover, uint32_t type)
    : generic_object(getEmpireByID(kSpaceEmpireID), nullptr, oddityMover), oddityType(type) {
  owner->registerObject(this);
}

objOddity::objOddity(SaveStream& stream, generic_object* system) : generic_object(stream, system) {
  loadOwnFields(stream);
}

void objOddity::writeOwnFields(SaveStream& stream) { stream.writeU32(oddityType); }

void objOddity::readOwnFields(SaveStream& stream) {
  if (stream.version() >= kOddityTypeVersion)
    oddityType = stream.readU32();
  else
    oddityType = name == kCometName ? ODT_Comet : ODT_Asteroid;  // "asteroid" and any other name
}
