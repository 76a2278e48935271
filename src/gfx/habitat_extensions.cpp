#include "gfx/habitat_extensions.h"

#include <atomic>
#include <cmath>

#include "core/random.h"
#include "gfx/gfx_resources.h"
#include "gfx/select_ring.h"
#include "gfx/settings_mesh_node.h"

using irr::core::vector3df;

NamedVar<habitat_extension*>::Registry habitatExtensions;

namespace {

std::atomic<int32_t> nextExtensionId{100000};

// A number in [low, high) from the calling thread's generator (low when the
// range is empty).
float uniformIn(float low, float high) {
  const double unit = static_cast<double>(threadRandom().nextUInt32()) * (1.0 / 4294967296.0);
  float value = static_cast<float>(low + (static_cast<double>(high) - low) * unit);
  if (value >= high && high > low)
    value = std::nextafter(high, low);  // rounding to float reached the top
  return value;
}

// The registered model's mesh (its first frame), or null.
irr::scene::IMesh* registeredMesh(const wchar_t* model) {
  ModelRef** found = findNamedValue<ModelRef*>(gfxResources.models, irr::core::stringw(model));
  if (found == nullptr || *found == nullptr || (*found)->mesh == nullptr)
    return nullptr;
  return (*found)->mesh->getMesh(0);
}

// The node's material 0 takes one of the description's materials, and
// normals are renormalised (the node may be scaled).
void dressNode(const habitat_extension& extension, irr::scene::ISceneNode* node) {
  if (node->getMaterialCount() == 0)
    return;
  if (extension.materials.size() > 0) {
    const int last = static_cast<int>(extension.materials.size()) - 1;
    node->getMaterial(0) = extension.materials[threadRandom().randUpTo(static_cast<uint32_t>(last))];
  }
  node->getMaterial(0).NormalizeNormals = true;
}

vector3df inverseScale(const vector3df& scale) { return vector3df(1.0f / scale.X, 1.0f / scale.Y, 1.0f / scale.Z); }

}  // namespace

habitat_extension::habitat_extension() : id(nextExtensionId.fetch_add(1)) {}

habitat_extension* createHabitatExtension(const irr::core::stringw& name) {
  auto* made = new habitat_extension();
  NamedVar<habitat_extension*>& entry = NamedVar<habitat_extension*>::getOrAdd(habitatExtensions, name);
  if (entry.value != nullptr) {
    delete made;
    return nullptr;
  }
  entry.value = made;
  return made;
}

irr::s32 findHabitatExtension(const irr::core::stringw& name) {
  return NamedVar<habitat_extension*>::find(habitatExtensions, name);
}

habitat_extension* habitatExtensionAt(irr::s32 index) {
  if (index < 0 || static_cast<irr::u32>(index) >= habitatExtensions.size())
    return nullptr;
  return habitatExtensions[static_cast<irr::u32>(index)].value;
}

void clearHabitatExtensions() {
  for (irr::u32 i = 0; i < habitatExtensions.size(); ++i)
    delete habitatExtensions[i].value;
  habitatExtensions.clear();
}

