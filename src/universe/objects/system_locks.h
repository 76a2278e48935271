// Star-system locks: the critical section that every thread holds before it
// changes anything inside a star system (or the galaxy, between systems).
//
// A thread holds at most one system's section at a time. Taking a different
// system first releases the one held completely, remembering its depth, and
// releasing the new one for the last time takes the old one back at that
// depth. Re-entering the system already held only deepens it. So no two
// threads ever wait for each other's systems: a galaxy worker that reaches
// into a foreign system gives up its own meanwhile. A worker's own system
// is its `currentSystem` (core/threads.h), taken back as well.
//
// Every operation does nothing in single-threaded mode and for a null
// system; tryLockSolarSystem then succeeds.
#pragma once

class solarSystem;

// Takes the system's section. With `priority`, the holder's tick yields at
// once instead of after its next 100 objects.
void lockSolarSystem(solarSystem* system, bool priority = false);
// One try; on failure the thread holds what it held before.
bool tryLockSolarSystem(solarSystem* system);
// Leaves the section once.
void unlockSolarSystem(solarSystem* system);

// The system whose section the calling thread holds (or would hold back),
// or null.
solarSystem* heldSolarSystem();
