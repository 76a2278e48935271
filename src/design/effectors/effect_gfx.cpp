// Effect graphics calls, their pending queue and message 129.
//
// Message 129 (bit stream):
//
//   field                 encoding
//   message id 129        u8
//   sub-kind 0 (calls)    u8
//   call count n          u8, at most 255; exactly n calls follow
//   n calls               in queue order:
//
//   kind               fields after the kind byte (u8)
//   0 instant hit      effector id; source; target
//   1 beam             effector id; source; target; duration (float)
//   2 projectile       effector id; source; target; delay (float); speed (float)
//   3 area burst       effector id; source; range (float)
//
// The effector id is the definition's id as a compressed u32; objects are
// object references (net_encoders.h: the UID as a compact unsigned); floats
// are 32-bit floats. A queue of more than 255 calls goes out as several
// messages.
#include "design/effectors/effect_gfx.h"

#include <memory>
#include <utility>
#include <vector>

#include "core/locks.h"
#include "core/net_encoders.h"
#include "design/effectors/effector_def.h"
#include "gfx/graphics_object.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_pools.h"
#include "universe/objects/object_registry.h"

namespace {

// One pool per call class, for the whole process.
template <class Call>
ObjectPool& effGfxPool() {
  static ObjectPool* pool = new ObjectPool(sizeof(Call));
  return *pool;
}

// The pending calls in arrival order, and the effect-graphics lock that
// guards them.
Mutex& queueLock() {
  static Mutex* lock = new Mutex;
  return *lock;
}
std::vector<EffGfxCall*>& pendingCalls() {
  static std::vector<EffGfxCall*>* calls = new std::vector<EffGfxCall*>;
  return *calls;
}

void deleteCalls(std::vector<EffGfxCall*>& calls) {
  for (EffGfxCall* call : calls)
    delete call;
  calls.clear();
}

// Writes at most one message's calls from `first` on; the caller holds the
// lock.
unsigned writeCalls(RakNet::BitStream& stream, size_t first) {
  const std::vector<EffGfxCall*>& calls = pendingCalls();
  const size_t left = first < calls.size() ? calls.size() - first : 0;
  const unsigned count = left < kMaxEffGfxCallsPerMessage ? static_cast<unsigned>(left) : kMaxEffGfxCallsPerMessage;
  stream.Write(static_cast<uint8_t>(count));
  for (unsigned i = 0; i < count; ++i)
    calls[first + i]->write(stream);
  return count;
}

// --- Reading ------------------------------------------------------------------

// The fields of one entry, as read.
struct CallFields {
  uint8_t kind = EGK_Instant;
  uint32_t effectorId = 0;
  uint32_t sourceUid = 0;
  uint32_t targetUid = 0;
  float first = 0.0f;   // duration, delay or range
  float second = 0.0f;  // speed
};

uint32_t readObjectUid(RakNet::BitStream& stream) {
  const uint32_t uid = readNetUInt(stream);
  if (stream.ReadFailed())
    throw EGC_EndOfMessage;
  return uid;
}

float readFloat(RakNet::BitStream& stream) {
  float value = 0.0f;
  if (!stream.Read(value))
    throw EGC_EndOfMessage;
  return value;
}

// Reads every field of an entry whose kind byte was read.
CallFields readFields(RakNet::BitStream& stream, uint8_t kind) {
  CallFields fields;
  fields.kind = kind;
  if (!stream.ReadCompressed(fields.effectorId))
    throw EGC_EndOfMessage;
  fields.sourceUid = readObjectUid(stream);
  if (kind != EGK_AOE)
    fields.targetUid = readObjectUid(stream);
  if (kind != EGK_Instant)
    fields.first = readFloat(stream);
  if (kind == EGK_Bullet)
    fields.second = readFloat(stream);
  return fields;
}

// A reference taken on an object found by UID, for the time of one look-up.
class FoundObject {
 public:
  explicit FoundObject(uint32_t uid) : object_(getObjectByUIDRef(uid)) {}
  ~FoundObject() {
    if (object_ != nullptr)
      object_->drop();
  }
  FoundObject(const FoundObject&) = delete;
  FoundObject& operator=(const FoundObject&) = delete;
  // The object, which must have a graphics object still in the scene to show
  // a call on.
  generic_object* shown() const {
    if (object_ == nullptr || object_->graphics == nullptr || !object_->graphics->attached.load())
      throw EGC_Dropped;
    return object_;
  }

