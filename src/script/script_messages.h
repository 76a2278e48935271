// The channel from interface scripts (client engine) to simulation scripts
// (server engine) in the same process: a client script calls
//   bool sendServerMessage(const string &, uint, const string &)
// and the server module "interactions" receives it in
//   void onClientMessage(Empire@, uint, const string &)
// with the local player's empire (null when there is none), the number and
// the second text; the first text is not used. The call is synchronous, on
// the calling thread's own server context, and returns true when the server
// function ran to its end. A process that is a network client of a remote
// server delivers nothing. Failures return false without a log line of
// their own (an exception inside the server function is reported by the
// context as usual).
#pragma once

#include <angelscript.h>

#include <cstdint>

class ScriptString;

// What the channel asks of the game: whether this process is a network
// client of a remote server, and the local player's empire. Set by the
// subsystems that own them; without them the process is not a client and
// there is no empire.
struct ServerMessageHooks {
  bool (*isNetworkClient)() = nullptr;
  void* (*localPlayerEmpire)() = nullptr;
};
void setServerMessageHooks(const ServerMessageHooks& hooks);

// Registers sendServerMessage on the client engine.
void registerSendServerMessage();

bool sendServerMessage(const ScriptString& unused, uint32_t number, const ScriptString& text);
