#include "gfx/gas_sprites.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "gfx/game_camera.h"
#include "gfx/gfx_resources.h"
#include "platform/bit_stream.h"

namespace {

constexpr size_t kMaxSavedSprites = 0xFFFF;

// Longest material name a network record carries.
constexpr unsigned kMaxNetMaterialLength = 255;

// A billboard shows only from this alpha on.
constexpr irr::u32 kLeastShownAlpha = 2;
// Cursor fade: the cursor's distance is measured in on-screen sprite sizes,
// taken as the billboard's width x this over the camera distance.
constexpr float kCursorFadeScale = 300.0f;
// Cursor fade: fully faded within one size, fully shown from three on.
constexpr float kCursorFadeStart = 1.0f;
constexpr float kCursorFadeEnd = 3.0f;

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
  {
    std::lock_guard<std::mutex> guard(spritesMutex);
    sprites.push_back(record);
  }
  if (bDisplayGas)
    addActiveGfxEffect(
        new gfx_fading_bboard(size, position, color, fadeDistance, fadeDistance > 0.0f, getMaterial(material)));
}

gfx_fading_bboard::gfx_fading_bboard(float size, const irr::core::vector3df& position, irr::video::SColor color,
                                     float fadeDistance, bool cursorFade, const irr::video::SMaterial* material)
    : color_(color),
      baseAlpha_(static_cast<irr::u8>(color.getAlpha())),
      fadeDistance_(fadeDistance),
      cursorFade_(cursorFade) {
  if (engine.scene == nullptr)
    return;
  node_ = engine.scene->addBillboardSceneNode(nullptr, irr::core::dimension2df(size, size), position, -1, color, color);
  if (node_ == nullptr)
    return;
  if (material != nullptr)
    node_->getMaterial(0) = *material;
  node_->updateAbsolutePosition();
}

gfx_fading_bboard::~gfx_fading_bboard() {
  if (node_ != nullptr)
    node_->remove();
}

bool gfx_fading_bboard::update(float) {
  if (node_ == nullptr)
    return false;
  const irr::core::vector3df position = node_->getAbsolutePosition();
  const float distance = gameCamera.lastPosition.getDistanceFrom(position);
  if (!(distance > fadeDistance_)) {
    node_->setVisible(false);
    return false;
  }
  // Fades in between one and two fade distances; without a fade distance
  // the sprite is fully shown.
  irr::u32 level = 255;
  if (fadeDistance_ > 0.0f) {
    const float beyond = (distance - fadeDistance_) / fadeDistance_;
    if (beyond < 1.0f)
      level = static_cast<irr::u32>(255.0f * beyond);
  }
  const float width = node_->getSize().Width;
  if (level >= kLeastShownAlpha && cursorFade_ && width > 0.0f && engine.cursor != nullptr &&
      engine.collision != nullptr) {
    const irr::core::vector2di cursor = engine.cursor->getPosition();
    const irr::core::vector2di screen = engine.collision->getScreenCoordinatesFrom3DPosition(position);
    const float pixels =
        irr::core::vector2df(static_cast<float>(cursor.X - screen.X), static_cast<float>(cursor.Y - screen.Y)).getLength();
    const float sizes = pixels * distance / (width * kCursorFadeScale);
    irr::u32 cursorLevel = 0;
    if (sizes >= kCursorFadeEnd)
      cursorLevel = 255;
    else if (sizes >= kCursorFadeStart)
      cursorLevel = static_cast<irr::u32>((sizes - kCursorFadeStart) * 0.5f * 255.0f);
    level = std::min(level, cursorLevel);
  }
  const irr::u32 alpha = baseAlpha_ * level / 255;
  if (alpha < kLeastShownAlpha) {
    node_->setVisible(false);
    return false;
  }
  color_.setAlpha(alpha);
  node_->setColor(color_);
  node_->setVisible(true);
  return false;
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
