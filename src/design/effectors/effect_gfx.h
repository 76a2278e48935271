// Effect graphics calls: what the clients should show of each effector
// firing (an instant hit, a beam, a projectile or an area burst).
//
// A firing on a galaxy processing thread queues one call; once per frame the
// main loop sends the whole queue to the players in message 129 and empties
// it. A client reads the message back into the same calls (EffectsHandler).
// Calls come from one block pool per class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/message_receiver.h"
#include "universe/objects/held_pointer.h"

namespace RakNet {
class BitStream;
}
struct EffectorGfxSettings;
class generic_object;
class graphicsObject;

// Message 129 and its sub-kind of graphics calls.
constexpr uint8_t ID_EFFECT_GFX = 129;
constexpr uint8_t kEffGfxSubKindCalls = 0;
// The count field holds 8 bits: a longer queue goes out in several messages.
constexpr unsigned kMaxEffGfxCallsPerMessage = 255;
// Message 129 travels on this ordering channel, reliable and sequenced.
constexpr uint8_t kEffGfxChannel = 3;

// The kind byte of a call on the wire.
enum EffGfxKind : uint8_t {
  EGK_Instant = 0,
  EGK_Beam = 1,
  EGK_Bullet = 2,
  EGK_AOE = 3,
};

// Why the reader made no call of a message's entry.
enum EffGfxCreation {
  EGC_Dropped = 0,       // unknown effector or object, or an object without graphics object
  EGC_EndOfMessage = 1,  // the message ended inside the entry
};

class EffGfxCall {
 public:
  // Holds a reference on `source` and `target` (either may be null) and
  // notes their graphics objects.
  EffGfxCall(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject, generic_object* targetObject);
  EffGfxCall(const EffGfxCall&) = delete;
  EffGfxCall& operator=(const EffGfxCall&) = delete;
  // Shows the call on the local scene (effect_gfx_scene.cpp): particles at
  // the firing and hit points, a beam or a projectile, an area burst, and
  // the effector's sound. Nothing shows without the graphics objects it
  // needs, as on a headless server. Main thread, under the scene lock.
  virtual void play() = 0;
  // Writes the kind byte and the fields (the message's table).
  virtual void write(RakNet::BitStream& stream) const = 0;
  virtual ~EffGfxCall() = default;

  const EffectorGfxSettings* settings;  // the effector's, not owned
  heldPointer<generic_object> source;
  heldPointer<generic_object> target;  // null for an area burst
  // The objects' graphics objects when the call was made, held until the
  // call goes; null on a headless server, which makes none.
  heldPointer<graphicsObject> sourceGraphics;
  heldPointer<graphicsObject> targetGraphics;

 protected:
  // The kind byte, the effector id and the source reference, and the target
  // reference when `withTarget`.
  void writeCommon(RakNet::BitStream& stream, EffGfxKind kind, bool withTarget) const;
};

class EffGfxInstant : public EffGfxCall {
 public:
  EffGfxInstant(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject, generic_object* targetObject);
  void play() override;
  void write(RakNet::BitStream& stream) const override;
  static void* operator new(size_t size);
  static void operator delete(void* memory);
};

class EffGfxBeam : public EffGfxCall {
 public:
  EffGfxBeam(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject, generic_object* targetObject,
             float beamDuration);
  void play() override;
  void write(RakNet::BitStream& stream) const override;
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  // Firing points in each end's local frame, filled when the beam is shown.
  float sourceOffset[3] = {0.0f, 0.0f, 0.0f};
  float targetOffset[3] = {0.0f, 0.0f, 0.0f};
  float duration;  // seconds
};

class EffGfxBullet : public EffGfxCall {
 public:
  EffGfxBullet(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject, generic_object* targetObject,
               float flightDelay, float projectileSpeed);
  void play() override;
  void write(RakNet::BitStream& stream) const override;
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  // Firing and hit points, filled when the projectile is shown.
  float fireOffset[3] = {0.0f, 0.0f, 0.0f};
  float hitOffset[3] = {0.0f, 0.0f, 0.0f};
  float delay;  // seconds of flight
  float speed;
};

class EffGfxAOE : public EffGfxCall {
 public:
  EffGfxAOE(const EffectorGfxSettings* gfxSettings, generic_object* sourceObject, float burstRange);
  void play() override;
  void write(RakNet::BitStream& stream) const override;
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  float range;
};

// Appends a call to the pending queue, which takes it over (null does
// nothing). Any thread.
void queueEffGfxCall(EffGfxCall* call);
// Writes the count and the calls of one message body, starting at queue
// position `first`: at most kMaxEffGfxCallsPerMessage calls. Returns how many
// it wrote (the count field).
unsigned writeEffGfxQueue(RakNet::BitStream& stream, unsigned first = 0);
// Reads a message body (the count and the calls) and queues the calls. An
// entry that names an unknown effector or object, or an object without
// graphics object, is read whole and dropped; a kind above 3 or the end of
// the message stops the reading, keeping the calls read before.
void readEffGfxCalls(RakNet::BitStream& stream);
// Deletes every queued call (dropping their object references).
void clearEffGfxQueue();
// The same without the queue's lock, for the session's tear-down, when no
// other thread runs.
void clearEffGfxQueueUnlocked();
// Calls waiting in the queue.
size_t effGfxQueueSize();
// Shows every queued call on the local scene (a client shows the calls it
// read before the frame's clear). The queue stays as it was.
void playEffGfxQueue();
// Sends the queued calls to every in-game player: nothing when the queue or
// the player list is empty. The queue stays as it was (the frame loop
// clears it next).
void sendEffectGraphics();

// The receiver of message 129: on a client, sub-kind 0 carries graphics
// calls to queue; anything else is ignored.
class EffectsHandler : public MessageReceiver {
 public:
  void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) override;
};
