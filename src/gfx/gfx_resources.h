// The graphics resource registry: every named texture, model, material,
// sound and shader material type of a game session, with the fallbacks that
// a lookup of an unknown name gives (the error model, an arrow with the
// magenta-and-black checkered error texture, the error material and the
// error sound), and the session's graphics start-up that fills it.
//
// Start-up runs on the main thread while the session loads; the descriptor
// readers (shaders, materials, models, sounds) are entered through
// gfxLoadHooks by the parts of the server that read those files. After
// loading, lookups only read the registry.
#pragma once

#include <irrlicht.h>

#include <cstdint>
#include <vector>

#include "core/names.h"

namespace audio {
class ISoundSource;
}
class IFiringPoint;
class IImpactRegion;
class model_particle_sys;

// Engine material type numbers that descriptor files name ("Solid",
// "Lightmap", "Add", "Alpha", and "Solidx2" / "Solidx3" for the scaled
// solid). They are stored in materials and in the material types registry
// as they are: 3 and 24 match no renderer of the stock engine, and the null
// driver has no renderers at all, so nothing looks a renderer up by them.
namespace material_type {
constexpr irr::s32 kSolid = 0;
constexpr irr::s32 kLightmap = 3;
constexpr irr::s32 kAdd = 12;
constexpr irr::s32 kAlpha = 13;
constexpr irr::s32 kSolidScaled = 24;
}  // namespace material_type

// One loaded model description.
struct ModelRef {
  // Held by the engine's mesh cache, not by the record.
  irr::scene::IAnimatedMesh* mesh = nullptr;
  // One reference held.
  model_particle_sys* particleSystem = nullptr;
  // May lead back to this model (a model may name itself, or through a
  // loaded file a model naming it, as its lower level): code that walks the
  // levels stops at a repeat.
  ModelRef* nextLevel = nullptr;
  // The fraction at which the next level of detail takes over.
  float lodDistance = 1.0f;
  // Owned.
  irr::core::array<IFiringPoint*> firingPoints;
  irr::core::array<IImpactRegion*> impactRegions;

  ModelRef() = default;
  explicit ModelRef(irr::scene::IAnimatedMesh* modelMesh) : mesh(modelMesh) {}
  // Frees the firing points, the impact regions and the particle system;
  // never the next level (freed as a model of its own).
  ~ModelRef();
  ModelRef(const ModelRef&) = delete;
  ModelRef& operator=(const ModelRef&) = delete;
};

struct GfxResourceRegistry {
  GfxResourceRegistry() = default;
  GfxResourceRegistry(const GfxResourceRegistry&) = delete;
  GfxResourceRegistry& operator=(const GfxResourceRegistry&) = delete;
  // Deletes the materials still registered and drops the error texture.
  ~GfxResourceRegistry();

  // The "ERRORMESH" arrow; the registry holds one reference to that mesh,
  // so that it outlives the mesh cache's clear at session end.
  ModelRef errorModel;
  // "ERRORTEXTURE", one reference held.
  irr::video::ITexture* errorTexture = nullptr;
  // Engine defaults with the error texture in layer 0.
  irr::video::SMaterial errorMaterial;
  // "sounds/error.wav", or null when it did not load.
  audio::ISoundSource* errorSound = nullptr;

  NamedVar<irr::video::ITexture*>::Registry textures;
  NamedVar<ModelRef*>::Registry models;
  // Owned: deleted when the registry is emptied.
  NamedVar<irr::video::SMaterial*>::Registry materials;
  // Each entry holds one reference.
  NamedVar<audio::ISoundSource*>::Registry sounds;
  // The music tracks by name (the "music_play_track" console command).
  NamedVar<audio::ISoundSource*>::Registry musicSounds;
  // Engine material type numbers of the shader materials.
  NamedVar<irr::s32>::Registry materialTypes;
};
extern GfxResourceRegistry gfxResources;

// The descriptor readers and the sound calls that start-up and the session
// end go through. Null entries are skipped (their files are then not read).
struct GfxLoadHooks {
  void (*loadShaderDescriptors)(GfxResourceRegistry& registry, const irr::core::stringc& path, bool quiet) = nullptr;
  void (*loadMaterialDescriptors)(const irr::core::stringc& path) = nullptr;
  void (*loadModelDescriptors)(const irr::core::stringc& path) = nullptr;
  void (*loadSoundDescriptors)(GfxResourceRegistry& registry, const irr::core::stringc& path) = nullptr;
  // The sound device's loader: a source with one reference, or null.
  audio::ISoundSource* (*loadSoundSource)(const char* path) = nullptr;
  // Drops one reference of a sound source.
  void (*dropSoundSource)(audio::ISoundSource* source) = nullptr;
  // Releases what the GUI environment holds of the session's materials (the
  // sprite banks of the material descriptors) at session end.
  void (*releaseSessionSpriteBanks)() = nullptr;
};
extern GfxLoadHooks gfxLoadHooks;

// The session's descriptor files, read in list order and emptied.
struct GfxDescriptorLists {
  std::vector<irr::core::stringc>* shaders = nullptr;
  std::vector<irr::core::stringc>* materials = nullptr;
  std::vector<irr::core::stringc>* models = nullptr;
  std::vector<irr::core::stringc>* sounds = nullptr;
};

// The driver's texture limit for a texture quality (0 "Very Low" to 4 "Very
// High"); false for any other quality (the limit stays).
bool textureLimitForQuality(int32_t quality, irr::u32& limit);

// The 16 x 16 error image: 8-pixel squares, black top-left and bottom-right,
// opaque magenta in the other two. The caller drops it.
irr::video::IImage* createErrorImage(irr::video::IVideoDriver* driver);

// The session's graphics start-up: error resources, then the shader,
// material, model and sound descriptors of `lists`, the planet spheres and
// the error sound. Progress texts go to `showLoadingScreen` when it is set.
void initGfxResources(const GfxDescriptorLists& lists, int32_t textureQuality,
                      void (*showLoadingScreen)(const wchar_t* text));

// Empties the registries at session end; the error resources stay.
void clearGfxResources(GfxResourceRegistry& registry);

// In kilobytes: pitch x height of the texture of every layer of every named
// material (a texture counted each time it is used), a third more for one
// with mip-maps.
uint32_t namedMaterialTextureMemoryKB(GfxResourceRegistry& registry);

// The registered model, material or sound, else the error one (the error
// sound may itself be null). Never null for models and materials.
ModelRef* getModelRef(const irr::core::stringw& name);
irr::video::SMaterial* getMaterial(const irr::core::stringw& name);
audio::ISoundSource* getSoundSource(const irr::core::stringw& name);

// The value slot of the entry `name`, or null when it is not registered.
template <class V>
V* findNamedValue(typename NamedVar<V>::Registry& registry, const irr::core::stringw& name) {
  const irr::s32 index = NamedVar<V>::find(registry, name);
  return index < 0 ? nullptr : &registry[static_cast<irr::u32>(index)].value;
}

// Whether `text` ends with `ending`, A-Z compared without case.
bool endsWithNoCase(const wchar_t* text, const wchar_t* ending);
inline bool endsWithNoCase(const irr::core::stringw& text, const irr::core::stringw& ending) {
  return endsWithNoCase(text.c_str(), ending.c_str());
}
