#include "gfx/graphics_object.h"

#include <irrlicht.h>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "audio/sound.h"
#include "core/locks.h"
#include "core/log.h"
#include "gfx/game_camera.h"
#include "gfx/graphic_extension.h"
#include "gfx/object_render_state.h"
#include "universe/objects/game_object.h"

using irr::core::line3df;
using irr::core::vector3df;

Mutex* const renderLock = createMutex();

std::map<generic_object*, graphicsObject*> renderGroupMap;

namespace {

// Taken by setParent unless the graphics run on one thread only.
Mutex* const sceneParentLock = createMutex();

// An object is drawn within about 2,646 radii of the camera.
constexpr float kVisibleRadiiSquared = 7000000.0f;

}  // namespace

graphicsObject* renderGroupMapAt(generic_object* object) {
  if (object == nullptr)
    return nullptr;
  return renderGroupMap[object];
}

graphicsObject::graphicsObject(generic_object* ownerObject, irr::scene::ISceneNode* sceneNode)
    : owner(ownerObject), node(sceneNode) {
  if (node != nullptr)
    node->grab();
  if (owner != nullptr)
    owner->grab();

  if (node != nullptr && shadersEnabled) {
    auto* access = new CObjectRenderStateAccess(owner);
    if (auto* carrier = dynamic_cast<irr::scene::IUserSettingsNode*>(node))
      carrier->setUserSettings(access);
    access->drop();
  }

  if (owner != nullptr) {
    auto found = renderGroupMap.find(owner->container.load());
    if (found != renderGroupMap.end() && found->second != nullptr && found->second != this) {
      graphicsObject* group = found->second;
      parent = group;
      if (node != nullptr && group->node != nullptr)
        node->setParent(group->node);
      group->addChild(this);
    }
  }
}

graphicsObject::~graphicsObject() {
  if (owner != nullptr) {
    // A render group leaves the map with its game object.
    auto entry = renderGroupMap.find(owner);
    if (entry != renderGroupMap.end() && entry->second == this)
      renderGroupMap.erase(entry);
    owner->drop();
  }
  if (node != nullptr) {
    MutexGuard guard(*renderLock);
    node->remove();
    node->drop();
    node = nullptr;
  }
  sounds.clear();
  children.clear();
  parent = nullptr;
  // Extensions still listed (an object destroyed without `remove`) go with it.
  for (irr::u32 i = 0; i < extensions.size(); ++i)
    delete extensions[i];
  extensions.clear();
}

bool graphicsObject::drop() {
  // Only the thread that takes the count from one to zero goes on.
  if (refCount.fetch_sub(1) != 1)
    return false;
  if (debugInfo)
    logInfo("Deleting graphics object for '%ls'\n", owner != nullptr ? owner->name.c_str() : L"");
  delete this;
  return true;
}

double graphicsObject::getTime() { return gameTime.load(); }

void graphicsObject::remove(bool quiet) {
  (void)quiet;
  if (attached.exchange(false) == false)
    return;
  MutexGuard guard(*renderLock);
  while (children.size() > 0) {
    // The child leaves this list as it moves under the scene root.
    graphicsObject* child = children.getLast().get();
    const irr::u32 before = children.size();
    child->setParent(nullptr);
    if (children.size() == before)
      children.erase(before - 1);
  }
  setParent(nullptr);

  for (irr::u32 i = 0; i < sounds.size(); ++i)
    sounds[i]->stop();
  sounds.clear();

  for (irr::u32 i = 0; i < extensions.size(); ++i)
    delete extensions[i];
  extensions.clear();

  if (node != nullptr) {
    node->removeAll();
    node->setVisible(false);
  }
  // The creator's reference; `this` may be gone after it.
  drop();
}

void graphicsObject::setHidden(bool showIt, uint8_t bits) {
  const bool wasHidden = hideMask != 0;
  if (showIt)
    hideMask = static_cast<uint8_t>(hideMask & ~bits);
  else
    hideMask = static_cast<uint8_t>(hideMask | bits);
  const bool hidden = hideMask != 0;
  if (hidden == wasHidden)
    return;
  if (node != nullptr)
    node->setVisible(!hidden);
  for (irr::u32 i = 0; i < extensions.size(); ++i)
    extensions[i]->setVisible(!hidden);
}

void graphicsObject::setStateByte(uint8_t value) { stateByte = value; }

uint8_t graphicsObject::getStateByte() { return stateByte; }

