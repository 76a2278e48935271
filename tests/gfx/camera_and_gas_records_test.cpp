// The game camera's record (88 bytes) and the galaxy gas sprites' list in a
// saved game: their bytes, their reading back, and what a short file leaves.
#include <gtest/gtest.h>

#include "gfx/game_camera.h"
#include "gfx/gas_sprites.h"
#include "gfx/gfx_effects.h"
#include "platform/bit_stream.h"
#include "support/save_bytes.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"

namespace camera_and_gas_records_test {

namespace {

using irr::core::quaternion;
using irr::core::vector3df;

GameCamera sampleCamera() {
  GameCamera camera;
  camera.focusAnchor = vector3df(1, 2, 3);
  camera.objectOffset = vector3df(4, 5, 6);
  camera.targetOffset = vector3df(7, 8, 9);
  camera.orientation = quaternion(0.5f, 0.25f, 0.125f, 2.0f);
  camera.targetOrientation = quaternion(-1, -2, -4, -8);
  camera.positionMode = CM_Object;
  camera.targetMode = CM_ObjectForward;
  camera.zoomDistance = 1500.0f;
  camera.shake = 0.75f;
  return camera;
}

TEST(GameCameraTest, StartsAsTheViewExpects) {
  const GameCamera camera;
  EXPECT_EQ(camera.lastPosition, vector3df(1, 1, 1));
  EXPECT_EQ(camera.orientation, quaternion(0, 0, 0, 1));
  EXPECT_EQ(camera.targetOrientation, quaternion(0, 0, 0, 1));
  EXPECT_EQ(camera.positionMode, CM_Normal);
  EXPECT_EQ(camera.targetMode, CM_Normal);
  EXPECT_TRUE(camera.freeform);
  EXPECT_EQ(camera.verticalSensitivity, 0.25f);
  EXPECT_EQ(camera.horizontalSensitivity, 0.25f);
  EXPECT_EQ(camera.zoomSpeed, 0.8f);
  EXPECT_EQ(camera.moveSpeed, 1.0f);
  EXPECT_EQ(camera.panSpeed, 1.0f);
  EXPECT_EQ(camera.focus, nullptr);
  EXPECT_EQ(camera.node, nullptr);
}

TEST(GameCameraTest, RecordBytesAndReadingBack) {
  auto stream = SaveStream::createInMemory();
  sampleCamera().save(*stream);
  const Bytes body = writtenBody(*stream);
  ASSERT_EQ(body.size(), GameCamera::kRecordSize);
  EXPECT_EQ(hexText(body),
            hex("0000803F 00000040 00004040"           // focusAnchor
                "00008040 0000A040 0000C040"           // objectOffset
                "0000E040 00000041 00001041"           // targetOffset
                "0000003F 0000803E 0000003E 00000040"  // orientation
                "000080BF 000000C0 000080C0 000000C1"  // targetOrientation
                "02000000 03000000"                    // modes
                "0080BB44 0000403F"                    // zoomDistance, shake
                "00000000"));                          // no focus

  // Read back, and with a UID that names an object: no object can be shown
  // yet, so the camera keeps its loaded fields and no focus.
  generic_object* object = new generic_object(nullptr, nullptr, nullptr);
  Bytes withUid = body;
  for (int i = 0; i < 4; ++i)
    withUid[84 + i] = static_cast<uint8_t>(object->uid >> (8 * i));
  for (const Bytes* record : std::initializer_list<const Bytes*>{&body, &withUid}) {
    const Bytes file = withHeader(*record);
    auto reader = readerOver(file);
    GameCamera loaded;
    loaded.load(*reader);
    const GameCamera expected = sampleCamera();
    EXPECT_EQ(reader->remaining(), 0u);
    EXPECT_EQ(loaded.focusAnchor, expected.focusAnchor);
    EXPECT_EQ(loaded.objectOffset, expected.objectOffset);
    EXPECT_EQ(loaded.targetOffset, expected.targetOffset);
    EXPECT_EQ(loaded.orientation, expected.orientation);
    EXPECT_EQ(loaded.targetOrientation, expected.targetOrientation);
    EXPECT_EQ(loaded.positionMode, expected.positionMode);
    EXPECT_EQ(loaded.targetMode, expected.targetMode);
    EXPECT_EQ(loaded.zoomDistance, expected.zoomDistance);
    EXPECT_EQ(loaded.shake, expected.shake);
    EXPECT_EQ(loaded.focus, nullptr);
  }
  object->drop();
  clearObjectRegistry();
}

TEST(GameCameraTest, OldSavesHoldTheFocusUidAloneAndShortRecordsFail) {
  // Before version 17: four bytes, nothing else read.
  const Bytes file = withHeader(hexBytes("07000000 AA"), 16);
  auto reader = readerOver(file);
  GameCamera camera = sampleCamera();
  camera.loadFocusUid(*reader);
  EXPECT_EQ(reader->remaining(), 1u);
  EXPECT_EQ(camera.zoomDistance, 1500.0f);
  EXPECT_EQ(camera.focus, nullptr);

  const Bytes cut = withHeader(Bytes(GameCamera::kRecordSize - 1, 0));
  auto shortReader = readerOver(cut);
  EXPECT_EQ(saveErrorOf([&] { camera.load(*shortReader); }), kSaveErrorEOF);
}

class GasSpritesTest : public testing::Test {
 protected:
  void TearDown() override {
    clearGalaxyGasSprites();
    clearActiveGfxEffects();  // the billboards of gas display
  }
};

TEST_F(GasSpritesTest, RecordsAreSavedInCreationOrderAndComeBack) {
  auto empty = SaveStream::createInMemory();
  saveGalaxyGasSprites(*empty);
  EXPECT_EQ(hexText(writtenBody(*empty)), hex("00 00"));

  createGalaxyGasSprite(L"gas", 2.0f, vector3df(1, 2, 3), irr::video::SColor(0x80FF0000), 100.0f);
  createGalaxyGasSprite(L"cloud\u0100", 0.5f, vector3df(-1, 0, 0), irr::video::SColor(0xFFFFFFFF), 0.0f);
  auto stream = SaveStream::createInMemory();
  saveGalaxyGasSprites(*stream);
  const Bytes body = writtenBody(*stream);
  EXPECT_EQ(hexText(body), hex("0200"
                               "0300 00 676173 0000C842 00000040 0000FF80 0000803F 00000040 00004040"
                               "0600 01 6300 6C00 6F00 7500 6400 0001"
                               "00000000 0000003F FFFFFFFF 000080BF 00000000 00000000"));

  clearGalaxyGasSprites();
  EXPECT_TRUE(galaxyGasSprites().empty());
  const Bytes file = withHeader(body);
  auto reader = readerOver(file);
  loadGalaxyGasSprites(*reader);
  ASSERT_EQ(galaxyGasSprites().size(), 2u);
  const GasSpriteRecord first = galaxyGasSprites()[0];
  EXPECT_EQ(first.material, irr::core::stringw(L"gas"));
  EXPECT_EQ(first.size, 2.0f);
  EXPECT_EQ(first.fadeDistance, 100.0f);
  EXPECT_EQ(first.color.color, 0x80FF0000u);
  EXPECT_EQ(first.position, vector3df(1, 2, 3));
  EXPECT_EQ(galaxyGasSprites()[1].material, irr::core::stringw(L"cloud\u0100"));
}

Bytes streamBytes(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  return data == nullptr ? Bytes() : Bytes(data, data + stream.GetNumberOfBytesUsed());
}

// The network record (137's body) is the save record's fields in network
// byte order, with a u32 count and the position as one reversed block.
TEST_F(GasSpritesTest, NetworkRecordsComeBackInOrder) {
  createGalaxyGasSprite(L"gas", 2.0f, vector3df(1, 2, 3), irr::video::SColor(0x80FF0000), 100.0f);
  createGalaxyGasSprite(L"c\u0100", 0.5f, vector3df(-1, 0, 0), irr::video::SColor(0xFFFFFFFF), 0.0f);
  RakNet::BitStream stream;
  writeGalaxyGasSprites(stream);
  EXPECT_EQ(hexText(streamBytes(stream)), hex("00000002"
                                              "03 6700 6100 7300 42C80000 40000000 80FF0000 40400000 40000000 3F800000"
                                              "02 6300 0001 00000000 3F000000 FFFFFFFF 00000000 00000000 BF800000"));
  clearGalaxyGasSprites();
  EXPECT_EQ(readGalaxyGasSprites(stream), 2u);
  const std::vector<GasSpriteRecord> read = galaxyGasSprites();
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].material, irr::core::stringw(L"gas"));
  EXPECT_EQ(read[0].size, 2.0f);
  EXPECT_EQ(read[0].fadeDistance, 100.0f);
  EXPECT_EQ(read[0].color.color, 0x80FF0000u);
  EXPECT_EQ(read[0].position, vector3df(1, 2, 3));
  EXPECT_EQ(read[1].material, irr::core::stringw(L"c\u0100"));
  EXPECT_EQ(read[1].position, vector3df(-1, 0, 0));
}

