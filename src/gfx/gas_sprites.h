// The galaxy's gas sprites: large camera-facing sprites that scripts put into
// the galaxy as gas clouds. Every sprite is a record in one global list, in
// creation order; the list is saved with the game and recreated from the
// save. (The billboards that show them come with the scene graphics.)
//
// Record in a saved game (little-endian):
//
//   field            layout
//   count            u16, at most 65,535 records written
//   per record:
//     material name  wide string (save stream form)
//     fade distance  f32
//     size           f32
//     colour         u32 ARGB
//     position       3 x f32 (x, y, z)
//
// The list has no lock: the script call and the session's save, load and
// tear-down all run on the main thread.
#pragma once

#include <SColor.h>
#include <irrString.h>
#include <vector3d.h>

#include <vector>

class SaveStream;

struct GasSpriteRecord {
  irr::core::stringw material;
  float size = 0.0f;          // world units: the billboard's width and height
  float fadeDistance = 0.0f;  // world units
  irr::video::SColor color;
  irr::core::vector3df position;
};

// Records a sprite (appends it to the list).
void createGalaxyGasSprite(const irr::core::stringw& material, float size, const irr::core::vector3df& position,
                           irr::video::SColor color, float fadeDistance);
// Deletes every record.
void clearGalaxyGasSprites();
// The records in creation order.
const std::vector<GasSpriteRecord>& galaxyGasSprites();

// Writes the list. Beyond 65,535 records the rest are left out, with a
// warning: the count has 16 bits.
void saveGalaxyGasSprites(SaveStream& stream);
// Reads a list and creates each sprite as a new one. A short read throws
// {4, "Unexpected EOF"}; the sprites read before it stay.
void loadGalaxyGasSprites(SaveStream& stream);
