#include "gfx/gas_sprites.h"

#include <cstdint>

#include "core/log.h"
#include "core/save_stream.h"

namespace {

constexpr size_t kMaxSavedSprites = 0xFFFF;

std::vector<GasSpriteRecord> sprites;

}  // namespace

void createGalaxyGasSprite(const irr::core::stringw& material, float size, const irr::core::vector3df& position,
                           irr::video::SColor color, float fadeDistance) {
  GasSpriteRecord record;
  record.material = material;
  record.size = size;
  record.fadeDistance = fadeDistance;
  record.color = color;
  record.position = position;
  sprites.push_back(record);
  // (With "bDisplayGas", the sprite's fading billboard is made here from the
  // named material and handed to the active graphics effects.)
}

void clearGalaxyGasSprites() {
  sprites.clear();
  sprites.shrink_to_fit();
}

const std::vector<GasSpriteRecord>& galaxyGasSprites() { return sprites; }

void saveGalaxyGasSprites(SaveStream& stream) {
  size_t count = sprites.size();
  if (count > kMaxSavedSprites) {
    logWarning("Only %zu of %zu galaxy gas sprites fit into the save file\n", kMaxSavedSprites, count);
    count = kMaxSavedSprites;
  }
  stream.writeU16(static_cast<uint16_t>(count));
  for (size_t i = 0; i < count; ++i) {
    const GasSpriteRecord& record = sprites[i];
    stream.writeString(record.material);
    stream.writeFloat(record.fadeDistance);
    stream.writeFloat(record.size);
    stream.writeU32(record.color.color);
    stream.writeFloat(record.position.X);
    stream.writeFloat(record.position.Y);
    stream.writeFloat(record.position.Z);
  }
}

void loadGalaxyGasSprites(SaveStream& stream) {
  const uint16_t count = stream.readU16();
  for (uint16_t i = 0; i < count; ++i) {
    irr::core::stringw material;
    stream.readString(material);
    const float fadeDistance = stream.readFloat();
    const float size = stream.readFloat();
    const irr::video::SColor color(stream.readU32());
    irr::core::vector3df position;
    stream.readFloat3(position.X, position.Y, position.Z);
    createGalaxyGasSprite(material, size, position, color, fadeDistance);
  }
}
