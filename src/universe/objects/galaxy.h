// The galaxy: the root of the object tree. It contains the star systems and
// whatever travels between them, keeps the two spatial trees over the
// systems, and runs the simulation in parallel: its systems are shared among
// the galaxy processing threads (system_threads.h), while its own tick,
// run by the frame loop's galaxy update, moves the objects in open space.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include <irrArray.h>

#include "universe/objects/solar_system.h"
#include "universe/spatial/oct_tree.h"
#include "universe/spatial/quad_tree.h"

struct ThreadInfo;
struct System_Desc;

// Initial size of both spatial trees.
constexpr float kGalaxyTreeSize = 50000.0f;

class objGalaxy : public solarSystem {
 public:
  // An empty galaxy, named "Galaxy".
  objGalaxy();
  // A saved galaxy: a system record, then the galaxy's own fields as for a
  // new one (finishObjectLoad completes it).
  objGalaxy(SaveStream& stream, generic_object* container);

  int getType() const override { return OT_Galaxy; }
  // The galaxy is the frame of reference: points stay as they are.
  vector3df& toAbsolutePosition(vector3df& out, const vector3df& point) const override;
  // The galaxy never has a container.
  void setContainer(generic_object*) override {}
  void addChild(generic_object* child) override;
  void removeChild(generic_object* child) override;
  // Moves a child in open space into the system it has reached.
  void checkChildLeaving(generic_object* child) override;
  void tick(float seconds) override;
  void destroyNow(bool quiet) override;

  // Makes a star system from a map script's descriptor (makeSystem) and
  // hands it to a galaxy processing thread, if any. The caller gets no
  // reference of its own (null when no system was made).
  solarSystem* createSystem(const System_Desc& desc);

  solarSystem* getSystem(unsigned index) const { return systems[index]; }
  unsigned getSystemCount() const { return systems.size(); }

  // Ranks the systems by `weight` (systems weighing -1e37 or less are left
  // out): at most `count` pairs, heaviest first, ties in system order.
  using WeightFunction = float (*)(solarSystem* system, void* argument);
  std::vector<std::pair<solarSystem*, float>> findBestSystems(WeightFunction weight, void* argument,
                                                              unsigned count);

  irr::core::array<solarSystem*> systems;
  irr::core::array<ThreadInfo*> threads;
  OctTree<generic_object> objectTree;
  quad_tree<generic_object*, float> systemTree;

 protected:
  ~objGalaxy() override;

 private:
  // Where each system was put into the trees, so that it is taken out of
  // them as it went in, wherever it is now.
  struct TreeEntry {
    quad_tree<generic_object*, float>::item plane;
    bool inPlane = false;
    OctTree<generic_object>::item space;
    bool inSpace = false;
  };
  std::map<const generic_object*, TreeEntry> treeEntries_;

  friend void createEnvironment(objGalaxy* owner, bool separate);
  void insertIntoPlane(generic_object* system);
  void removeFromPlane(generic_object* system);
  void insertIntoSpace(generic_object* system);
};

// The galaxy of the session; null while none exists.
extern objGalaxy* galaxy;

// Ends the session's galaxy, if any: destroys it (which gives up its first
// reference), clears `galaxy` and drops the session's own reference.
void destroySessionGalaxy();

// The frame loop's galaxy update: ticks the session's galaxy, if any.
void tickSessionGalaxy(float step);

// Prepares a made or loaded galaxy: fills the spatial trees (pushing
// overlapping systems apart with `separate`), sets the galaxy's radius and
// calls the map script's "void createEnvironment(vector, vector)" with the
// box around the systems.
void createEnvironment(objGalaxy* owner, bool separate);
