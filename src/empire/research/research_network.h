// Research on the network (message 134). The server owns every empire's
// research::CWeb; a client's empires hold a research::CNetworkedWeb, a
// mirror that the server keeps up to date, and the client only ever asks
// to change its active target.
//
// Records (RakNet bit stream, in stream order; f32/f64 raw floats, i16/i32
// and u8 as written by the stream, id = net wide string, at most 255 UTF-16
// units). n is the technology's link count (at most 255): both sides hold
// one entry per link of the technology, whatever the item itself kept.
//
//   level record      f32 level, f32 progress, f32 cost,
//                     n x {f32 link cost, f32 link paid}
//   link-end record   n x {bit: the link is paid and leads somewhere,
//                          after a 1 the end technology's id}
//   full record       f32 level, f32 maxLevel, f32 progress, f32 cost,
//                     u8 n, n x {f32 link cost, f32 link paid, u8 index},
//                     u8 n, n x {bit: the possible end is known, after a 1
//                     its id}
//   A link the item lacks (dropped by "RES_NO_DEAD_ENDS") is sent as cost 0,
//   paid 0, no end; in the full record with index 255, which readers skip
//   because it is not below n.
//
// Message 134 (u8 134 first):
//   client -> server  u8 empire ID (the invalid byte for none), u8 1, id,
//                     i16 target link (-1: the next level)
//   server -> client  u8 3, bit 0, f64 rate, bit has active; after a 1: id,
//                     i32 target link, the active item's level record
//                     (channel 7)
//                     u8 3, bit 1, then per technology: level record,
//                     link-end record, bit visible (channel 11)
//   Both server forms go out medium priority, reliable sequenced.
// The take-over record (inside the message that hands a player its empire):
//   per technology: full record, bit visible.
// Every walk over the technologies follows the by-id index
// (getWebItemDescById).
#pragma once

#include <cstdint>
#include <map>
#include <set>

#include "empire/research/research_web.h"
#include "net/message_receiver.h"

class empire;
class NetworkManager;
struct NetPlayer;

namespace research {

constexpr uint8_t kResearchMessageId = 134;
enum ResearchMessageKind : uint8_t {
  RMK_SetActive = 1,
  RMK_Web = 3,
};
constexpr uint8_t kResearchStateChannel = 7;
constexpr uint8_t kResearchItemsChannel = 11;
constexpr uint8_t kResearchRequestChannel = 0;

// A client's mirror of its server's web. It never researches or saves; its
// state changes only through the server's messages, and setting its target
// asks the server first.
class CNetworkedWeb : public IWeb {
 public:
  // One item per registered technology, none visible, rate 0, no target.
  explicit CNetworkedWeb(empire* owner);
  ~CNetworkedWeb() override;

  void initialise(empire*) override {}
  bool addPoints(const IWebItemDesc*, float, empire*) override { return false; }
  irr::u32 getVisibleCount() const override { return static_cast<irr::u32>(visible.size()); }
  bool isTechVisible(const IWebItemDesc* desc) const override;
  void markAsVisible(IWebItem* item) override;
  IWebItem* getItem(const IWebItemDesc* desc) const override;

  double getResearchRate() const override { return researchRate; }
  void setResearchRate(double rate) override { researchRate = rate; }
  void modResearchRate(double) override {}

  bool spendResearch(double, empire*) override { return false; }
  // Send the request, then take the target at once.
  void setActiveTech(const IWebItemDesc* desc, uint16_t link) override;
  void setActiveTech(const IWebItemDesc* desc) override;
  IWebItem* getActiveTech(int& link) const override;

  void write(SaveStream&) const override {}

  // Takes the target the server reports, asking nothing.
  void setMirroredActive(IWebItem* item, int link);

  empire* owner;
  double researchRate = 0.0;
  IWebItem* activeItem = nullptr;
  int activeLink = -1;
  std::map<const IWebItemDesc*, IWebItem*> items;  // owned
  std::set<IWebItem*> visible;
};

// The server's state form and all-items form (without the id byte).
void writeResearchWebState(RakNet::BitStream& stream, const IWeb& web);
void writeResearchWebItems(RakNet::BitStream& stream, const IWeb& web);
// The take-over record.
void writeResearchWebFlags(RakNet::BitStream& stream, const IWeb& web);
// Reads the take-over record into the mirror of `emp`, publishing each
// item's level. False when it was cut short (the items read so far keep
// what they read).
bool readResearchWebMessage(RakNet::BitStream& stream, CNetworkedWeb& web, empire* emp);
// The client's request to target `desc` (link -1: its next level) for
// `emp`, sent to the server.
void sendActiveTechRequest(const empire* emp, const IWebItemDesc* desc, int link);

// The receiver of message 134.
class ResearchMsg : public MessageReceiver {
 public:
  void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) override;
};

// The per-player pass: the web of `player`'s empire, all items when its
// research changed (the flag is then cleared), else its state.
void sendPlayerResearch(NetworkManager& manager, const NetPlayer& player);

}  // namespace research
