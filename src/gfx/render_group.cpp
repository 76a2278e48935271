#include "gfx/render_group.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "audio/sound_device.h"
#include "core/locale.h"
#include "empire/empire.h"
#include "gfx/game_camera.h"
#include "gfx/gfx_resources.h"
#include "gfx/object_render_state.h"
#include "gfx/select_ring.h"
#include "platform/engine/rotating_billboard.h"
#include "platform/thread.h"
#include "ui/selection.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"

using irr::core::line3df;
using irr::core::vector3df;

std::atomic<graphicsObject*> hoveredGraphicsObject{nullptr};
std::atomic<uint32_t> attackWarningHold{0};

namespace {

irr::u32 engineRealTime() { return engine.timer != nullptr ? engine.timer->getRealTime() : 0; }

}  // namespace

irr::u32 (*renderGroupClock)() = engineRealTime;

namespace {

constexpr float kDefaultFalloff = 35000.0f;
std::atomic<float> updateFalloff{kDefaultFalloff};

// Presence counts only from this "prs" on; strength above this arms.
constexpr float kPresenceFloor = 0.1f;
constexpr float kArmedStrength = 0.001f;
// Pick distances: children are tried within 85,000 of the camera, the group
// itself from 42,500 on.
constexpr double kNearPickSquared = 7.225e9;
constexpr double kFarPickSquared = 1.80625e9;
constexpr float kNearPick = 85000.0f;
// Objects in open space beyond this count slow the galaxy's full update.
constexpr irr::u32 kFreeDeepSpaceObjects = 106;
constexpr irr::u32 kWarningHold = 6;
// The presence ring turns once in 14 seconds (hovered systems only).
constexpr float kRingTurnSeconds = 14.0f;
// The ring's colour before its first update.
constexpr irr::u32 kRingStartColor = 0x96BABABA;
// The system plane's vertex colour.
constexpr irr::u32 kPlaneColor = 0xFFFFFFFF;

const irr::core::stringw kPresenceStat = L"prs";
const irr::core::stringw kStrengthStat = L"str";
const irr::core::stringw kPlanetsStat = L"planets";

const wchar_t* const kRingNames[12] = {L"emptyEmpty", L"emptyFringe", L"emptyColony", L"emptySector",
                                       L"scoutEmpty", L"scoutFringe", L"scoutColony", L"scoutSector",
                                       L"armyEmpty",  L"armyFringe",  L"armyColony",  L"armySector"};

// The two roots that throttled groups hang under (grabbed); made by the
// first group.
irr::scene::ISceneNode* visibleRoot = nullptr;
irr::scene::ISceneNode* hiddenRoot = nullptr;

heldPointer<graphicsObject> viewGroup;

void makeRoots(irr::scene::ISceneManager* scene) {
  if (visibleRoot != nullptr || scene == nullptr)
    return;
  visibleRoot = scene->addEmptySceneNode(nullptr, -1);
  hiddenRoot = scene->addEmptySceneNode(nullptr, -1);
  visibleRoot->grab();
  hiddenRoot->grab();
  hiddenRoot->setVisible(false);
}

void dropRoot(irr::scene::ISceneNode*& root) {
  if (root == nullptr)
    return;
  root->remove();
  root->drop();
  root = nullptr;
}

// Whether `group` is the hovered graphics object or one of its parents.
bool holdsHovered(const graphicsObject* group) {
  for (graphicsObject* at = hoveredGraphicsObject.load(); at != nullptr; at = at->getParent()) {
    if (at == group)
      return true;
  }
  return false;
}

bool isMajor(const empire* emp) { return emp != nullptr && emp->isValid(); }

// A -1, 0 or +1 ms jitter that spreads systems over frames, drawn from the
// system's place and the time: the same on any thread, and in any run.
int jitterMs(const vector3df& at, irr::u32 now) {
  uint32_t mixed = now * 2654435761u;
  for (const float coordinate : {at.X, at.Y, at.Z}) {
    uint32_t bits = 0;
    std::memcpy(&bits, &coordinate, sizeof bits);
    mixed = (mixed ^ bits) * 16777619u;
  }
  return static_cast<int>((mixed >> 13) % 3u) - 1;
}

// The render-group worker: runs `update` on its half of the galaxy's
// systems each time the main thread asks, and tells it when it is done.
class RenderGroupWorker {
 public:
  // Updates `groups` on the worker while the caller runs `own`; returns
  // once both are done.
  template <class Own>
  void run(const std::vector<graphicsObject*>& groups, Own&& own) {
    start();
    {
      std::lock_guard<std::mutex> guard(mutex_);
      groups_ = &groups;
      ++requested_;
    }
    wake_.notify_one();
    own();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return completed_ == requested_; });
    groups_ = nullptr;
  }

  // Ends the thread (a later run starts a new one).
  void stop() {
    if (!thread_.valid())
      return;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.waitForExit();
    thread_ = plat::ThreadHandle();
    stopping_ = false;
  }

 private:
  void start() {
    if (thread_.valid())
      return;
    thread_ = plat::ThreadHandle::start(entry, this, true);
    if (thread_.valid())
      thread_.setPriority(plat::ThreadPriority::Highest);
  }

  static uint32_t entry(void* argument) {
    static_cast<RenderGroupWorker*>(argument)->loop();
    return 0;
  }

  void loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || completed_ != requested_; });
      if (stopping_)
        return;
      const std::vector<graphicsObject*>& groups = *groups_;
      const uint64_t round = requested_;
      lock.unlock();
      for (graphicsObject* group : groups)
        group->update();
      lock.lock();
      completed_ = round;
      done_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::vector<graphicsObject*>* groups_ = nullptr;
  uint64_t requested_ = 0;
  uint64_t completed_ = 0;
  bool stopping_ = false;
  plat::ThreadHandle thread_;
};

