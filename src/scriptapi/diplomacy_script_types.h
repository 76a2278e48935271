// Diplomacy for scripts: the enumerations DiploTopic, DiploMood and
// DiploAttitude, the record `DiploMsg` that a receiving empire answers, and
// the Empire methods that send a diplomatic message.
//
// Registered on the server engine and then the client engine, in this
// order:
//   enum DiploTopic: DT_Accept 9, DT_Alliance 3, DT_Appease 8, DT_Count 11,
//     DT_Greetings 0, DT_Peace 5, DT_Reject 10, DT_Request 7, DT_Demand 1,
//     DT_Trade 4, DT_Treaty 2, DT_War 6
//   enum DiploMood: DM_Neutral 0, DM_Angry 1, DM_Happy 2, DM_Demanding 1,
//     DM_Begging 2
//   enum DiploAttitude: DA_Neutral 0, DA_Passive 1, DA_Aggressive 2
//   type "DiploMsg" (reference type, not counted: the receiving empire owns
//     it; a handle is valid during the call that hands it out)
//   "DiploTopic getTopic()", "void setResponse(bool)" (1 accepted, 2
//     rejected), "void finish()"
//   Empire "void sendMessage(const Empire@,DiploTopic,DiploMood,DiploAttitude) const"
//   Empire "void sendMessage(const Empire@,DiploTopic,DiploMood,DiploAttitude, string@+) const"
#pragma once

#include <cstdint>

#include <irrString.h>

class empire;

// Registers the above (the Empire type must exist).
void bindDiplomacyScriptTypes();

// What a script's sendMessage does. A client hands the message to its server
// (in its playing empire's name); a server sends it in `from`'s name to the
// player in the game who controls `to`, and keeps a message to an empire no
// such player controls (an AI's, or one whose player left), as a local game
// does: the
// receiver's player is told (a "misc" message naming the sender, then a
// sentence for the topic, mood and attitude filled with `extra`), and peace
// offers and declarations of war are queued on the receiver to be answered.
// A null receiver is refused quietly.
void sendDiplomaticMessage(empire* from, empire* to, uint32_t topic, uint32_t mood, uint32_t attitude,
                           const irr::core::stringw* extra);
