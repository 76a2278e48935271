// Chat votes of a dedicated server: the players govern it by chat lines that
// begin with "!" (NetworkManager::handleVoteCommand), and each poll counts
// the running vote (NetworkManager::tallyVote).
#pragma once

#include <cstdint>

// What a vote does; the manager's voteType.
enum VoteType : uint32_t {
  kNoVote = 0,
  kKickVote = 1,
  kPauseVote = 2,
  kUnpauseVote = 3,
  kRestartVote = 4,
  kSpeedVote = 5,
  kDelayVote = 6,
};

// How long a vote waits for its answers.
constexpr uint32_t kVoteTimeMs = 60000;
// What a passed delay vote puts the scheduled restart off by.
constexpr uint32_t kRestartDelayMs = 1800000;
// The fastest speed a vote can set.
constexpr double kFastestVotedSpeed = 10.0;

// Whether auto-pause was on when a pause vote passed; a passed unpause vote
// puts it back.
extern bool autoPauseBeforeVote;