RenderGroupWorker worker;

}  // namespace

// --- Culling node -------------------------------------------------------------

SystemCullingNode::SystemCullingNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id)
    : ISceneNode(parent, manager, id), box_(-1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f) {
  setAutomaticCulling(irr::scene::EAC_BOX);
}

void SystemCullingNode::OnRegisterSceneNode() {
  if (!IsVisible || SceneManager->isCulled(this))
    return;
  ISceneNode::OnRegisterSceneNode();
}

void SystemCullingNode::setBox(irr::f32 r) { box_ = irr::core::aabbox3d<irr::f32>(-r, -r, -r, r, r, r); }

// --- Settings and globals -----------------------------------------------------

namespace {

// The ring materials resolved on the main thread for a threaded update:
// looking a name up in the registry may sort it, which two threads must not
// do at once. Unset outside a threaded update, where the registry is asked.
irr::video::SMaterial* resolvedRingMaterials[12] = {};
bool ringMaterialsResolved = false;

irr::video::SMaterial* ringMaterial(unsigned index) {
  return ringMaterialsResolved ? resolvedRingMaterials[index] : getMaterial(kRingNames[index]);
}

}  // namespace

const wchar_t* presenceRingName(unsigned index) { return index < 12 ? kRingNames[index] : kRingNames[0]; }

unsigned presenceRingIndex(uint32_t held, uint32_t planetCount, uint32_t heldShipCount) {
  unsigned planetPart = 0;
  if (held == planetCount && planetCount > 0)
    planetPart = 3;
  else if (held >= 2)
    planetPart = 2;
  else if (held == 1)
    planetPart = 1;
  unsigned shipPart = 0;
  if (heldShipCount >= 50)
    shipPart = 8;
  else if (heldShipCount > 0)
    shipPart = 4;
  return planetPart + shipPart;
}

void setRenderGroupFalloff(float falloff) { updateFalloff.store(falloff); }

float renderGroupFalloff() { return updateFalloff.load(); }

irr::u32 renderGroupDelayMs(float e) {
  const double delay = static_cast<double>(e) * 500.0 / (static_cast<double>(updateFalloff.load()) + e);
  if (!(delay > 0.0))
    return 0;
  return static_cast<irr::u32>(std::min(delay, 4.0e9));
}

void setCurrentViewGroup(graphicsObject* group) {
  if (graphicsObject* previous = viewGroup.get())
    previous->hide();
  viewGroup = group;
  if (group != nullptr)
    group->show();
}

graphicsObject* currentViewGroup() { return viewGroup.get(); }

graphicsObject* pickRenderGroups(irr::u32 start, const line3df& ray, double* best) {
  graphicsObject* group = viewGroup.get();
  if (group == nullptr)
    return nullptr;
  graphicsObject* result = nullptr;
  const auto& children = group->getChildren();
  for (irr::u32 i = start; i < children.size(); ++i) {
    double distance = 0.0;
    if (graphicsObject* hit = children[i]->hitTest(ray, best, &distance))
      result = hit;
  }
  return result;
}

