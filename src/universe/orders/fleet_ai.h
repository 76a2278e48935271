// A fleet: a group of ships led by a commander, known to its owner empire
// by name. The fleet is shared by reference count; the owner empire holds
// one reference for as long as it lists the fleet.
#pragma once

#include <atomic>
#include <cstdint>

#include <irrString.h>

class FleetAI {
 public:
  FleetAI() = default;
  FleetAI(const FleetAI&) = delete;
  FleetAI& operator=(const FleetAI&) = delete;
  virtual ~FleetAI() = default;

  void grab() { refCount.fetch_add(1); }
  // Deletes the fleet on its last reference; true when it did.
  bool drop() {
    if (refCount.fetch_sub(1) != 1)
      return false;
    delete this;
    return true;
  }

  std::atomic<uint32_t> refCount{1};
  irr::core::stringw name;  // empty until the owner empire names it
};
