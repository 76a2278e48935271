#include "ui/mini_view.h"

#include <ITexture.h>
#include <SMaterial.h>

#include <algorithm>
#include <cmath>

#include "app/base/event_handler.h"
#include "empire/empire.h"
#include "gfx/game_camera.h"
#include "gfx/gfx_resources.h"
#include "gfx/graphics_object.h"
#include "gui/script_drawing.h"
#include "platform/engine/engine_textures.h"
#include "ui/actionmenu/action_list.h"
#include "ui/move_to_point.h"
#include "ui/object_picking.h"
#include "ui/selection.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_states.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"

using irr::s32;
using irr::core::position2d;
using irr::core::rect;
using irr::core::vector3df;
using irr::video::SColor;

namespace {

const irr::core::stringw kStarTemperature = L"Temp K";
constexpr float kTwoPi = 6.28318530718f;

// A screen coordinate from a float, cut toward zero; far-away objects stop
// at +-2^29 so that icon sizes and shifts added later stay in 32 bits, and
// a value that is not a number lands on 0.
s32 toPixel(float value) {
  constexpr float kLimit = 536870912.0f;
  if (!(value == value))
    return 0;
  return static_cast<s32>(std::max(-kLimit, std::min(kLimit, value)));
}

rect<s32> around(s32 x, s32 y, s32 half) { return rect<s32>(x - half, y - half, x + half, y + half); }

SColor ownerColour(const generic_object* object) {
  const empire* owner = object->getOwner();
  return SColor(owner != nullptr ? owner->color : MiniView::kUnownedColour);
}

// The colour a star shines in: after its temperature, white without one.
SColor starColour(generic_object* star) {
  const State* temperature = findObjectState(star, kStarTemperature);
  return temperature != nullptr ? getBlackBodyColor(temperature->value.val) : SColor(0xFFFFFFFF);
}

// The orbit a planet follows while it circles a body, or null.
const OrbitOtherMover* activeOrbit(const generic_object* object) {
  if (const MobileMover* mobile = MobileMover::of(object))
    return mobile->parkOrbitInUse() ? mobile->parkOrbit : nullptr;
  if (const FakeMobileMover* mirror = FakeMobileMover::of(object))
    return mirror->parkOrbit != nullptr && mirror->parkOrbit->active ? mirror->parkOrbit.get() : nullptr;
  return nullptr;
}

irr::video::ITexture* materialTexture(const wchar_t* name) {
  irr::video::SMaterial* material = getMaterial(name);
  return material != nullptr ? material->getTexture(0) : nullptr;
}

rect<s32> normalised(const position2d<s32>& a, const position2d<s32>& b) {
  rect<s32> box(a, b);
  box.repair();
  return box;
}

}  // namespace

MiniView::MiniView(irr::gui::IGUIEnvironment* environment, const rect<s32>& rectangle, irr::gui::IGUIElement* parent,
                   s32 id)
    : IGUIElement(irr::gui::EGUIET_ELEMENT, environment,
                  parent != nullptr ? parent : environment->getRootGUIElement(), id, rectangle) {}

MiniView::~MiniView() = default;

void MiniView::setSystem(solarSystem* system) {
  system_ = system;
  systemRadius_ = 0.0f;
  largestOrbit_ = 0.0f;
  rings_.clear();
}

void MiniView::endHover() {
  if (!hoverActive_)
    return;
  hoverActive_ = false;
  setHoveredObject(nullptr);
}

void MiniView::clearShown() {
  items_.clear();
  rings_.clear();
  hovered_ = nullptr;
  endHover();
  if (boxState_ == 2)
    boxState_ = 0;
}

