// What our engine build adds to the video driver's textures:
//
//  - the texture limit, a number of pixels that texture loading shrinks
//    images to; start-up and the material descriptors raise and lower it
//    around their work. It is a value we keep: setting it changes nothing in
//    the engine itself.
//  - the size table: the pixel size of the image each texture was made from,
//    filled by the helpers below. Textures on the null video driver report a
//    size of 0 x 0 to the engine's own query, so everything that needs a
//    texture's size reads it through textureSize.
#pragma once

#include <irrlicht.h>

namespace plat {

// The limit in force until someone sets another: the highest texture
// quality's value.
constexpr irr::u32 kDefaultTextureLimit = 104857600;

irr::u32 getTextureLimit(const irr::video::IVideoDriver* driver);
void setTextureLimit(irr::video::IVideoDriver* driver, irr::u32 pixels);

// Makes the texture `name` from `image` (the caller keeps its image) and
// records the image's size. Null when the driver refuses.
irr::video::ITexture* addImageTexture(irr::video::IVideoDriver* driver, const irr::io::path& name,
                                      irr::video::IImage* image);

// The driver's texture of that file: one it already has, else one made from
// the file's image, whose size is recorded. Null when the file cannot be read.
irr::video::ITexture* loadTextureFile(irr::video::IVideoDriver* driver, const irr::io::path& file);

// The recorded size of `texture`, else the engine's own (0 x 0 for none).
irr::core::dimension2du textureSize(const irr::video::ITexture* texture);

// Records a size for a texture made elsewhere (the texture loader).
void recordTextureSize(const irr::video::ITexture* texture, const irr::core::dimension2du& size);

// Forgets the texture's size, and removes it from the driver.
void removeTexture(irr::video::IVideoDriver* driver, irr::video::ITexture* texture);

// Forgets every recorded size (the driver has dropped all its textures).
void forgetTextureSizes();

}  // namespace plat
