// A ship's hold on its design: the layout it was built from (a counted
// reference) and one record per placed sub-system with that sub-system's
// live state on the ship (`SysRef`: state, HP, two free values, the
// effectors' run-time states).
//
// Its part of the ship's save record (little-endian):
//   the layout owner's empire ID      u8
//   the layout's name                 string (the save stream's string form)
//   per placed sub-system             state (u32), HP, val1, val2 (f32)
//     when its instance carries       u16 count, then count x (val1 f32,
//     effectors                         val2 f32, word u32)
#pragma once

#include <cstdint>

#include "core/save_stream.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"

class generic_object;

constexpr SaveFileError kSaveErrorBadHullReference{5, "Bad Ship Hull reference"};
constexpr SaveFileError kSaveErrorBadHull{5, "Bad Ship Hull"};
constexpr SaveFileError kSaveErrorEffectorDataMismatch{5, "Effector data mismatch"};

class hullRef {
 public:
  hullRef() = default;
  explicit hullRef(hull_list* newLayout) { assign(newLayout); }
  ~hullRef() { release(); }
  hullRef(const hullRef&) = delete;
  hullRef& operator=(const hullRef&) = delete;

  // Frees the records, takes a reference on `newLayout` and releases the old
  // one, then makes one zeroed record per placed sub-system (with effector
  // states where the instance carries effectors). Null leaves it empty.
  void assign(hull_list* newLayout);
  // Frees the records and releases the layout.
  void release();

  // The record: owner ID, name, per record state/HP/val1/val2 and effector
  // states.
  void write(SaveStream& stream) const;
  // Reads the record: the layout by name from the owner's table (the
  // default empire for an unknown ID), then the records. Throws
  // SaveFileError; the reference is then left empty.
  void read(SaveStream& stream);

  hull_list* layout = nullptr;  // counted
  SysRef* records = nullptr;    // layout->systemCount entries, owned
};

// A newly built ship: each placed sub-system's build events on `ship`, its
// HP set to the instance's "{D}", then the ship's base mass to the layout's.
void triggerHullBuilt(hullRef& hull, generic_object* ship);
