// The background texture loader: deferred textures of the materials load on
// a thread of their own while a game session loads and during its first
// frames. The loader thread reads (and shrinks) the images; the main thread
// turns each into a texture, puts it into the waiting material layers and,
// once a material has all its deferred textures, copies the material into
// the meshes registered for it. A file asked for by several materials loads
// once.
//
// Session order: resetTextureQueue and the thread started; requests and mesh
// registrations while resources load; processTextureQueue(false) while the
// main thread waits for the script set-up; stopRequested set and
// processTextureQueue(true) once loading is over; processTextureQueue(false)
// on every frame.
#pragma once

#include <irrlicht.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <map>

#include "core/locks.h"

// One queued load.
struct TextureRequest {
  // The absolute, lower-cased path: the key that shares loads.
  irr::core::stringc path;
  // The absolute path as asked for, which is opened (file names keep their
  // case on our file systems).
  irr::core::stringc filePath;
  irr::video::SMaterial* material = nullptr;
  irr::u8 layer = 0;
  irr::u32 maxPixels = 0;
};

// One finished load.
struct LoadedTexture {
  irr::core::stringc path;
  // One reference owned by the record.
  irr::video::IImage* image = nullptr;
  irr::video::SMaterial* material = nullptr;
  irr::u8 layer = 0;
};

struct TextureWaiter {
  irr::video::SMaterial* material = nullptr;
  irr::u8 layer = 0;
};

// Defer priorities of the material descriptors; a lower number is served
// first.
enum TexturePriority : irr::u32 {
  kTextureRequired = 0,
  kTextureHigh = 1,
  kTextureMedium = 2,
  kTextureLow = 3,
};
constexpr irr::u32 kTexturePriorities = 4;

struct TextureLoader {
  // Guards requests, queuedPaths and waiters.
  Mutex requestLock;
  // Guards requiredResults and deferredResults. Taken before requestLock
  // when both are held.
  Mutex resultLock;
  // Main thread only: per material, its deferred textures still to come.
  std::map<irr::video::SMaterial*, irr::u8> pendingPerMaterial;
  // Every path queued since the last reset; null until its texture is made.
  std::map<irr::core::stringc, irr::video::ITexture*> queuedPaths;
  // Further material layers waiting for a path already queued.
  std::multimap<irr::core::stringc, TextureWaiter> waiters;
  // By priority.
  std::list<TextureRequest> requests[kTexturePriorities];
  // Finished images of priorities 1 to 3, and of priority 0.
  std::list<LoadedTexture> deferredResults;
  std::list<LoadedTexture> requiredResults;
  // Main thread only: meshes all of whose buffers use the material, and
  // meshes whose buffer 1 uses it.
  std::multimap<irr::video::SMaterial*, irr::scene::IMesh*> meshesByMaterial;
  std::multimap<irr::video::SMaterial*, irr::scene::IMesh*> secondMaterialMeshes;
  // Set by the session when resource loading is over.
  std::atomic<bool> stopRequested{false};
  // Set by the loader thread as it ends.
  std::atomic<bool> stopped{false};
};

extern TextureLoader textureLoader;
// Materials completed since the last reset; also numbers the textures made.
extern irr::u32 completedMaterialCount;

// Queues `path` for `layer` of `material` (main thread, while resources
// load). `maxPixels` is the driver's texture limit of the moment.
void requestTexture(irr::u32 priority, const irr::core::stringc& path, irr::video::SMaterial* material,
                    irr::u8 layer, irr::u32 maxPixels);

// The model reader's registrations (main thread).
void registerMaterialMesh(irr::video::SMaterial* material, irr::scene::IMesh* mesh);
void registerSecondMaterialMesh(irr::video::SMaterial* material, irr::scene::IMesh* mesh);

// The loader thread's procedure; `loader` is a TextureLoader. Ends (with 0)
// once the stop is requested and no request is left.
uint32_t textureLoaderThread(void* loader);

// Takes the next request, lowest priority number first, oldest first; false
// when there is none. `priority` gets the list it came from.
bool takeTextureRequest(TextureLoader& loader, TextureRequest& out, irr::u32& priority);

// The image shrunk by a power of two on both axes until it fits `maxPixels`
// (the same image when it fits already; else the old one is dropped).
irr::video::IImage* shrinkImageToLimit(irr::video::IVideoDriver* driver, irr::video::IImage* image,
                                       irr::u32 maxPixels);

// The main thread's pump: with `flushRequired` every finished required
// texture is applied, else at most one finished texture.
void processTextureQueue(bool flushRequired);
// Prepares the loader for a new session: whatever the last session left
// (requests, finished images, registered meshes, pending counts) is dropped.
// No loader thread may run meanwhile.
void resetTextureQueue();
// The number of paths queued since the last reset.
irr::u32 queuedTextureCount();

// Steps of the pump (main thread).
void applyLoadedTexture(TextureLoader& loader, LoadedTexture& result);
void refreshMaterialUsers(TextureLoader& loader, irr::video::SMaterial* material);
