// The script type `Empire`: an empire of the session (the global empire
// list owns it; scripts hold it without counting), its members, the
// lookups that hand empires out, and the types its members hand out:
// Emperor (the ruler), empSysData (one sub-system level), Trait and the
// list EmpireTraits, the value type SysPresence, the type name HullLayout
// (its other members come with the object bindings), the lists
// EmpireMessages and EmpireTreaties (empire_lists.h) and the diplomacy
// types (diplomacy_script_types.h).
//
// Engines: S server only, C client only, otherwise both. Each row goes to
// the server engine, then the client engine, except the three layout
// readers, whose client native (which applies the client guard) comes
// first. Registered in this order:
//   type "Empire" (reference type, empty add-ref and release)
//   isAllied, isEnemy (an empire is its own ally, never its own enemy),
//     setAllied S, setEnemy S (both relation records; a true flag clears
//     the other; the result is false for a null partner)
//   getName, getRaceName, getRaceDescription, getRaceHistory,
//     getPlayerName (player-name area), isValid, isAI, isReserved
//   postMessage(text) S ("misc", priority 0), postMessage(text, category,
//     priority) S, both at the current time (postEmpireMessage)
//   addVisibility S, removeVisibility S (atomic on the mask), hasVisibility S
//   getShipSet S, setShipSet S
//   "const int8 ID" (255, 254, 253 read as -1, -2, -3), "Color color"
//     (only where the type Color exists)
//   regScriptData(module, class): attaches a script AI (registerEmpireAI)
//   addResearch S (does nothing), modResearchRate S, getResearchRate S
//   type SysPresence: eight floats us, allies, neutrals, enemies, usStr,
//     alliesStr, neutralsStr, enemiesStr
//   EmpireMessages, EmpireTreaties
//   the diplomacy enumerations, DiploMsg and sendMessage
//   type Emperor, "const Emperor@ getRuler() const", "Emperor@ getRuler()" S,
//     Emperor "string@ getName() const" (empty without a name)
//   getEmpire(uint) (past the end: "Out of bounds when getting empire by
//     index" and null; the client's gives a const handle), getEmpireCount
//   type empSysData: "const subSystemDef@ type", "float level"
//   type Trait: get_id, getName, getDescription, getFlavor
//   getSubSysDataCnt C, getSubSysData C (null past the end), subSysUnlocked
//     (the definition's mask has the empire's own bit), updateSubSystems S
//   type "HullLayout" (reference type, empty add-ref and release)
//   getShipLayoutCnt, getShipLayout(uint) (past the end: "Accessed
//     out-of-bounds ship layout" and null), getShipLayout(name) (null when
//     absent), all three under the hulls area (read)
//   updateHull(name, scale) and updateHull(old, new): only for the local
//     player's empire (`activeEmpire`), the first only for a scale of at
//     least 1; toggleObsolete, acquireForeignHull S, hasForeignHull (the
//     client's: false unless the empire is `activeEmpire`)
//   getBuildList(int) (empty out of range), getBuildListCount,
//     getSetting, setSetting, getStat, addStat S, consumeStat S, hasTrait,
//     hasTraitTag, addTrait S, removeTrait S, getLastMessage (null without
//     messages), getMsgDelay (seconds since the last post),
//     "double lastMessage"
//   getActiveEmpire (null when none), getEmpireByID(int) (the default empire
//     when no listed empire has the ID; the client's gives a const handle)
//   EmpireTraits
//
// The client guard: in the client engine the sub-system and layout readers
// read the local player's empire only; for another empire they raise
// "Attempted to access a non-client empire in client code." and give 0 or
// null.
//
// consumeStat(name, amount) takes at most what is there (nothing from a
// negative or absent stat, which it does not create) and returns what it
// took; a negative amount is taken in full and so raises the stat.
#pragma once

void bindEmpireScriptType();

// "void getSystemPresence(System@+, SysPresence &out) const" on Empire, both
// engines: registered by the object bindings once the type System exists.
void registerSystemPresenceMethod();
