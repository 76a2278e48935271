// The script object "SubSystemFactory": evaluates a sub-system definition,
// and an optional linked one, for the active empire at chosen scales
// without building anything, and compares two such evaluations hint by
// hint. (The internal factory that build queues and hull layouts use is
// design/subsystems' SubSystemFactory; this record is the script's own.)
//
// Registered on both engines, each declaration on the server engine and
// then the client engine:
//   "SubSystemFactory@ f()"                    factory: a new record
//   add-ref and release                        counted with interlocked
//                                              operations; the last release
//                                              frees both instances, the
//                                              deltas and the planet's
//                                              reference
//   "void clearSubSystems()"                   frees both instances
//   "void prepare(Planet@+)"                   holds one reference on the
//                                              planet (null clears it)
//   "bool generateSubSystems(const subSystemDef@, const subSystemDef@)"
//   "subSystem@ get_active() const", "subSystem@ get_linked() const"
//                                              uncounted; valid until the
//                                              next generate, clear or the
//                                              last release
//   "float objectScale", "float objectSizeFactor", "float activeScale",
//   "float linkedScale"                        properties, 1.0 at first
//   "void compare(const SubSystemFactory &in, bool)"
//   "uint get_hintDeltaCount() const"
//   "string@ getHintDeltaName(uint) const"     past the end: "Out-of-bounds
//                                              index when getting HintName",
//                                              null
//   "float getHintDelta(uint) const"           past the end: "Out-of-bounds
//                                              index when getting
//                                              HintValue", 0.0
#pragma once

#include <atomic>
#include <cstdint>

#include <irrArray.h>
#include <irrString.h>

#include "core/names.h"

class SubSystemDef;
class generic_object;
class subSystem;

struct ScriptSubSystemFactory {
  ScriptSubSystemFactory() = default;
  ~ScriptSubSystemFactory();
  ScriptSubSystemFactory(const ScriptSubSystemFactory&) = delete;
  ScriptSubSystemFactory& operator=(const ScriptSubSystemFactory&) = delete;

  void addRef() { refCount.fetch_add(1); }
  void release();

  // Frees both instances.
  void clearSubSystems();
  // Keeps `planet` (one reference, given back when it is replaced).
  void prepare(generic_object* newPlanet);
  // Evaluates `main`, and `linkedDef` when given, for the active empire:
  // false, with no instances, without an active empire or a main
  // definition; false too, with the instances kept, when one of them is
  // unavailable to the empire (its availability evaluated to 0 or less).
  bool generateSubSystems(const SubSystemDef* main, const SubSystemDef* linkedDef);
  // Fills the deltas with this factory's hints minus the other's (and its
  // consumption, requirements, "HP" and "Mass" the other way round).
  void compare(const ScriptSubSystemFactory& other, bool withLinked);

  std::atomic<int32_t> refCount{1};
  float objectScale = 1.0f;
  float objectSizeFactor = 1.0f;
  generic_object* planet = nullptr;  // one reference held
  subSystem* active = nullptr;       // owned
  subSystem* linked = nullptr;       // owned
  float activeScale = 1.0f;
  float linkedScale = 1.0f;
  NamedVar<float>::Registry hintDeltas;  // sorted by name
};

// The type and its members (the second call of registerSubSystemBindings).
void registerScriptSubSystemFactory();
