// The peer's ban list: IPv4 addresses refused at the connection request
// (and again at the first control message) until their ban expires. Bans
// live only here, for the life of the list; nothing is stored.
//
// Times are readings of the peer's clock (PeerClock), in milliseconds. Every
// call is safe from any thread: the peer asks from its service thread while
// AddToBanList may come from any other. The list's own lock is taken last and
// held only inside these calls, so it may be called with the peer's lock held.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

namespace RakNet {

class BanList {
 public:
  // Bans the address (a SystemAddress::binaryAddress) from `now` for
  // `milliseconds`, or for the life of the list when `milliseconds` is 0. A
  // ban of an address already banned replaces the old one: the later call
  // decides how long it lasts.
  void add(uint32_t binaryAddress, uint32_t milliseconds, uint64_t now);

  // As above, with the address as dotted text without a port ("127.0.0.1",
  // read strictly as parseIPv4Address does). Text that is no such address is
  // refused with false, and the list is left as it was.
  bool add(const char* addressText, uint32_t milliseconds, uint64_t now);

  // True while a ban of the address holds at `now`: it was made for the life
  // of the list, or `now` is before its end. A ban found expired is dropped.
  bool isBanned(uint32_t binaryAddress, uint64_t now);

  // Bans held, expired ones included until they are next looked at.
  std::size_t size() const;

 private:
  struct Ban {
    bool forever;
    uint64_t endsAt;  // first moment the address is let in again (unless forever)
  };
  // Drops every ban that has run out by `now` (mutex_ held), so that a list
  // fed with short bans of many addresses does not grow without end.
  void dropExpiredLocked(uint64_t now);

  mutable std::mutex mutex_;
  std::map<uint32_t, Ban> bans_;
};

}  // namespace RakNet