 private:
  generic_object* object_;
};

// The call an entry names.
EffGfxCall* makeCall(const CallFields& fields) {
  const effector_def* def = findEffectorById(fields.effectorId);
  if (def == nullptr)
    throw EGC_Dropped;
  FoundObject found(fields.sourceUid);
  generic_object* source = found.shown();
  if (fields.kind == EGK_AOE)
    return new EffGfxAOE(&def->gfx, source, fields.first);
  FoundObject foundTarget(fields.targetUid);
  generic_object* target = foundTarget.shown();
  switch (fields.kind) {
    case EGK_Instant:
      return new EffGfxInstant(&def->gfx, source, target);
    case EGK_Beam:
      return new EffGfxBeam(&def->gfx, source, target, fields.first);
    default:
      return new EffGfxBullet(&def->gfx, source, target, fields.first, fields.second);
  }
}

}  // namespace

// --- Calls --------------------------------------------------------------------

EffGfxCall::EffGfxCall(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject,
                       generic_object* targetObject)
    : settings(gfxSettings),
      source(sourceObject),
      target(targetObject),
      sourceGraphics(sourceObject != nullptr ? sourceObject->graphics : nullptr),
      targetGraphics(targetObject != nullptr ? targetObject->graphics : nullptr) {}

void EffGfxCall::writeCommon(RakNet::BitStream& stream, EffGfxKind kind, bool withTarget) const {
  stream.Write(static_cast<uint8_t>(kind));
  stream.WriteCompressed(settings->def->id);
  writeNetObjectRef(stream, source.get());
  if (withTarget)
    writeNetObjectRef(stream, target.get());
}

EffGfxInstant::EffGfxInstant(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject,
                             generic_object* targetObject)
    : EffGfxCall(gfxSettings, sourceObject, targetObject) {}

void EffGfxInstant::write(RakNet::BitStream& stream) const { writeCommon(stream, EGK_Instant, true); }

void* EffGfxInstant::operator new(size_t size) { return effGfxPool<EffGfxInstant>().allocate(size); }

void EffGfxInstant::operator delete(void* memory) { effGfxPool<EffGfxInstant>().free(memory); }

EffGfxBeam::EffGfxBeam(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject,
                       generic_object* targetObject, float beamDuration)
    : EffGfxCall(gfxSettings, sourceObject, targetObject), duration(beamDuration) {}

void EffGfxBeam::write(RakNet::BitStream& stream) const {
  writeCommon(stream, EGK_Beam, true);
  stream.Write(duration);
}

void* EffGfxBeam::operator new(size_t size) { return effGfxPool<EffGfxBeam>().allocate(size); }

void EffGfxBeam::operator delete(void* memory) { effGfxPool<EffGfxBeam>().free(memory); }

EffGfxBullet::EffGfxBullet(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject,
                           generic_object* targetObject, float flightDelay, float projectileSpeed)
    : EffGfxCall(gfxSettings, sourceObject, targetObject), delay(flightDelay), speed(projectileSpeed) {}

void EffGfxBullet::write(RakNet::BitStream& stream) const {
  writeCommon(stream, EGK_Bullet, true);
  stream.Write(delay);
  stream.Write(speed);
}

void* EffGfxBullet::operator new(size_t size) { return effGfxPool<EffGfxBullet>().allocate(size); }

