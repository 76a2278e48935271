#include "gfx/gas_sprites.h"

#include <cstdint>
#include <mutex>

#include "core/log.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "platform/bit_stream.h"

namespace {

constexpr size_t kMaxSavedSprites = 0xFFFF;

// Longest material name a network record carries.
constexpr unsigned kMaxNetMaterialLength = 255;

std::mutex spritesMutex;
std::vector<GasSpriteRecord> sprites;  // under spritesMutex

}  // namespace

void createGalaxyGasSprite(const irr::core::stringw& material, float size, const irr::core::vector3df& position,
                           irr::video::SColor color, float fadeDistance) {
  GasSpriteRecord record;
  record.material = material;
  record.size = size;
  record.fadeDistance = fadeDistance;
  record.color = color;
  record.position = position;
  std::lock_guard<std::mutex> guard(spritesMutex);
  sprites.push_back(record);
  // (With "bDisplayGas", the sprite's fading billboard is made here from the
  // named material and handed to the active graphics effects.)
}

void clearGalaxyGasSprites() {
  std::lock_guard<std::mutex> guard(spritesMutex);
  sprites.clear();
  sprites.shrink_to_fit();
}

std::vector<GasSpriteRecord> galaxyGasSprites() {
  std::lock_guard<std::mutex> guard(spritesMutex);
  return sprites;
}

void saveGalaxyGasSprites(SaveStream& stream) {
  const std::vector<GasSpriteRecord> sprites = galaxyGasSprites();
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

void writeGalaxyGasSprites(RakNet::BitStream& stream) {
  const std::vector<GasSpriteRecord> records = galaxyGasSprites();
  stream.Write(static_cast<uint32_t>(records.size()));
  for (const GasSpriteRecord& record : records) {
    writeNetStringW(stream, record.material, kMaxNetMaterialLength);
    stream.Write(record.fadeDistance);
    stream.Write(record.size);
    stream.Write(static_cast<uint32_t>(record.color.color));
    const float block[3] = {record.position.X, record.position.Y, record.position.Z};
    stream.WriteReversedBlock(block, sizeof block);
  }
}

unsigned readGalaxyGasSprites(RakNet::BitStream& stream) {
  uint32_t count = 0;
  if (!stream.Read(count))
    return 0;
  unsigned made = 0;
  for (uint32_t i = 0; i < count; ++i) {
    irr::core::stringw material;
    float fadeDistance = 0.0f;
    float size = 0.0f;
    uint32_t color = 0;
    float block[3] = {};
    if (!readNetStringW(stream, material) || !stream.Read(fadeDistance) || !stream.Read(size) ||
        !stream.Read(color) || !stream.ReadReversedBlock(block, sizeof block))
      break;
    createGalaxyGasSprite(material, size, irr::core::vector3df(block[0], block[1], block[2]),
                          irr::video::SColor(color), fadeDistance);
    ++made;
  }
  return made;
}