void MiniView::update() {
  solarSystem* system = system_.get();
  if (system == nullptr || !isVisible())
    return;
  lockSolarSystem(system);

  const empire* player = activeEmpire.load();
  visible_ = player != nullptr && system->isSystemVisibleTo(player);
  systemRadius_ = system->radius;
  const s32 width = RelativeRect.getWidth();
  const s32 height = RelativeRect.getHeight();
  if (!visible_ || !(systemRadius_ > 0.0f) || !std::isfinite(systemRadius_)) {
    // Nothing the player may see, or no scale to show it at.
    unlockSolarSystem(system);
    clearShown();
    return;
  }

  updateOrigin_ = AbsoluteRect;
  appliedShift_ = position2d<s32>(0, 0);
  const float cx = static_cast<float>(AbsoluteRect.UpperLeftCorner.X) + static_cast<float>(width / 2);
  const float cy = static_cast<float>(AbsoluteRect.UpperLeftCorner.Y) + static_cast<float>(height / 2);
  const float scaleX = static_cast<float>(width) / systemRadius_ * 0.5f;
  const float scaleY = static_cast<float>(height) / systemRadius_ * 0.5f;
  largestOrbit_ = 0.0f;

  hovered_ = nullptr;
  if (boxState_ == 2) {
    box_ = normalised(boxStart_, cursor_);
    if (!shiftKeyDown)
      setSelection(nullptr);
  }

  size_t used = 0;
  size_t ringsUsed = 0;
  for (irr::u32 i = 0; i < system->children.size(); ++i) {
    generic_object* object = system->children[i].get();
    if (object == nullptr || !object->isValid())
      continue;
    const int kind = object->getType();
    if ((kind == OT_Planet && !display_planets) || (kind == OT_Oddity && !display_oddities))
      continue;
    if (kind == OT_Hulled && (!display_units || (object->radius < 1.0f && !display_smallunits)))
      continue;

    if (used == items_.size())
      items_.emplace_back();
    MiniItem& item = items_[used++];
    item = MiniItem{};
    item.kind = kind;
    item.radius = object->radius;
    graphicsObject* graphics = object->graphics;
    item.selected = graphics != nullptr && graphics->selected.load();

    const float across = object->position.X;
    const float down = mode == MVM_Side ? object->position.Y : object->position.Z;
    const s32 sx = toPixel(across * scaleX + cx);
    const s32 sy = toPixel(down * scaleY + cy);

    switch (kind) {
      case OT_Planet: {
        item.area = around(sx, sy, 4);
        item.colour = ownerColour(object);
        if (display_names)
          item.name = object->name;
        if (const OrbitOtherMover* orbit = activeOrbit(object)) {
          if (ringsUsed == rings_.size())
            rings_.emplace_back();
          OrbitRing& ring = rings_[ringsUsed++];
          // The circled body's place, when it shares the planet's system.
          vector3df centre = orbit->centreOffset;
          if (orbit->orbited != nullptr && orbit->orbited->container.load() == object->container.load())
            centre += orbit->orbited->position;
          const float ox = centre.X * scaleX;
          const float oy = centre.Z * scaleY;
          for (int p = 0; p < kOrbitPoints; ++p) {
            const vector3df offset = orbit->orbitOffset(kTwoPi * static_cast<float>(p) / kOrbitPoints);
            ring[p].X = toPixel(std::trunc(offset.X) * scaleX + cx + ox);
            ring[p].Y = toPixel(std::trunc(offset.Z) * scaleY + cy + oy);
          }
          largestOrbit_ = std::max(largestOrbit_, orbit->orbitRadius * scaleX);
        }
        break;
      }
      case OT_Star: {
        const s32 half = toPixel(std::max(12.0f, object->radius * scaleX * 0.125f * 24.0f));
        item.area = around(sx, sy, half);
        item.colour = starColour(object);
        break;
      }
      case OT_Hulled: {
        const s32 half = toPixel(std::max(1.0f, object->radius * scaleX));
        item.area = around(sx, sy, half);
        item.colour = ownerColour(object);
        if (boxState_ == 2 && box_.isPointInside(item.area.UpperLeftCorner))
          addToSelection(graphics);
        break;
      }
      default:
        item.area = rect<s32>(sx, sy, sx + 1, sy + 1);
        item.colour = SColor(kOtherColour);
        break;
    }

    if (hovered_.get() == nullptr) {
      const rect<s32> hitArea = kind == OT_Star ? around(sx, sy, 8) : item.area;
      if (hitArea.isPointInside(cursor_)) {
        item.hovered = true;
        hovered_ = object;
        if (!hoverActive_) {
          hoverActive_ = true;
          setHoveredObject(graphics);
        }
      }
    }
  }
  if (hovered_.get() == nullptr)
    endHover();

  unlockSolarSystem(system);
  items_.resize(used);
  rings_.resize(ringsUsed);
  if (boxState_ == 2)
    boxState_ = 0;
}

