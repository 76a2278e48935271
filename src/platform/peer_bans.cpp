#include "platform/peer_bans.h"

#include "platform/system_address_io.h"

namespace RakNet {

void BanList::add(uint32_t binaryAddress, uint32_t milliseconds, uint64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  dropExpiredLocked(now);
  bans_[binaryAddress] = Ban{milliseconds == 0, now + milliseconds};
}

bool BanList::add(const char* addressText, uint32_t milliseconds, uint64_t now) {
  uint32_t binaryAddress = 0;
  if (!parseIPv4Address(addressText, binaryAddress)) return false;
  add(binaryAddress, milliseconds, now);
  return true;
}

bool BanList::isBanned(uint32_t binaryAddress, uint64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = bans_.find(binaryAddress);
  if (found == bans_.end()) return false;
  if (found->second.forever || now < found->second.endsAt) return true;
  bans_.erase(found);
  return false;
}

std::size_t BanList::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bans_.size();
}

void BanList::dropExpiredLocked(uint64_t now) {
  for (auto it = bans_.begin(); it != bans_.end();) {
    if (!it->second.forever && now >= it->second.endsAt) {
      it = bans_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace RakNet
