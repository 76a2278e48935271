// What the natives of the simulation's script types share: the scoped
// guards that keep an object's or a system's lock and a handle argument's
// reference for exactly one native call, and the way a client-engine native
// turns a change into a request to the server.
//
// Misuse is reported with raiseScriptException (script/script_engine.h):
// the native then returns its neutral value (nothing, 0, false or null).
//
// Arguments. An "&out" argument reaches the native as a temporary that the
// engine copies into the script's variable after the call: a native writes
// every "&out" argument, 0 where it has nothing to say, or the script reads
// whatever the temporary held. A plain "&" argument (unsafe references are
// on) is the script's own variable: what the native leaves alone stays.
//
// Locks. An object's lock is the lock of the star system that contains it
// (lockContainer / unlockContainer, which follow the object when it moves
// while the caller waits). A system that locks itself takes its own lock
// (SystemLock). The system locks are re-entrant per thread, and a thread
// holds one system at a time: taking another gives up the one held until
// the other is let go. So a prepared list (a scoped list type that holds
// its system's lock across script statements) has lost that lock whenever
// the script worked in another system meanwhile: each of its natives takes
// the list's system lock again (SystemLock) around its own access, which
// costs little when the thread still holds it.
//
// The guards are released by their destructors: on every return path, and
// while an exception passes through.
#pragma once

#include <cstdint>

#include "core/threads.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "platform/peer_types.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_guards.h"
#include "universe/objects/system_locks.h"

class solarSystem;

// Holds a system's own lock for a scope (nothing for a null system).
class SystemLock {
 public:
  explicit SystemLock(solarSystem* system) : system_(system) { lockSolarSystem(system_); }
  ~SystemLock() { unlockSolarSystem(system_); }
  SystemLock(const SystemLock&) = delete;
  SystemLock& operator=(const SystemLock&) = delete;

 private:
  solarSystem* system_;
};

// How a held handle gives its reference back; an overload per counted type.
inline void releaseHandle(generic_object* object) { object->drop(); }

// A plain handle argument ("Object@", not "Object@+") arrives with a
// reference that the native owns: the holder gives it back when the native
// ends, on every path. Null holds nothing.
template <class T>
class HeldHandle {
 public:
  explicit HeldHandle(T* handle) : handle_(handle) {}
  ~HeldHandle() {
    if (handle_ != nullptr)
      releaseHandle(handle_);
  }
  HeldHandle(const HeldHandle&) = delete;
  HeldHandle& operator=(const HeldHandle&) = delete;

  T* get() const { return handle_; }
  T* operator->() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  T* handle_;
};

// Whether a client-engine native sends its change to the server as a
// request instead of making it: the process is the client of a remote
// server (the network manager's client flag). Otherwise (alone or hosting)
// it acts on the simulation itself.
inline bool sendsClientRequests() { return isNetworkClient(); }

// Builds one request with `write(stream)` in the calling thread's scratch
// stream (a stream of its own on a thread without one) and hands it to the
// network manager for the server, on `channel` with `reliability`.
// `write` returns false when it has nothing to send.
template <class Write>
void sendClientRequest(uint8_t channel, RakNet::PacketReliability reliability, Write write) {
  if (networkManager == nullptr)
    return;
  RakNet::BitStream own;
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : own;
  stream.Reset();
  if (!write(stream))
    return;
  networkManager->send(&stream, channel, reliability, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}