void EffGfxBullet::operator delete(void* memory) { effGfxPool<EffGfxBullet>().free(memory); }

EffGfxAOE::EffGfxAOE(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject, float burstRange)
    : EffGfxCall(gfxSettings, sourceObject, nullptr), range(burstRange) {}

void EffGfxAOE::write(RakNet::BitStream& stream) const {
  writeCommon(stream, EGK_AOE, false);
  stream.Write(range);
}

void* EffGfxAOE::operator new(size_t size) { return effGfxPool<EffGfxAOE>().allocate(size); }

void EffGfxAOE::operator delete(void* memory) { effGfxPool<EffGfxAOE>().free(memory); }

// --- The queue ----------------------------------------------------------------

void queueEffGfxCall(EffGfxCall* call) {
  if (call == nullptr)
    return;
  MutexGuard guard(queueLock());
  pendingCalls().push_back(call);
}

unsigned writeEffGfxQueue(RakNet::BitStream& stream, unsigned first) {
  MutexGuard guard(queueLock());
  return writeCalls(stream, first);
}

void readEffGfxCalls(RakNet::BitStream& stream) {
  uint8_t count = 0;
  if (!stream.Read(count))
    return;
  // Entries are read and resolved without the lock (the look-ups take the
  // registry's lock), then queued together.
  std::vector<EffGfxCall*> calls;
  calls.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    uint8_t kind = 0;
    if (!stream.Read(kind) || kind > EGK_AOE)
      break;
    try {
      calls.push_back(makeCall(readFields(stream, kind)));
    } catch (EffGfxCreation reason) {
      if (reason == EGC_EndOfMessage)
        break;
    }
  }
  if (calls.empty())
    return;
  MutexGuard guard(queueLock());
  std::vector<EffGfxCall*>& queue = pendingCalls();
  queue.insert(queue.end(), calls.begin(), calls.end());
}

void clearEffGfxQueue() {
  // The calls are deleted after the lock is given back: dropping an object's
  // last reference releases the object, which takes the registry's lock and
  // what deleting the object takes, while firing threads queue calls with
  // their star system's lock held.
  std::vector<EffGfxCall*> calls;
  {
    MutexGuard guard(queueLock());
    calls.swap(pendingCalls());
  }
  deleteCalls(calls);
}

void clearEffGfxQueueUnlocked() { deleteCalls(pendingCalls()); }

size_t effGfxQueueSize() {
  MutexGuard guard(queueLock());
  return pendingCalls().size();
}

void playEffGfxQueue() {
  MutexGuard guard(queueLock());
  for (EffGfxCall* call : pendingCalls())
    call->play();
}

void sendEffectGraphics() {
  if (networkManager == nullptr || networkManager->playerCount() == 0)
    return;
  const std::vector<RakNet::SystemAddress> targets = networkManager->inGamePlayerAddresses();
  if (targets.empty())
    return;
  std::vector<std::unique_ptr<RakNet::BitStream>> messages;
  {
    MutexGuard guard(queueLock());
    const size_t total = pendingCalls().size();
    for (size_t first = 0; first < total; first += kMaxEffGfxCallsPerMessage) {
      auto message = std::make_unique<RakNet::BitStream>();
      message->Write(ID_EFFECT_GFX);
      message->Write(kEffGfxSubKindCalls);
      writeCalls(*message, first);
      messages.push_back(std::move(message));
    }
  }
  for (const auto& message : messages)
    for (const RakNet::SystemAddress& target : targets)
      networkManager->send(message.get(), kEffGfxChannel, RakNet::RELIABLE_SEQUENCED, target);
}

void EffectsHandler::handle(uint8_t, RakNet::BitStream& stream, NetPlayer*) {
  uint8_t subKind = 0;
  if (!stream.Read(subKind) || subKind != kEffGfxSubKindCalls)
    return;
  if (networkManager != nullptr && networkManager->isServer)
    return;
  readEffGfxCalls(stream);
}