void MiniView::draw() {
  if (!IsVisible)
    return;
  if (system_.get() != nullptr && systemRadius_ > 0.0f && visible_) {
    DrawTarget& target = currentDrawTarget();
    const rect<s32>* clip = &AbsoluteClippingRect;
    irr::video::ITexture* planetTexture = materialTexture(L"miniview_planet");
    irr::video::ITexture* starTexture = materialTexture(L"minimap_star");
    const auto wholeOf = [](irr::video::ITexture* texture) {
      const irr::core::dimension2du size = plat::textureSize(texture);
      return rect<s32>(0, 0, static_cast<s32>(size.Width), static_cast<s32>(size.Height));
    };

    // The element moved since the update: everything moves with it.
    const position2d<s32> shift =
        (AbsoluteRect.UpperLeftCorner - updateOrigin_.UpperLeftCorner) - appliedShift_;
    if (shift.X != 0 || shift.Y != 0) {
      appliedShift_ += shift;
      for (MiniItem& item : items_)
        item.area += shift;
      for (OrbitRing& ring : rings_)
        for (position2d<s32>& point : ring)
          point += shift;
    }

    if (display_orbits) {
      const SColor orbitColour(kOrbitColour);
      if (mode == MVM_Top) {
        for (const OrbitRing& ring : rings_)
          for (int p = 0; p < kOrbitPoints; ++p)
            target.line(ring[p], ring[(p + 1) % kOrbitPoints], orbitColour);
      } else {
        const s32 cx = AbsoluteRect.UpperLeftCorner.X + RelativeRect.getWidth() / 2;
        const s32 cy = AbsoluteRect.UpperLeftCorner.Y + RelativeRect.getHeight() / 2;
        const s32 reach = toPixel(largestOrbit_);
        target.line(position2d<s32>(cx - reach, cy), position2d<s32>(cx + reach, cy), orbitColour);
      }
    }

    for (MiniItem& item : items_) {
      const SColor tint[4] = {item.colour, item.colour, item.colour, item.colour};
      switch (item.kind) {
        case OT_Planet: {
          rect<s32>& area = item.area;
          if (!item.hovered && !item.selected && !area.isPointInside(cursor_)) {
            if (area.getWidth() > 8)
              area = rect<s32>(area.UpperLeftCorner.X + 2, area.UpperLeftCorner.Y + 2, area.LowerRightCorner.X - 2,
                               area.LowerRightCorner.Y - 2);
          } else if (area.getWidth() < 9) {
            area = rect<s32>(area.UpperLeftCorner.X - 2, area.UpperLeftCorner.Y - 2, area.LowerRightCorner.X + 2,
                             area.LowerRightCorner.Y + 2);
          }
          if (display_names && !item.name.empty()) {
            const irr::core::dimension2di size = target.textDimension(item.name);
            const s32 middle = (area.UpperLeftCorner.X + area.LowerRightCorner.X) / 2;
            const s32 bottom = area.UpperLeftCorner.Y - 2;
            target.text(item.name,
                        rect<s32>(middle - size.Width / 2, bottom - size.Height, middle - size.Width / 2 + size.Width,
                                  bottom),
                        item.colour, false, false, clip);
          }
          target.scaledImage(planetTexture, area, wholeOf(planetTexture), clip, tint, true);
          break;
        }
        case OT_Star:
          target.scaledImage(starTexture, item.area, wholeOf(starTexture), clip, tint, true);
          break;
        case OT_Hulled:
          target.cornerRect(item.area, item.colour, item.colour, item.colour, item.colour, clip);
          break;
        default: {
          const position2d<s32>& at = item.area.UpperLeftCorner;
          const SColor other(kOtherColour);
          target.cornerRect(rect<s32>(at.X, at.Y, at.X + 1, at.Y + 1), other, other, other, other, clip);
          break;
        }
      }
    }

    if (boxState_ == 1)
      target.rectOutline(normalised(boxStart_, cursor_), SColor(kBoxColour));
  }
  IGUIElement::draw();
}