// A count that promises more than the message holds, and a message cut at
// any length: the complete records before the cut make sprites, nothing
// more.
TEST_F(GasSpritesTest, ACutNetworkListKeepsItsCompleteRecords) {
  for (int i = 0; i < 3; ++i)
    createGalaxyGasSprite(L"mist", 1.0f, vector3df(static_cast<float>(i), 0, 0), irr::video::SColor(0), 5.0f);
  RakNet::BitStream written;
  writeGalaxyGasSprites(written);
  clearGalaxyGasSprites();
  Bytes bytes = streamBytes(written);
  const size_t recordSize = (bytes.size() - 4) / 3;

  Bytes promisingTen = bytes;
  promisingTen[3] = 10;
  RakNet::BitStream ten(promisingTen.data(), promisingTen.size(), false);
  EXPECT_EQ(readGalaxyGasSprites(ten), 3u);
  EXPECT_EQ(galaxyGasSprites().size(), 3u);

  for (size_t length = 0; length < bytes.size(); ++length) {
    clearGalaxyGasSprites();
    RakNet::BitStream cut(bytes.data(), length, false);
    const unsigned expected = length < 4 ? 0u : static_cast<unsigned>((length - 4) / recordSize);
    EXPECT_EQ(readGalaxyGasSprites(cut), expected) << length;
    EXPECT_EQ(galaxyGasSprites().size(), expected) << length;
  }
}

TEST_F(GasSpritesTest, AShortListKeepsTheSpritesReadBeforeIt) {
  createGalaxyGasSprite(L"a", 1.0f, vector3df(), irr::video::SColor(0), 0.0f);
  createGalaxyGasSprite(L"b", 1.0f, vector3df(), irr::video::SColor(0), 0.0f);
  auto stream = SaveStream::createInMemory();
  saveGalaxyGasSprites(*stream);
  clearGalaxyGasSprites();
  Bytes file = stream->memoryBytes();
  file.resize(file.size() - 1);
  auto reader = readerOver(file);
  EXPECT_EQ(saveErrorOf([&] { loadGalaxyGasSprites(*reader); }), kSaveErrorEOF);
  ASSERT_EQ(galaxyGasSprites().size(), 1u);
  EXPECT_EQ(galaxyGasSprites()[0].material, irr::core::stringw(L"a"));
}

}  // namespace

}  // namespace camera_and_gas_records_test
