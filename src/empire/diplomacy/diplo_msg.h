// A diplomatic message: what one empire says to another (a greeting, a
// demand, a declaration of war, a peace offer ...), queued on the receiving
// empire until the receiver has answered it.
//
// The receiving empire owns its queued messages: a message is deleted when
// the empire's step unlinks it as finished, when the empire is destroyed with
// it still queued, and with its delivery job when that job is deleted before
// it ran. Scripts see the record without counting; a handle they are given is
// valid during the call that hands it out.
#pragma once

#include <cstdint>

class empire;

// What a message is about.
enum DiploTopic : uint32_t {
  DT_Greetings = 0,
  DT_Demand = 1,
  DT_Treaty = 2,
  DT_Alliance = 3,
  DT_Trade = 4,
  DT_Peace = 5,
  DT_War = 6,
  DT_Request = 7,
  DT_Appease = 8,
  DT_Accept = 9,
  DT_Reject = 10,
  DT_Count = 11,
};

// The mood a message is said in. Scripts also know DM_Demanding (= DM_Angry)
// and DM_Begging (= DM_Happy).
enum DiploMood : uint32_t { DM_Neutral = 0, DM_Angry = 1, DM_Happy = 2 };

// The attitude behind a message.
enum DiploAttitude : uint32_t { DA_Neutral = 0, DA_Passive = 1, DA_Aggressive = 2 };

// The receiver's answer.
enum DiploResponse : uint32_t { DR_None = 0, DR_Accepted = 1, DR_Rejected = 2 };

class DiploMsg {
 public:
  DiploMsg(uint32_t messageTopic, empire* from) : topic(messageTopic), sender(from) {}

  DiploTopic getTopic() const { return static_cast<DiploTopic>(topic); }
  // Accepted for true, rejected for false.
  void setResponse(bool accept) { response = accept ? DR_Accepted : DR_Rejected; }
  // The receiver has dealt with the message: the empire's step applies the
  // answer and lets the message go.
  void finish() { finished = true; }

  uint32_t topic;
  uint32_t response = DR_None;
  empire* sender;
  bool finished = false;
};
