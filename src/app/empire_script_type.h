// The script type "Empire" as scripts see it until the simulation's script
// interface registers the full type: a handle to an empire of the global
// list, which scripts cannot create and which is not reference counted (the
// list owns its empires), with "bool isValid() const" and
// "string@ getName() const".
#pragma once

// Registers the type on the server engine and then the client engine.
void registerEmpireHandleType();
