#include "net/votes.h"

#include <ITimer.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "core/locale.h"
#include "core/text_conversions.h"
#include "net/chat_log.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"

using irr::core::stringw;

bool autoPauseBeforeVote = false;

namespace {

// A game at most this fast counts as paused.
constexpr double kPausedSpeed = 0.0001;

struct VoteCommand {
  const wchar_t* text;
  irr::u32 matchedLength;  // 0: the whole text must match
  VoteType type;
  irr::u32 argumentStart;  // 0: no argument
  const wchar_t* announcement;
};

// "!kick" and "!speed" are matched on their first characters and take the
// rest behind one separator as their argument.
const VoteCommand kVoteCommands[] = {
    {L"!kick", 5, kKickVote, 6, L"#DS_Kick"},
    {L"!pause", 0, kPauseVote, 0, L"#DS_Pause"},
    {L"!unpause", 0, kUnpauseVote, 0, L"#DS_UnPause"},
    {L"!restart", 0, kRestartVote, 0, L"#DS_RestartVote"},
    {L"!speed", 6, kSpeedVote, 7, L"#DS_Speed"},
    {L"!delay", 0, kDelayVote, 0, L"#DS_Delay"},
};

const VoteCommand* findVoteCommand(const stringw& command) {
  for (const VoteCommand& entry : kVoteCommands) {
    const bool matches = entry.matchedLength == 0 ? command == entry.text
                                                  : command.equalsn(entry.text, static_cast<irr::s32>(entry.matchedLength));
    if (matches)
      return &entry;
  }
  return nullptr;
}

// True when `nowMs` is past `deadline` on the wrapping clock.
bool isPast(uint32_t nowMs, uint32_t deadline) { return static_cast<int32_t>(nowMs - deadline) > 0; }

void setSpeed(double speed) {
  gameSpeed = speed;
  if (engine.timer != nullptr)
    engine.timer->setSpeed(static_cast<float>(speed));
}

}  // namespace

void NetworkManager::announce(const wchar_t* key) {
  RakNet::BitStream message;
  writeChatMessage(message, getLocalizedText(key));
  send(&message, kChatChannel, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

void NetworkManager::clearVote() {
  voteType = kNoVote;
  voteDeadline = 0;
  voteArgument = L"";
}

bool NetworkManager::handleVoteCommand(NetPlayer& sender, const stringw& text) {
  stringw command = text;
  command.make_lower();
  command.trim(L" \t\n");

  // 1.
  if (command == L"!yes" || command == L"!no") {
    std::lock_guard<std::mutex> guard(playersLock);
    sender.voteYes = command == L"!yes";
    return false;
  }
  // 2.
  const VoteCommand* found = findVoteCommand(command);
  if (found == nullptr) {
    announce(L"#DS_UnknownVote");
    return false;
  }
  // 3. The running vote's own command is a yes, and goes no further.
  if (voteType != kNoVote) {
    if (found->type == voteType) {
      std::lock_guard<std::mutex> guard(playersLock);
      sender.voteYes = true;
      return true;
    }
    announce(L"#DS_VoteInProgress");
    return false;
  }
  // 4. A command shorter than its argument's start has an empty argument.
  voteType = found->type;
  voteArgument = found->argumentStart != 0 && command.size() > found->argumentStart
                     ? command.subString(found->argumentStart, static_cast<irr::s32>(command.size() - found->argumentStart))
                     : stringw();
  // 0 stands for no deadline.
  voteDeadline = now() + kVoteTimeMs;
  if (voteDeadline == 0)
    voteDeadline = 1;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    for (auto& entry : players)
      entry.second.voteYes = false;
    sender.voteYes = true;
  }
  // 5.
  announce(found->announcement);
  return false;
}

bool NetworkManager::tallyVote() {
  // 1.
  size_t yes = 0;
  size_t voters = 0;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    for (const auto& entry : players) {
      ++voters;
      if (entry.second.voteYes)
        ++yes;
    }
  }
  // 2. A kick needs a third player; no vote passes without any voter.
  const bool passes = voteType == kKickVote ? voters > 2 && yes >= voters - 1 : yes >= std::max<size_t>(voters, 1);
  // 3.
  if (!passes) {
    if (voteDeadline != 0 && isPast(now(), voteDeadline)) {
      announce(L"#DS_VoteFailed");
      clearVote();
    }
    return false;
  }

  // 4.
  announce(L"#DS_VotePassed");
  const uint32_t type = voteType;
  const stringw argument = voteArgument;
  clearVote();
  switch (type) {
    case kKickVote: {
      const NetPlayer* target = nullptr;
      {
        std::lock_guard<std::mutex> guard(playersLock);
        for (const auto& entry : players) {
          stringw name = entry.second.name;
          if (name.make_lower() == argument) {
            target = &entry.second;
            break;
          }
        }
      }
      // Records are removed only on this thread: the pointer holds.
      if (target != nullptr)
        kickPlayer(target);
      break;
    }
    case kPauseVote:
      if (gameSpeed > kPausedSpeed) {
        speedBeforePause = gameSpeed;
        setSpeed(0.0);
        autoPauseBeforeVote = autoPause;
        autoPause = false;
      }
      break;
    case kUnpauseVote:
      if (gameSpeed <= kPausedSpeed) {
        setSpeed(speedBeforePause);
        autoPause = autoPauseBeforeVote;
      }
      break;
    case kSpeedVote:
      setSpeed(std::min(std::fabs(static_cast<double>(stringToFloat(argument))), kFastestVotedSpeed));
      break;
    case kDelayVote:
      if (restartInterval != 0)
        restartTime += kRestartDelayMs;
      break;
    case kRestartVote:
      restartSessionNow();
      return true;
    default:
      break;
  }
  return false;
}

void NetworkManager::restartSessionNow() {
  {
    std::lock_guard<std::mutex> guard(playersLock);
    for (auto& entry : players) {
      entry.second.emp = nullptr;
      entry.second.hasGalaxy = 0;
    }
  }
  gameRunning = false;
  sessionResult = kSessionRestart;
  RakNet::BitStream message;
  message.Write(msgid::kSessionRestart);
  send(&message, 0, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}
