// The remote console: an operator's console line sent to a server with its
// password (message 144), and what the receiving side does with it.
//
//   144 remote console, after the id byte:
//   field          encoding
//   password       wide string, at most 255 UTF-16 units
//   command line   wide string, at most 255 UTF-16 units
//
//   "pw" and "sv_cheats 1":
//   90 02 70 00 77 00 0B 73 00 76 00 5F 00 63 00 68 00 65 00 61 00 74 00 73 00 20 00 31 00
//
// The receiver runs the line with echo only when the password received is
// not empty, its own console password is not empty, and the two are equal
// unit by unit; otherwise the sender gets the refusal chat line, and nothing
// is logged. Whichever side receives 144 applies the same rule.
//
// A received line is not run inside the receive loop: it is queued, and the
// main thread runs the queue after its poll (runRemoteConsoleCommands), as it
// runs the lines typed on standard input. A command that stops the peer or
// ends the session then finds no loop under way.
//
// Guessing: after kRemoteConsoleMaxFailures refusals to one address within
// kRemoteConsoleFailureWindowMs, that address's 144 are dropped without a
// reply for kRemoteConsoleLockoutMs, with one log line when the lock-out
// begins. Passwords are compared in time that does not depend on where they
// differ.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <cstdint>
#include <map>

#include "platform/peer_types.h"

namespace RakNet {
class BitStream;
}
class NetworkManager;

// Longest password and command line on the wire, in UTF-16 units.
constexpr unsigned kRemoteConsoleMaxUnits = 255;
// The chat line (113, channel 100, RELIABLE) that answers a refused 144.
constexpr wchar_t kRemoteConsoleRefusal[] = L"#c:888#Invalid password specified for console command.#c#";
// Refusals to one address that start its lock-out, the time they count
// within, and the lock-out's length.
constexpr unsigned kRemoteConsoleMaxFailures = 5;
constexpr uint32_t kRemoteConsoleFailureWindowMs = 60000;
constexpr uint32_t kRemoteConsoleLockoutMs = 60000;
// Received lines waiting for the main thread; more are dropped, logged.
constexpr std::size_t kRemoteConsoleQueueLimit = 256;

// Writes a whole 144: the id, then the password and the line, each cut to
// its first 255 UTF-16 units.
void writeRemoteConsoleMessage(RakNet::BitStream& stream, const irr::core::stringw& password,
                               const irr::core::stringw& command);

// True when both texts are the same UTF-16 units. The time taken depends on
// the lengths only, never on where the texts differ.
bool remoteConsolePasswordsMatch(const irr::core::stringw& received, const irr::core::stringw& expected);

// The refusals counted by address (the IPv4 address, any port), on the
// polling thread's clock.
class RemoteConsoleGuard {
 public:
  // True while `address` is locked out at `nowMs`.
  bool lockedOut(const RakNet::SystemAddress& address, uint32_t nowMs);
  // Counts a refusal; true when it starts the address's lock-out.
  bool countRefusal(const RakNet::SystemAddress& address, uint32_t nowMs);
  // Forgets every count and lock-out.
  void clear() { records_.clear(); }
  std::size_t trackedAddresses() const { return records_.size(); }

 private:
  struct Record {
    // The times of the latest refusals, oldest first.
    uint32_t refusals[kRemoteConsoleMaxFailures] = {};
    unsigned count = 0;
    bool locked = false;
    uint32_t lockedUntil = 0;
  };
  // Forgets the refusals of `record` older than the window.
  static void dropOldRefusals(Record& record, uint32_t nowMs);
  // Drops the records with no refusal within the window and no lock-out.
  void prune(uint32_t nowMs);

  std::map<uint32_t, Record> records_;
};

// The process's guard (used by the 144 handler on the polling thread).
RemoteConsoleGuard& remoteConsoleGuard();

// What the 144 handler does with a message from `sender` whose read
// position stands behind the id byte: a cut message is dropped; a locked-out
// sender gets nothing; the right password queues the line; anything else is
// refused (113 to the sender) and counted.
void handleRemoteConsole(NetworkManager& manager, const RakNet::SystemAddress& sender, RakNet::BitStream& stream,
                         uint32_t nowMs);

// Runs the queued lines in arrival order through the console, with echo, on
// the calling thread (the main thread, after its poll). Returns how many ran.
int runRemoteConsoleCommands();
// Lines waiting to run.
std::size_t queuedRemoteConsoleCommands();
