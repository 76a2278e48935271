#include "design/build/build_rules.h"

#include <limits>
#include <memory>

#include "universe/objects/game_object.h"

namespace {

// A planet is a game object (its class derives from generic_object alone, so
// both share one address); the rules here need only its construction queue.
generic_object* planetObject(objHabitation* planet) { return reinterpret_cast<generic_object*>(planet); }

// The rule of `tag`, its fields read from the stream after the tag.
build_priorities* readRule(SaveStream& /*stream*/, uint32_t tag) {
  switch (tag) {
    case BRT_WaitForEmptyQueue:
      return new bp_wait_for_empty_queue();
    default:
      throw kSaveErrorInvalidBuildRuleTag;
  }
}

}  // namespace

bool bp_wait_for_empty_queue::apply(objHabitation* planet) {
  if (planet == nullptr)
    return false;
  return planetObject(planet)->buildQueue.size() != 0;
}

void bp_wait_for_empty_queue::write(SaveStream& stream) const { stream.writeU32(BRT_WaitForEmptyQueue); }

build_list::~build_list() {
  for (irr::u32 i = 0; i < rules.size(); ++i)
    delete rules[i];
}

bool build_list::apply(objHabitation* planet) {
  for (irr::u32 i = 0; i < rules.size(); ++i)
    if (rules[i]->apply(planet))
      return true;
  return false;
}

void build_list::write(SaveStream& stream) const {
  if (rules.size() > std::numeric_limits<uint16_t>::max())
    throw kSaveErrorTooManyEntries;
  stream.writeU16(static_cast<uint16_t>(rules.size()));
  for (irr::u32 i = 0; i < rules.size(); ++i)
    rules[i]->write(stream);
}

build_list* build_list::load(SaveStream& stream) {
  std::unique_ptr<build_list> list(new build_list());
  const uint16_t count = stream.readU16();
  for (uint16_t i = 0; i < count; ++i) {
    const uint32_t tag = stream.readU32();
    std::unique_ptr<build_priorities> rule(readRule(stream, tag));
    list->rules.push_back(rule.get());
    rule.release();
  }
  return list.release();
}