renderGroup* createGalaxyRenderGroup(generic_object* galaxyObject) {
  if (galaxyObject == nullptr || engine.scene == nullptr)
    return nullptr;
  auto* group = new renderGroup(galaxyObject);
  group->throttled = false;
  if (irr::scene::ISceneNode* node = group->getNode())
    node->setParent(engine.scene->getRootSceneNode());
  return group;
}

void clearRenderGroups() {
  setCurrentViewGroup(nullptr);
  worker.stop();
  renderGroupMap.clear();
  hoveredGraphicsObject.store(nullptr);
  dropRoot(visibleRoot);
  dropRoot(hiddenRoot);
}

// --- renderGroup --------------------------------------------------------------

namespace {

irr::scene::ISceneNode* makeCullingNode() {
  if (engine.scene == nullptr)
    return nullptr;
  auto* node = new SystemCullingNode(engine.scene->getRootSceneNode(), engine.scene, -1);
  node->setPosition(vector3df(0.0f, 0.0f, 0.0f));
  node->setScale(vector3df(1.0f, 1.0f, 1.0f));
  return node;
}

// Gives the node the constructor's reference: the scene holds it once the
// graphics object has grabbed it.
irr::scene::ISceneNode* dropCreatorReference(irr::scene::ISceneNode* node) {
  if (node != nullptr)
    node->drop();
  return node;
}

// The disc under a system: a select ring of the system's radius in
// "planeDisc", white so that the material's own colours show.
irr::scene::CSelectRing* makeSystemPlane(irr::scene::ISceneNode* parent, float radius) {
  auto* plane = new irr::scene::CSelectRing(parent, radius, irr::video::SColor(kPlaneColor), engine.scene);
  plane->getMaterial(0) = *getMaterial(L"planeDisc");
  plane->setVisible(false);
  plane->drop();  // the parent holds it
  return plane;
}

}  // namespace

renderGroup::renderGroup(generic_object* groupOwner)
    : graphicsObject(groupOwner, dropCreatorReference(makeCullingNode())) {
  makeRoots(engine.scene);
  if (node != nullptr && owner != nullptr && owner->getType() == OT_System) {
    irr::scene::CRotatingBillboardSceneNode* ring = irr::scene::addRotatingBillboardSceneNode(
        engine.scene, node, irr::core::dimension2df(1.0f, 1.0f), vector3df(0.0f, 0.0f, 0.0f), -1);
    ring->getMaterial(0) = *getMaterial(kRingNames[0]);
    ring->setVisible(false);
    ring->setColor(irr::video::SColor(kRingStartColor));
    ring->setExtraSwitch(true);
    presenceRing = ring;
    irr::scene::CSelectRing* plane = makeSystemPlane(node, groupRadius);
    systemPlane = plane;
    if (shadersEnabled) {
      // One render state for the ring and the plane.
      auto* access = new CObjectRenderStateAccess(owner);
      ring->setUserSettings(access);
      plane->setUserSettings(access);
      access->drop();
    }
  }
  if (owner != nullptr) {
    radius = owner->radius;
    renderGroupMap[owner] = this;
  }
  if (throttled && node != nullptr && hiddenRoot != nullptr)
    node->setParent(hiddenRoot);
}

renderGroup::~renderGroup() = default;

void renderGroup::remove(bool quiet) {
  if (presenceRing != nullptr) {
    presenceRing->remove();
    presenceRing = nullptr;
  }
  if (systemPlane != nullptr) {
    systemPlane->remove();
    systemPlane = nullptr;
  }
  graphicsObject::remove(quiet);
}

void renderGroup::hide() {
  if (throttled && node != nullptr && hiddenRoot != nullptr)
    node->setParent(hiddenRoot);
}

void renderGroup::show() {
  if (throttled && node != nullptr && visibleRoot != nullptr)
    node->setParent(visibleRoot);
}

void renderGroup::setRadius(float r) {
  if (r == groupRadius)
    return;
  groupRadius = r;
  radius = r;
  if (node == nullptr)
    return;
  static_cast<SystemCullingNode*>(node)->setBox(r * 1.25f);
  if (owner != nullptr)
    node->setPosition(owner->getPosition());
  node->updateAbsolutePosition();
  if (presenceRing != nullptr) {
    presenceRing->setSize(irr::core::dimension2df(r * 2.5f, r * 2.5f));
    presenceRing->updateAbsolutePosition();
  }
  if (systemPlane != nullptr) {
    static_cast<irr::scene::CSelectRing*>(systemPlane)->setRadius(r, irr::video::SColor(kPlaneColor));
    systemPlane->updateAbsolutePosition();
  }
}