bool graphicsObject::update() {
  bool moved = false;
  if (owner != nullptr) {
    if (!owner->hasFlag(FLAG_VALID)) {
      // `this` may be gone once removed.
      remove(owner->hasFlag(FLAG_QUIET_DESTROY));
      return true;
    }
    generic_object* container = owner->container.load();
    if (parent.get() != nullptr && container != parent->owner) {
      setParent(renderGroupMapAt(container));
      moved = true;
    }
    if (node != nullptr) {
      node->setPosition(owner->getPosition());
      node->updateAbsolutePosition();
      const vector3df at = node->getAbsolutePosition();
      const vector3df& camera = gameCamera.lastPosition;
      const float dx = at.X - camera.X;
      const float dy = at.Y - camera.Y;
      const float dz = at.Z - camera.Z;
      const float distanceSquared = dx * dx + dy * dy + dz * dz;
      // A node hidden for some reason stays hidden however near it is.
      node->setVisible(hideMask == 0 && distanceSquared < radius * radius * kVisibleRadiiSquared);
    }
  }

  irr::u32 count = children.size();
  for (irr::u32 i = 0; i < count && i < children.size();) {
    if (children[i]->update()) {
      // The child left this list: the next one took its place.
      --count;
      continue;
    }
    ++i;
  }
  return moved;
}

void graphicsObject::hide() {
  if (node != nullptr)
    node->setVisible(false);
}

void graphicsObject::show() {
  if (node != nullptr)
    node->setVisible(true);
}

vector3df graphicsObject::getAbsolutePosition() const {
  if (node != nullptr)
    return node->getAbsolutePosition();
  if (owner != nullptr)
    return owner->getPosition();
  return vector3df(0.0f, 0.0f, 0.0f);
}

graphicsObject* graphicsObject::hitTest(const line3df& ray, double* best, double* distance) {
  if (hideMask != 0)
    return nullptr;
  const vector3df d = getAbsolutePosition() - ray.start;
  const double lengthSquared = d.getLengthSQ();
  const double reach = static_cast<double>(radius) + *best;
  if (lengthSquared > reach * reach)
    return nullptr;
  const vector3df direction = ray.end - ray.start;
  if (direction.dotProduct(d) < 0.0f && lengthSquared > static_cast<double>(radius) * radius)
    return nullptr;
  if (!hitSphere(ray, distance))
    return nullptr;
  if (*best > *distance) {
    *best = *distance;
    return this;
  }
  return nullptr;
}

graphicsObject* graphicsObject::hitTestTree(const line3df& ray, float spread, float* best) {
  if (hideMask != 0)
    return nullptr;
  graphicsObject* result = nullptr;
  for (irr::u32 i = 0; i < children.size(); ++i) {
    if (graphicsObject* hit = children[i]->hitTestTree(ray, spread, best))
      result = hit;
  }
  const vector3df at = getAbsolutePosition();
  const vector3df closest = ray.getClosestPoint(at);
  const float along = (closest - ray.start).getLength() * spread;
  const float off = (at - closest).getLength();
  // With `along` 0 the ratio is infinite or not a number: no hit.
  if (off <= radius + along && off / along < *best) {
    *best = off / along;
    result = this;
  }
  return result;
}

bool graphicsObject::hitSphere(const line3df& ray, double* distance) {
  double out = 0.0;
  const bool hit = ray.getIntersectionWithSphere(getAbsolutePosition(), radius, out);
  *distance = out;
  return hit;
}

void graphicsObject::getSurfacePoint(vector3df* out, const vector3df& toward) {
  const vector3df at = getAbsolutePosition();
  vector3df offset = toward - at;
  if (!irr::core::iszero(offset.getLengthSQ(), 0.00000001f))
    offset.setLength(radius);
  *out = at + offset;
}

vector3df graphicsObject::surfacePoint(const vector3df& toward) {
  vector3df out;
  getSurfacePoint(&out, toward);
  return out;
}

vector3df graphicsObject::localSurfacePoint(const vector3df& toward) {
  vector3df point;
  getSurfacePoint(&point, toward);
  if (node == nullptr)
    return point - getAbsolutePosition();
  point -= node->getAbsolutePosition();
  const vector3df scale = node->getScale();
  point.X /= scale.X * scale.X;
  point.Y /= scale.Y * scale.Y;
  point.Z /= scale.Z * scale.Z;
  const irr::core::matrix4& m = node->getAbsoluteTransformation();
  return vector3df(m[0] * point.X + m[1] * point.Y + m[2] * point.Z, m[4] * point.X + m[5] * point.Y + m[6] * point.Z,
                   m[8] * point.X + m[9] * point.Y + m[10] * point.Z);
}

