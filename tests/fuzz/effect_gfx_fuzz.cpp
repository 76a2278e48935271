// Fuzz entry point: reads arbitrary bytes as the body of an effect graphics
// message (what follows the id and sub-kind bytes), then clears the queue.
//
// Two effectors (ids 0 and 1) and three objects exist: two with a graphics
// object, one without, so well-formed entries are queued or dropped by
// every rule of the reader. Besides running clean under the sanitizers,
// every input checks: the read position never passes the end; no more calls
// are queued than the count byte announces; the clear empties the queue and
// gives back every reference the calls held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/net_encoders.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector_def.h"
#include "gfx/graphics_object.h"
#include "platform/bit_stream.h"
#include "universe/objects/game_object.h"

using RakNet::BitStream;

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

class FuzzObject : public generic_object {
 public:
  FuzzObject() : generic_object(nullptr, nullptr, nullptr) {}
};

FuzzObject* objects[3] = {nullptr, nullptr, nullptr};

void setUp() {
  static bool done = false;
  if (done)
    return;
  done = true;
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "corvane_effect_gfx_fuzz.txt";
  std::ofstream(file) << "Effector: FuzzLaser\nEffector: FuzzBeam\n";
  loadEffectors(file.string().c_str());
  std::filesystem::remove(file);
  check(findEffectorById(0) != nullptr && findEffectorById(1) != nullptr);
  for (FuzzObject*& object : objects)
    object = new FuzzObject;  // kept for the whole run
  // Graphics objects without a scene node, kept for the whole run.
  objects[0]->graphics = new graphicsObject(nullptr);
  objects[1]->graphics = new graphicsObject(nullptr);
}

void writeEntry(BitStream& stream, uint8_t kind, uint32_t id, uint32_t source, uint32_t target) {
  stream.Write(kind);
  stream.WriteCompressed(id);
  writeNetUInt(stream, source);
  if (kind != EGK_AOE)
    writeNetUInt(stream, target);
  if (kind != EGK_Instant)
    stream.Write(1.5f);
  if (kind == EGK_Bullet)
    stream.Write(200.0f);
}

}  // namespace

extern "C" void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds) {
  setUp();
  const uint32_t shown0 = objects[0]->uid, shown1 = objects[1]->uid, plain = objects[2]->uid;
  BitStream all;
  all.Write(uint8_t{8});
  for (uint8_t kind = EGK_Instant; kind <= EGK_AOE; ++kind)
    writeEntry(all, kind, kind % 2, shown0, shown1);
  writeEntry(all, EGK_Beam, 7, shown0, shown1);      // unknown effector
  writeEntry(all, EGK_Instant, 0, shown0, 0x12345);  // unknown object
  writeEntry(all, EGK_Bullet, 1, plain, shown1);     // no graphics object
  writeEntry(all, EGK_AOE, 0, shown1, 0);
  seeds->emplace_back(all.GetData(), all.GetData() + all.GetNumberOfBytesUsed());
  BitStream one;
  one.Write(uint8_t{1});
  writeEntry(one, EGK_Bullet, 0, shown1, shown0);
  seeds->emplace_back(one.GetData(), one.GetData() + one.GetNumberOfBytesUsed());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  BitStream stream(data, size, false);
  readEffGfxCalls(stream);
  check(stream.GetReadOffset() <= stream.GetNumberOfBitsUsed());
  check(effGfxQueueSize() <= (size > 0 ? data[0] : 0u));
  clearEffGfxQueue();
  check(effGfxQueueSize() == 0);
  for (const FuzzObject* object : objects)
    check(object->refCount.load() == 1);
  return 0;
}