// --- Input ----------------------------------------------------------------------

void MiniView::focusCamera(generic_object* object) {
  if (object != nullptr && object->graphics != nullptr)
    gameCamera.setFocus(object->graphics, true);
}

void MiniView::leftUp() {
  // Held for the whole step: a script run from here may update the view.
  const heldPointer<generic_object> object = hovered_;
  if (object.get() == nullptr)
    return;
  if (controlKeyDown) {
    focusCamera(object);
    return;
  }
  graphicsObject* graphics = object->graphics;
  if (!object->isValid() || graphics == nullptr || !graphics->selected.load()) {
    if (shiftKeyDown)
      addToSelection(graphics);
    else
      setSelection(graphics);
    return;
  }
  // A click on what is selected already: the scripts' double click, or
  // the camera when they have none.
  if (!callViewScriptOn(VS_OnDoubleClick, object))
    focusCamera(object);
}

void MiniView::giveMoveOrder() {
  const s32 width = AbsoluteRect.getWidth();
  const s32 height = AbsoluteRect.getHeight();
  solarSystem* system = system_.get();
  // No map to read a point from.
  if (system == nullptr || width <= 0 || height <= 0 || !(systemRadius_ > 0.0f))
    return;
  const float r = systemRadius_;
  const float px = static_cast<float>(cursor_.X - AbsoluteRect.UpperLeftCorner.X) / static_cast<float>(width) * 2.0f * r - r;
  const float pz =
      static_cast<float>(cursor_.Y - AbsoluteRect.UpperLeftCorner.Y) / static_cast<float>(height) * 2.0f * r - r;
  vector3df target;
  system->toAbsolutePosition(target, vector3df(px, 0.0f, pz));

  vector3df from;
  {
    SelectionGuard guard;
    graphicsObject* first = selectedObjectAt(0);
    if (first == nullptr || first->getOwner() == nullptr)
      return;
    from = first->getOwner()->getPosition();
  }
  // The orders go out when the action ends.
  GiveMoveToPointOrder order(target, target - from, kMoveSpacing);
  forEachSelected(order);
}

bool MiniView::rightUp() {
  if (generic_object* clicked = hovered_.get()) {
    const heldPointer<generic_object> target = clicked;
    heldPointer<generic_object> acting;
    {
      SelectionGuard guard;
      graphicsObject* first = selectedObjectAt(0);
      acting = first != nullptr ? first->getOwner() : nullptr;
    }
    if (acting.get() == nullptr)
      acting = clicked;
    showContextActionMenu(acting, target);
    return true;
  }
  {
    SelectionGuard guard;
    graphicsObject* first = selectedObjectAt(0);
    if (first == nullptr || first->getOwner() == nullptr)
      return false;
  }
  giveMoveOrder();
  return true;
}

bool MiniView::OnEvent(const irr::SEvent& event) {
  if (event.EventType == irr::EET_MOUSE_INPUT_EVENT) {
    switch (event.MouseInput.Event) {
      case irr::EMIE_LMOUSE_PRESSED_DOWN:
        if (controlKeyDown || hovered_.get() != nullptr)
          break;
        if (boxState_ != 1)
          boxStart_ = cursor_;
        boxState_ = 1;
        return true;
      case irr::EMIE_LMOUSE_LEFT_UP:
        if (boxState_ == 1) {
          boxState_ = 2;
          update();
          return true;
        }
        leftUp();
        return true;
      case irr::EMIE_RMOUSE_LEFT_UP:
        if (rightUp())
          return true;
        break;
      case irr::EMIE_MMOUSE_LEFT_UP:
        if (hovered_.get() != nullptr)
          focusCamera(hovered_.get());
        else
          focusCamera(system_.get());
        return true;
      case irr::EMIE_MOUSE_MOVED:
        cursor_ = position2d<s32>(event.MouseInput.X, event.MouseInput.Y);
        return true;
      default:
        break;
    }
  }
  return Parent != nullptr && Parent->OnEvent(event);
}
