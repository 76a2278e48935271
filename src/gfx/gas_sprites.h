// The galaxy's gas sprites: large camera-facing sprites that scripts put into
// the galaxy as gas clouds. Every sprite is a record in one global list, in
// creation order; the list is saved with the game, sent to joining players
// and recreated from both. While gas display is on ("bDisplayGas") each
// sprite is also shown by a fading billboard on the active effect list,
// which hides itself when the camera comes close and fades out around the
// mouse cursor.
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
// Record sent to a joining player (the body of message 137), bit stream,
// multi-byte numbers most significant byte first:
//
//   field            layout
//   count            u32
//   per record:
//     material name  length byte (at most 255 units), then the UTF-16
//                    units byte-aligned, each low byte first
//     fade distance  f32
//     size           f32
//     colour         u32 ARGB
//     position       x, y, z as one reversed 12-byte block (z first)
//
// The script call and the session's save, load and tear-down run on the
// main thread; a galaxy transfer reads the list from its own thread, so the
// list is guarded by a lock of its own.
#pragma once

#include <SColor.h>
#include <irrString.h>
#include <vector3d.h>

#include <vector>

#include "gfx/gfx_effects.h"

class SaveStream;
namespace RakNet {
class BitStream;
}

struct GasSpriteRecord {
  irr::core::stringw material;
  float size = 0.0f;          // world units: the billboard's width and height
  float fadeDistance = 0.0f;  // world units
  irr::video::SColor color;
  irr::core::vector3df position;
};

// A gas sprite's billboard: hidden while the game camera is within the fade
// distance, fading in up to twice that distance, and (with cursor fade)
// fading out while the mouse cursor is within a few of its on-screen sizes.
// It never finishes: it lives until the active effect list is cleared.
// Without a scene manager it has no billboard and shows nothing.
class gfx_fading_bboard : public gfx_base {
 public:
  // Makes the billboard at the scene root, `size` wide and high at
  // `position`, both shades in `color`, with a copy of `material` (may be
  // null: the engine's default material).
  gfx_fading_bboard(float size, const irr::core::vector3df& position, irr::video::SColor color, float fadeDistance,
                    bool cursorFade, const irr::video::SMaterial* material);
  ~gfx_fading_bboard() override;

  bool update(float seconds) override;

  irr::scene::IBillboardSceneNode* node() const { return node_; }

 private:
  irr::scene::IBillboardSceneNode* node_ = nullptr;
  irr::video::SColor color_;
  irr::u8 baseAlpha_;
  float fadeDistance_;
  bool cursorFade_;
};

// Records a sprite (appends it to the list) and, with gas display on, shows
// it: a fading billboard of the named material (the error material when
// none has that name) joins the active effects, with cursor fade when the
// fade distance is above 0.
void createGalaxyGasSprite(const irr::core::stringw& material, float size, const irr::core::vector3df& position,
                           irr::video::SColor color, float fadeDistance);
// Deletes every record.
void clearGalaxyGasSprites();
// A copy of the records in creation order.
std::vector<GasSpriteRecord> galaxyGasSprites();

// Writes the list. Beyond 65,535 records the rest are left out, with a
// warning: the count has 16 bits.
void saveGalaxyGasSprites(SaveStream& stream);
// Reads a list and creates each sprite as a new one. A short read throws
// {4, "Unexpected EOF"}; the sprites read before it stay.
void loadGalaxyGasSprites(SaveStream& stream);

// Writes the list for a joining player (after the message id).
void writeGalaxyGasSprites(RakNet::BitStream& stream);
// Reads a list sent by the server and creates each sprite as a new one. The
// count reserves nothing: records are read until the count is reached or
// one is cut short; the complete records before it make sprites. Returns
// the number of sprites made.
unsigned readGalaxyGasSprites(RakNet::BitStream& stream);
