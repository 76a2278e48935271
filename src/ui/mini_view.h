// The mini system view: one star system as a small flat map in a GUI
// element: its star, the planets with their orbits, ships, stations and
// other objects, seen from above (x across, z down) or from the side (x
// across, y down). The player selects in it (click, Shift-click, a box
// dragged over empty space), opens the context action menu on an object,
// sends the selection to a point of the map with a right click on empty
// space, and centres the strategic camera on an object with a middle click
// (or Control and a left click).
//
// Scripts call `update` regularly: it rebuilds the items from the system
// under the system's lock. Drawing only paints what the last update built,
// moved along when the element moved since.
//
// The view shows nothing while the local player's empire cannot see the
// system, while the system's radius is not above 0, or without a system.
// Objects without an owner show in a neutral grey.
#pragma once

#include <IGUIElement.h>
#include <IGUIEnvironment.h>
#include <SColor.h>
#include <irrString.h>

#include <array>
#include <cstdint>
#include <vector>

#include "universe/objects/held_pointer.h"

class generic_object;
class solarSystem;

enum MiniViewMode : int32_t {
  MVM_Top = 0,   // from above: x across, z down
  MVM_Side = 1,  // from the side: x across, y down
};

// One shown object, rebuilt by every update.
struct MiniItem {
  irr::core::rect<irr::s32> area;  // screen pixels
  int32_t kind = 0;                // as generic_object::getType
  float radius = 0.0f;
  irr::video::SColor colour;
  irr::core::stringw name;  // only while names are shown
  bool selected = false;
  bool hovered = false;
};

class MiniView : public irr::gui::IGUIElement {
 public:
  static constexpr int kOrbitPoints = 32;
  using OrbitRing = std::array<irr::core::position2d<irr::s32>, kOrbitPoints>;

  static constexpr irr::u32 kUnownedColour = 0xFFA0A0A0;
  static constexpr irr::u32 kOrbitColour = 0x32FFFFFF;
  static constexpr irr::u32 kOtherColour = 0x48FFB300;
  static constexpr irr::u32 kBoxColour = 0xFF00FF00;
  static constexpr float kMoveSpacing = 5.0f;

  // A null parent means the environment's root element.
  MiniView(irr::gui::IGUIEnvironment* environment, const irr::core::rect<irr::s32>& rectangle,
           irr::gui::IGUIElement* parent, irr::s32 id);
  ~MiniView() override;

  bool OnEvent(const irr::SEvent& event) override;
  void draw() override;

  // Rebuilds the items from the system (see the file's head); nothing
  // without a system or while the element is hidden. A released box
  // selects the ships and stations it holds here.
  void update();
  // Holds `system` (null for none) instead of the one shown; the orbits are
  // forgotten until the next update.
  void setSystem(solarSystem* system);
  solarSystem* getSystem() const { return system_.get(); }

  // Read and written by scripts.
  bool display_planets = true;
  bool display_units = true;
  bool display_smallunits = true;  // ships and stations of radius below 1
  bool display_oddities = true;
  bool display_names = true;
  bool display_orbits = true;
  MiniViewMode mode = MVM_Top;

  // What the last update built.
  const std::vector<MiniItem>& items() const { return items_; }
  const std::vector<OrbitRing>& orbits() const { return rings_; }
  bool systemVisible() const { return visible_; }
  generic_object* hoveredObject() const { return hovered_.get(); }
  // 0 none, 1 dragging a box, 2 released (selected by the next update).
  int32_t boxState() const { return boxState_; }

 private:
  // Forgets what was shown: no items, no orbits, nothing hovered.
  void clearShown();
  // Hands the strategic view's hover tracking nothing, when it was handed
  // an object of ours.
  void endHover();
  void leftUp();
  bool rightUp();
  void giveMoveOrder();
  void focusCamera(generic_object* object);

  heldPointer<solarSystem> system_;
  heldPointer<generic_object> hovered_;
  std::vector<MiniItem> items_;
  std::vector<OrbitRing> rings_;
  bool hoverActive_ = false;
  bool visible_ = false;
  irr::core::position2d<irr::s32> cursor_{0, 0};
  irr::core::position2d<irr::s32> boxStart_{0, 0};
  irr::core::rect<irr::s32> box_{0, 0, 0, 0};
  irr::core::position2d<irr::s32> appliedShift_{0, 0};
  irr::core::rect<irr::s32> updateOrigin_{0, 0, 0, 0};
  int32_t boxState_ = 0;
  float systemRadius_ = 0.0f;
  float largestOrbit_ = 0.0f;
};