void renderGroup::spinRing() {
  auto* ring = static_cast<irr::scene::CRotatingBillboardSceneNode*>(presenceRing);
  const float turn = realFrameTime / kRingTurnSeconds * 360.0f;
  ring->setRotationAngle(std::fmod(ring->getRotationAngle() + turn, 360.0f));
}

bool renderGroup::update() {
  if (owner == nullptr)
    return false;
  if (!owner->isValid()) {
    remove(owner->hasFlag(FLAG_QUIET_DESTROY));
    return true;
  }
  generic_object* container = owner->container.load();
  if (parent.get() != nullptr && container != parent->getOwner())
    setParent(renderGroupMapAt(container));

  const irr::u32 now = renderGroupClock();
  if (throttled && now < nextUpdate) {
    if (presenceRing != nullptr && holdsHovered(this)) {
      presenceRing->setVisible(bDisplaySystemRings);
      spinRing();
      presenceRing->updateAbsolutePosition();
      if (systemPlane != nullptr)
        systemPlane->setVisible(bDisplaySystemPlanes);
    }
    return false;
  }
  if (owner->getType() == OT_Galaxy)
    return updateGalaxy();
  if (owner->getType() == OT_System)
    updateSystem();
  return false;
}

bool renderGroup::updateGalaxy() {
  setRadius(1e12f);
  auto* galaxyObject = dynamic_cast<solarSystem*>(owner);
  // The systems' groups and the objects in open space, each held for the
  // walk: a group that is removed meanwhile leaves the child list at once.
  std::vector<heldPointer<graphicsObject>> systemGroups;
  std::vector<heldPointer<graphicsObject>> deepSpace;
  for (irr::u32 i = 0; i < children.size(); ++i) {
    graphicsObject* child = children[i].get();
    generic_object* childOwner = child->getOwner();
    if (childOwner != nullptr && childOwner->getType() == OT_System)
      systemGroups.emplace_back(child);
    else
      deepSpace.emplace_back(child);
  }

  const irr::u32 now = renderGroupClock();
  if (now < nextUpdate) {
    for (const heldPointer<graphicsObject>& group : systemGroups)
      group->update();
    return false;
  }

  const size_t half = systemGroups.size() / 2;
  if (bThreadedGraphics && !singleThreaded && half > 0) {
    // The worker's half is taken from the child list as it is now, every
    // time: systems come and go between frames.
    std::vector<graphicsObject*> workerHalf;
    workerHalf.reserve(half);
    for (size_t i = 0; i < half; ++i)
      workerHalf.push_back(systemGroups[i].get());
    for (unsigned i = 0; i < 12; ++i)
      resolvedRingMaterials[i] = getMaterial(kRingNames[i]);
    ringMaterialsResolved = true;
    worker.run(workerHalf, [&] {
      for (size_t i = half; i < systemGroups.size(); ++i)
        systemGroups[i]->update();
    });
    ringMaterialsResolved = false;
  } else {
    for (const heldPointer<graphicsObject>& group : systemGroups)
      group->update();
  }

  if (!deepSpace.empty()) {
    lockSolarSystem(galaxyObject);
    irr::u32 updated = 0;
    for (const heldPointer<graphicsObject>& child : deepSpace) {
      generic_object* childOwner = child->getOwner();
      if (childOwner != nullptr && childOwner->hasFlag(FLAG_ALWAYS_VISIBLE))
        child->setHidden(true, 2);
      child->update();
      ++updated;
    }
    if (updated > kFreeDeepSpaceObjects)
      nextUpdate = now + (updated - kFreeDeepSpaceObjects) / 15;
    unlockSolarSystem(galaxyObject);
  }
  return false;
}

