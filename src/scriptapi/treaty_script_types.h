// The treaty types of both script engines: Treaty, ClauseOption, Clause,
// ClauseDesc and TreatyFactory, the enum ClauseState (server engine only),
// and the Empire relation setters that clause hooks call (registered with
// Empire's other members, empire_script_type.h).
#pragma once

class empire;

// First pass: declares the five type names on the server engine, then the
// client engine, so that other registrations can name them.
void declareTreatyScriptTypes();
// Second pass: the members (after the Empire type).
void registerTreatyScriptMembers();

// Sets the allied or enemy flag of both relation records of `self` and
// `other`; a true flag clears the other one. False for a null partner.
bool setEmpireAllied(empire *self, empire *other, bool allied);
bool setEmpireEnemy(empire *self, empire *other, bool enemy);