irr::scene::ISceneNode* addExtensionGraphics(const habitat_extension* extension, irr::scene::ISceneNode* parent,
                                             float radius, float scale, float speed) {
  if (extension == nullptr || extension->mesh == nullptr || parent == nullptr)
    return nullptr;
  irr::scene::ISceneManager* scene = parent->getSceneManager();
  if (scene == nullptr)
    return nullptr;
  const vector3df parentScale = parent->getScale();
  float lodScale = 1.0f;
  irr::scene::ISceneNode* node = nullptr;

  if (extension->orbits) {
    float orbit = radius > 0.0f ? radius : uniformIn(extension->orbitRadiusMin, extension->orbitRadiusMax);
    orbit *= parentScale.X;
    vector3df nodeScale(1.0f, 1.0f, 1.0f);
    if (extension->ignoreParentScale) {
      // A zero parent scale gives infinite values, as the arithmetic goes.
      nodeScale = inverseScale(parentScale);
      orbit *= (1.0f / parentScale.X + 1.0f / parentScale.Z) / 2.0f;
    }
    if (extension->randomScale) {
      const float k = scale > 0.0f ? scale : uniformIn(extension->scaleMin, extension->scaleMax);
      nodeScale *= k;
      lodScale = k;
    }
    const float orbitSpeed = speed > 0.0f ? speed : 0.001f / std::pow(orbit, 1.5f);
    irr::scene::ISceneNodeAnimator* circling =
        scene->createFlyCircleAnimator(vector3df(0.0f, 0.0f, 0.0f), orbit, orbitSpeed, vector3df(0.0f, 1.0f, 0.0f),
                                       uniformIn(0.0f, 1.0f), 0.0f);
    node = scene->addMeshSceneNode(extension->mesh, parent, extension->id, vector3df(0.0f, 0.0f, 0.0f),
                                   vector3df(0.0f, 0.0f, 0.0f), nodeScale);
    if (node != nullptr) {
      dressNode(*extension, node);
      if (circling != nullptr)
        node->addAnimator(circling);
    }
    if (circling != nullptr)
      circling->drop();
  } else {
    vector3df nodeScale(1.0f, 1.0f, 1.0f);
    if (extension->ignoreParentScale)
      nodeScale = inverseScale(parentScale);
    if (extension->randomScale) {
      // A fixed scale is not consulted for a node that does not orbit.
      const float k = uniformIn(extension->scaleMin, extension->scaleMax);
      nodeScale *= k;
      lodScale = k;
    }
    irr::scene::CSettingsMeshSceneNode* meshNode =
        irr::scene::addSettingsMeshSceneNode(scene, extension->mesh, parent, extension->id,
                                             vector3df(0.0f, 0.0f, 0.0f), vector3df(0.0f, 0.0f, 0.0f), nodeScale);
    node = meshNode;
    if (meshNode != nullptr) {
      dressNode(*extension, meshNode);
      auto* approach = new approachCam(0.5f);
      meshNode->setUserSettings(approach);
      approach->drop();
    }
  }
  if (node == nullptr)
    return nullptr;

  if (extension->secondMesh != nullptr) {
    auto* lod = new irr::scene::LOD_Manager(lodScale);
    lod->firstMesh = extension->mesh;
    lod->secondMesh = extension->secondMesh;
    lod->firstThreshold = extension->firstThreshold;
    lod->secondThreshold = extension->secondThreshold;
    lod->thirdMesh = extension->thirdMesh;
    lod->hasThirdLevel = extension->thirdMesh != nullptr;
    node->addAnimator(lod);
    lod->drop();
  }
  return node;
}

void registerHabitatExtensions() {
  if (habitat_extension* moon = createHabitatExtension(L"moon")) {
    moon->mesh = registeredMesh(L"sphereHi");
    moon->secondMesh = registeredMesh(L"sphereMd");
    moon->thirdMesh = registeredMesh(L"sphereLo");
    moon->firstThreshold = 0.00125f;
    moon->secondThreshold = 0.02f;
    moon->orbits = true;
    moon->randomScale = true;
    moon->ignoreParentScale = true;
    moon->orbitRadiusMin = 1.5f;
    moon->orbitRadiusMax = 2.5f;
    moon->scaleMin = 0.5f;
    moon->scaleMax = 0.75f;
    for (int n = 1;; ++n) {
      irr::core::stringw name(L"moon_");
      name += n;
      irr::video::SMaterial** material = findNamedValue<irr::video::SMaterial*>(gfxResources.materials, name);
      if (material == nullptr || *material == nullptr)
        break;
      moon->materials.push_back(**material);
    }
  }
  if (habitat_extension* ring = createHabitatExtension(L"space_ring"))
    ring->mesh = registeredMesh(L"spaceRing");
  if (habitat_extension* ring = createHabitatExtension(L"natural_ring"))
    ring->mesh = registeredMesh(L"planet_ring");
}
