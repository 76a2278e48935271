// Construction requests from players (message 117): the server's part, once
// the request has been read and its sender checked. The reader also refuses
// what a local order could not queue (locked definitions and designs,
// "NoManualBuild"); what reaches this operation is queued as asked.
#pragma once

#include <irrString.h>

#include <cstdint>

class empire;
class generic_object;

// The request's sub-kind byte.
enum BuildRequestKind : uint8_t {
  BRK_Structure = 1,  // a structure of a sub-system definition (planets only)
  BRK_Rebuild = 2,    // the rebuild of one of the planet's structures
  BRK_Ship = 4,       // ships of a hull layout
};

// No request queues more items than this at once.
constexpr uint32_t kMaxBuildRequestCount = 512;
// Requests fill a build queue up to this many items, and no further.
constexpr uint32_t kMaxRequestedQueueLength = 4096;

struct BuildRequest {
  uint8_t subKind = 0;
  uint32_t definitionId = 0;      // BRK_Structure: the sub-system definition's ID
  uint32_t structureIndex = 0;    // BRK_Rebuild: index among the planet's structures
  irr::core::stringw layoutName;  // BRK_Ship: the sender's layout
  bool hasCount = false;          // without a count, one item
  uint32_t count = 1;             // capped at kMaxBuildRequestCount
};

// Appends the items `request` asks for to `object`'s build queue and returns
// how many it appended. Ships are of `sender`'s newest revision of the
// layout (updateHullByName with threshold -1.0). Nothing is queued for an
// unknown definition or layout, a structure index out of range, a
// structure or rebuild on anything but a planet, or an item that cannot be
// made (InvalidConstruct). Call with the object's container locked.
unsigned queueBuildRequest(generic_object* object, empire* sender, const BuildRequest& request);