void renderGroup::updateSystem() {
  auto* system = dynamic_cast<solarSystem*>(owner);
  if (system == nullptr)
    return;
  lockSolarSystem(system);
  float e = 0.0f;
  if (node != nullptr) {
    setRadius(owner->radius);
    e = gameCamera.lastPosition.getDistanceFrom(node->getAbsolutePosition()) - owner->radius;
    empire* player = activeEmpire.load();
    const bool visible = player != nullptr && system->isSystemVisibleTo(player);

    if (presenceRing == nullptr) {
      for (irr::u32 i = children.size(); i-- > 0;) {
        if (i >= children.size())
          continue;
        const heldPointer<graphicsObject> child(children[i].get());
        generic_object* childOwner = child->getOwner();
        child->setHidden(childOwner != nullptr && childOwner->isOwnerVisibleTo(player, visible), 2);
        child->update();
      }
    } else {
      // Who is here, and how strongly.
      empire* candidate = nullptr;
      float candidateScore = 0.0f;
      bool candidateSecond = false;
      bool playerPresent = false;
      float playerPresence = 0.0f;
      float playerScore = 0.0f;
      bool playerArmed = false;
      bool enemyHere = false;
      bool enemyArmed = false;
      if (owner->systemStats != nullptr) {
        const StatsList& stats = *owner->systemStats;
        for (irr::u32 i = 0; i < stats.size(); ++i) {
          empire* emp = stats[i].emp;
          if (!isMajor(emp))
            continue;
          const float presence = getStatValue(stats[i], kPresenceStat);
          if (presence < kPresenceFloor)
            continue;
          const float strength = getStatValue(stats[i], kStrengthStat);
          const float score = getStatValue(stats[i], kPlanetsStat) * 20.0f + strength;
          if (emp == player) {
            playerPresent = true;
            playerPresence = presence;
            playerScore = score;
            playerArmed = strength > kArmedStrength;
            continue;
          }
          if (candidate == nullptr || score > candidateScore ||
              (score == candidateScore && emp->playerControlled && !candidateSecond)) {
            candidate = emp;
            candidateScore = score;
            candidateSecond = emp->playerControlled;
          }
          if (player != nullptr && player->isEnemy(emp)) {
            enemyHere = true;
            if (strength > kArmedStrength)
              enemyArmed = true;
          }
        }
      }
      const bool combat = (playerPresent && enemyArmed) || (playerArmed && enemyHere);
      system->combat.store(combat ? -1 : 0);

      uint32_t countedPlanets = 0, countedShips = 0, candidatePlanets = 0, candidateShips = 0;
      uint32_t playerPlanets = 0, playerShips = 0, minorPlanets = 0;
      bool majorPresent = false;
      for (irr::u32 i = children.size(); i-- > 0;) {
        if (i >= children.size())
          continue;
        const heldPointer<graphicsObject> child(children[i].get());
        generic_object* childOwner = child->getOwner();
        const bool seen = childOwner != nullptr && childOwner->isOwnerVisibleTo(player, visible);
        const int type = childOwner != nullptr ? childOwner->getType() : OT_Generic;
        if (type == OT_Planet) {
          if (!child->isHidden()) {
            child->setStateByte(seen ? 0 : 1);
          } else {
            child->setHidden(seen, 2);
            child->setStateByte(seen ? 0 : 1);
          }
        } else {
          child->setHidden(seen, 2);
        }
        if (child->update())
          continue;  // it left the list
        if (child->isHidden() || child->getStateByte() != 0 || childOwner == nullptr)
          continue;
        empire* holder = childOwner->owner;
        if (holder == nullptr)
          continue;
        if (type == OT_Planet) {
          ++countedPlanets;
          if (holder == candidate)
            ++candidatePlanets;
          else if (holder == player)
            ++playerPlanets;
          else if (!isMajor(holder))
            ++minorPlanets;
        } else if (type == OT_Hulled) {
          ++countedShips;
          if (holder == candidate)
            ++candidateShips;
          else if (holder == player)
            ++playerShips;
        } else {
          continue;
        }
        if (isMajor(holder))
          majorPresent = true;
      }
      if (majorPresent) {
        dominant = candidate;
        heldPlanets = candidatePlanets;
        heldShips = candidateShips;
        ships = countedShips;
        planets = countedPlanets;
      }
      const float playerValue = candidate != nullptr ? playerScore : playerPresence;
      if (player != nullptr && playerValue >= candidateScore && playerValue > 0.0f) {
        dominant = player;
        heldPlanets = playerPlanets;
        heldShips = playerShips;
      }

      const bool focused = holdsHovered(this);
      if (systemPlane != nullptr)
        systemPlane->setVisible(bDisplaySystemPlanes && (focused || ships + planets > 0));

      if (e <= 0.0f) {
        presenceRing->setVisible(false);
      } else {
        if (focused)
          spinRing();
        irr::u32 alpha = majorPresent ? 200 : 100;
        const float fadeEdge = groupRadius * 2.5f;
        if (e < fadeEdge)
          alpha = static_cast<irr::u32>(static_cast<float>(alpha) * e / fadeEdge);
        if (ships + planets == 0 && !focused) {
          presenceRing->setVisible(false);
        } else {
          presenceRing->setVisible(bDisplaySystemRings);
          const irr::video::SColor white(alpha, 255, 255, 255);
          if (dominant == nullptr) {
            presenceRing->setColor(white);
          } else {
            irr::video::SColor colour(dominant->color);
            colour.setAlpha(alpha);
            const uint32_t majorPlanets = planets - std::min(planets, minorPlanets);
            if (heldShips < ships || heldPlanets < majorPlanets) {
              float share;
              if (majorPlanets == 0)
                share = ships > 0 ? static_cast<float>(heldShips) / static_cast<float>(ships) : 1.0f;
              else if (ships == 0)
                share = static_cast<float>(heldPlanets) / static_cast<float>(majorPlanets);
              else
                share = (static_cast<float>(heldShips) / static_cast<float>(ships) +
                         static_cast<float>(heldPlanets) / static_cast<float>(majorPlanets)) *
                        0.5f;
              colour = colour.getInterpolated(white, share);
            }
            presenceRing->setColor(colour);
          }
        }
      }

      if (majorPresent && !warned && combat && player != nullptr && dominant == player) {
        warned = true;
        uint32_t open = 0;
        if (gameLoaded.load() && attackWarningHold.compare_exchange_strong(open, kWarningHold)) {
          irr::core::stringw text = L"#col:red##link:o";
          text += irr::core::stringw(owner->uid);
          text += L"#";
          text += getLocalizedText(L"#EM_The");
          text += owner->name;
          text += getLocalizedText(L"#EM_SysAttacked");
          text += L"#link##col#";
          postEmpireMessage(player, text, L"war", 0, -1);
          audio::ISoundSource** sound = findNamedValue<audio::ISoundSource*>(gfxResources.sounds, L"attack_warn");
          if (sound != nullptr && *sound != nullptr && soundDevice != nullptr)
            soundDevice->createSound(*sound, false, false);
        }
      }

      if (presenceRing->isVisible())
        presenceRing->getMaterial(0) = *ringMaterial(presenceRingIndex(heldPlanets, planets, heldShips));
    }
  }
  unlockSolarSystem(system);
  updateSounds();
  if (e > 0.0f) {
    const irr::u32 now = renderGroupClock();
    nextUpdate = static_cast<irr::u32>(static_cast<int64_t>(now) + renderGroupDelayMs(e) + jitterMs(owner->getPosition(), now));
  }
}