vector3df graphicsObject::surfacePointAlt(const vector3df& toward) { return surfacePoint(toward); }

vector3df graphicsObject::localSurfacePointAlt(const vector3df& toward) { return localSurfacePoint(toward); }

void graphicsObject::setParent(graphicsObject* newParent) {
  const bool locking = !singleThreaded && !bThreadedGraphics;
  if (locking)
    sceneParentLock->lock();
  // Held for the call: the old parent's removeChild may release the last
  // reference that is not the caller's.
  const heldPointer<graphicsObject> self(this);
  if (newParent == nullptr) {
    if (node != nullptr && node->getSceneManager() != nullptr)
      node->setParent(node->getSceneManager()->getRootSceneNode());
  } else {
    newParent->addChild(this);
    if (node != nullptr && newParent->node != nullptr)
      node->setParent(newParent->node);
  }
  if (graphicsObject* old = parent.get())
    old->removeChild(this);
  parent = newParent;
  if (locking)
    sceneParentLock->unlock();
}

void graphicsObject::addChild(graphicsObject* child) {
  const heldPointer<graphicsObject> held(child);
  children.push_back(held);
}

void graphicsObject::removeChild(graphicsObject* child) {
  for (irr::u32 i = 0; i < children.size(); ++i) {
    if (children[i].get() == child) {
      children.erase(i);
      return;
    }
  }
}

void graphicsObject::addExtension(graphicExtension* extension) {
  if (extension != nullptr)
    extensions.push_back(extension);
}

void graphicsObject::removeExtension(graphicExtension* extension) {
  for (irr::s32 i = static_cast<irr::s32>(extensions.size()) - 1; i >= 0; --i) {
    if (extensions[static_cast<irr::u32>(i)] == extension) {
      delete extension;
      extensions.erase(static_cast<irr::u32>(i));
      return;
    }
  }
}

audio::ISound* graphicsObject::playSound(audio::ISoundSource* source) {
  if (silent || soundDevice == nullptr || source == nullptr)
    return nullptr;
  audio::ISound* sound = soundDevice->create3DSound(source, getAbsolutePosition(), false, true);
  if (sound == nullptr)
    return nullptr;
  sounds.push_back(heldPointer<audio::ISound>(sound));
  if (owner != nullptr)
    sound->setVelocity(owner->velocity.X, owner->velocity.Y, owner->velocity.Z);
  if (silent)
    sound->pause();
  else
    sound->play();
  return sound;
}

void graphicsObject::updateSounds() {
  // The silent flag follows the object even while no sound plays, so that
  // the first sound of an audible object can start.
  const bool muted = fade > 0.5f || hideMask != 0;
  const vector3df velocity = owner != nullptr ? owner->velocity : vector3df(0.0f, 0.0f, 0.0f);
  if (muted) {
    if (silent)
      return;
    silent = true;
    for (irr::s32 i = static_cast<irr::s32>(sounds.size()) - 1; i >= 0; --i) {
      audio::ISound* sound = sounds[static_cast<irr::u32>(i)].get();
      if (sound->isLooping()) {
        sound->pause();
      } else {
        sound->stop();
        sounds.erase(static_cast<irr::u32>(i));
      }
    }
    return;
  }
  const vector3df at = getAbsolutePosition();
  if (!silent) {
    for (irr::s32 i = static_cast<irr::s32>(sounds.size()) - 1; i >= 0; --i) {
      audio::ISound* sound = sounds[static_cast<irr::u32>(i)].get();
      if (sound->isStopped()) {
        sounds.erase(static_cast<irr::u32>(i));
        continue;
      }
      sound->setPosition(at.X, at.Y, at.Z);
      sound->setVelocity(velocity.X, velocity.Y, velocity.Z);
    }
    return;
  }
  silent = false;
  for (irr::s32 i = static_cast<irr::s32>(sounds.size()) - 1; i >= 0; --i) {
    audio::ISound* sound = sounds[static_cast<irr::u32>(i)].get();
    sound->setPosition(at.X, at.Y, at.Z);
    sound->setVelocity(velocity.X, velocity.Y, velocity.Z);
    sound->play();
  }
}
