// The client script type `Texture`, a handle to one of the video driver's
// textures (the handle is the engine texture itself), and the lock that
// guards every GUI script handle.
//
//   add-reference / release   grab / drop the texture, under guiHandleLock;
//                             the last drop deletes it
//   "dim2di get_size() const" the size of the image the texture was made
//                             from (the engine's size table: textures on the
//                             null driver report 0 x 0 themselves)
//   "recti get_rect() const"  recti(0, 0, width, height) of that size
//
//   "const Texture@+ getMaterialTexture(const string &)"
//       the first-layer texture of the material of that name, or of the
//       error material when no material has the name (the error texture);
//       null for a material without a texture.
#pragma once

#include <angelscript.h>

#include "core/locks.h"

namespace irr::video {
class ITexture;
}

// Guards the script handles of GUI elements and textures: the reference
// changes that script handles make.
extern Mutex guiHandleLock;

// Registers the type with its behaviours and methods, then
// getMaterialTexture (client engine only).
void registerScriptTexture(AngelScript::asIScriptEngine* engine);

// One reference more or less on a texture, under guiHandleLock (null: none).
void textureHandleAddRef(const irr::video::ITexture* texture);
void textureHandleRelease(const irr::video::ITexture* texture);
