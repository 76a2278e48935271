// Port mapping through UPnP: when this process starts hosting, a short-lived
// thread asks the local internet gateway to forward the game port (UDP) to
// this machine, and logs what it finds. Nothing waits for the thread and
// nothing reads a result from it: its only effects are the gateway's
// mapping and the log lines. The mapping is never removed.
//
// Without a gateway (no device answers the discovery, or none is an
// internet gateway) the thread ends silently, after about the discovery's
// 2 s.
#pragma once

#include <cstdint>

// Discovery's wait for answers, in milliseconds, and the multicast TTL.
constexpr int kUpnpDiscoveryDelayMs = 2000;
constexpr unsigned char kUpnpDiscoveryTtl = 2;

// The thread's entry: maps the published game port (publishedGamePort).
// Returns 0.
uint32_t upnpMapPortThread(void* unused);

// Starts upnpMapPortThread and lets it go. False when the thread could not
// be started (logged).
bool startUpnpPortMapping();

// Port-mapping threads started in this process, and those not yet ended.
unsigned upnpThreadsStarted();
unsigned upnpThreadsRunning();
