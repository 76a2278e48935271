#include "net/upnp.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#include <atomic>
#include <cstdio>

#include "core/log.h"
#include "core/threads.h"
#include "net/network_manager.h"

namespace {

std::atomic<unsigned> threadsStarted{0};
std::atomic<unsigned> threadsRunning{0};

// Buffer sizes the library asks for: the LAN address, the external address
// (16 bytes for the text of an IPv4 address), the mapping's internal client
// and port, its description, enabled flag and lease.
constexpr int kLanAddressBytes = 64;
constexpr int kExternalAddressBytes = 40;
constexpr int kInternalClientBytes = 40;
constexpr int kInternalPortBytes = 6;
constexpr int kDescriptionBytes = 80;
constexpr int kEnabledBytes = 4;
constexpr int kLeaseBytes = 16;

const char* igdFormat(int result) {
  switch (result) {
    case 1:
      return "Valid IGD: %s\n";
    case 2:
      return "Unconnected IGD: %s\n";
    case 3:
      return "Unknown IGD: %s\n";
    default:
      return "IGD?: %s\n";
  }
}

const char* errorText(int code) {
  const char* text = strupnperror(code);
  return text != nullptr ? text : "";
}

// Counts the thread as running from its start to its end.
class RunningThread {
 public:
  RunningThread() = default;
  ~RunningThread() { --threadsRunning; }
  RunningThread(const RunningThread&) = delete;
  RunningThread& operator=(const RunningThread&) = delete;
};

void mapPort(uint16_t port) {
  // 2. "" is no minissdpd socket (null would be the default one).
  int error = 0;
  UPNPDev* devices = upnpDiscover(kUpnpDiscoveryDelayMs, nullptr, "", UPNP_LOCAL_PORT_ANY, 0, kUpnpDiscoveryTtl,
                                  &error);
  if (devices == nullptr)
    return;

  // 3.
  UPNPUrls urls{};
  IGDdatas data{};
  char lanAddress[kLanAddressBytes] = {};
  const int found = UPNP_GetValidIGD(devices, &urls, &data, lanAddress, sizeof lanAddress);
  freeUPNPDevlist(devices);
  if (found == 0) {
    FreeUPNPUrls(&urls);
    return;
  }
  logPrint(igdFormat(found), urls.controlURL != nullptr ? urls.controlURL : "");

  // 4.
  logPrint("Local IP: %s\n", lanAddress);

  // 5.
  char portText[8];
  std::snprintf(portText, sizeof portText, "%u", static_cast<unsigned>(port));

  // 6.
  char externalAddress[kExternalAddressBytes] = {};
  UPNP_GetExternalIPAddress(urls.controlURL, data.first.servicetype, externalAddress);
  if (externalAddress[0] != '\0')
    logPrint("External IP: %s\n", externalAddress);
  else
    logPrint("UPNP_GetExternalIPAddress failed.\n");

  // 7. No description, no remote host, the default lease.
  const int added = UPNP_AddPortMapping(urls.controlURL, data.first.servicetype, portText, portText, lanAddress,
                                        nullptr, "UDP", nullptr, nullptr);
  if (added != UPNPCOMMAND_SUCCESS)
    logPrint("UPNP_AddPortMapping(%s, %s, %s) failed: code %d (%s)\n", portText, portText, lanAddress, added,
             errorText(added));

  // 8.
  char internalClient[kInternalClientBytes] = {};
  char internalPort[kInternalPortBytes] = {};
  char description[kDescriptionBytes] = {};
  char enabled[kEnabledBytes] = {};
  char lease[kLeaseBytes] = {};
  const int entry = UPNP_GetSpecificPortMappingEntry(urls.controlURL, data.first.servicetype, portText, "UDP",
                                                     nullptr, internalClient, internalPort, description, enabled,
                                                     lease);
  if (entry != UPNPCOMMAND_SUCCESS)
    logPrint("UPNP_GetSpecificPortMappingEntry() failed: code %d (%s)\n", entry, errorText(entry));

  // 9.
  if (internalClient[0] != '\0')
    logPrint("External %s:%s %s => Internal %s:%s\n", externalAddress, portText, "UDP", internalClient,
             internalPort);
  FreeUPNPUrls(&urls);
}

}  // namespace

uint32_t upnpMapPortThread(void*) {
  const RunningThread running;
  // 1. (Sockets need no start-up call here.)
  mapPort(publishedGamePort());
  return 0;
}

bool startUpnpPortMapping() {
  ++threadsRunning;
  Thread thread;
  if (thread.start(upnpMapPortThread, nullptr, true)) {
    ++threadsStarted;
    return true;
  }
  --threadsRunning;
  return false;
}

unsigned upnpThreadsStarted() { return threadsStarted; }

unsigned upnpThreadsRunning() { return threadsRunning; }