graphicsObject* renderGroup::hitTest(const line3df& ray, double* best, double* distance) {
  if (owner == nullptr || owner->getType() != OT_System || node == nullptr)
    return graphicsObject::hitTest(ray, best, distance);
  const vector3df at = node->getAbsolutePosition();
  const double d = at.getDistanceFrom(ray.start);
  if (d - radius > *best)
    return nullptr;
  if (d > radius && (ray.end - ray.start).dotProduct(at - gameCamera.lastPosition) <= 0.0f)
    return nullptr;
  graphicsObject* childHit = nullptr;
  const double c2 = gameCamera.lastPosition.getDistanceFromSQ(owner->getPosition());
  if (c2 < kNearPickSquared) {
    for (irr::u32 i = 0; i < children.size(); ++i) {
      double childDistance = 0.0;
      if (graphicsObject* hit = children[i]->hitTest(ray, best, &childDistance))
        childHit = hit;
    }
    if (childHit != nullptr)
      return childHit;
  }
  if (c2 >= kFarPickSquared) {
    graphicsObject* selected = getSingleSelectedObject();
    if ((selected == nullptr || selected->getParent() != this) && radius + *best > d) {
      *best = d;
      *distance = d;
      return this;
    }
  }
  return childHit;
}

graphicsObject* renderGroup::hitTestTree(const line3df& ray, float spread, float* best) {
  if (hideMask != 0)
    return nullptr;
  const vector3df at = getAbsolutePosition();
  const vector3df closest = ray.getClosestPoint(at);
  const float along = (closest - ray.start).getLength() * spread;
  const float off = (at - closest).getLength();
  if (off > radius + along)
    return nullptr;
  if (owner == nullptr || owner->getType() == OT_Galaxy ||
      gameCamera.lastPosition.getDistanceFrom(owner->getPosition()) <= kNearPick) {
    graphicsObject* result = nullptr;
    for (irr::u32 i = 0; i < children.size(); ++i) {
      if (graphicsObject* hit = children[i]->hitTestTree(ray, spread, best))
        result = hit;
    }
    return result;
  }
  if (off / along < *best) {
    *best = off / along;
    return this;
  }
  return nullptr;
}
