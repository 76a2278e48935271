// "build_queues.xml": the named build lists that self-governing planets use.
//
//   <queue id="default">
//     <waitEmpty/>
//     <buildN count="1" type="Space Port"/>
//     <buildRand><item weight="3">Metal Mine</item><item>Factory</item></buildRand>
//     ...
//   </queue>
//
// Each `queue` element is one list, stored in the empire under its "id"; its
// children are the rules in the order they are tried: waitEmpty, buildN
// (count, type), buildWhenLow (by, res, threshold, type), buildPerN (per,
// type), buildSpecial (tag, type), buildRand (item children with an optional
// weight and a sub-system name as text), obsolete (res, level, replace, with,
// isLowLevel, isPercent), rebuildRand (levelThreshold), removeRand (remove: a
// comma-separated list of names) and script (call: "module::function" of a
// "bool f(Planet@)"). An element name matches a keyword when either is a
// prefix of the other, the keywords tried in the order above after "queue".
// Elements that name unknown sub-systems or lack what their rule needs make
// no rule; an element outside any list, and a list or buildRand the file
// ends inside, add nothing.
#pragma once

#include <irrString.h>
#include <IXMLReader.h>

class empire;

// Reads every list of the reader into `emp` (empire::setBuildList: a list
// of a name already held replaces it).
void loadBuildQueues(irr::io::IXMLReader* reader, empire* emp);

// Reads the file at `path` (already resolved through the data folders) once
// and gives every valid empire of the empire list its own copy of each list.
// A file that cannot be read logs an error naming the path and gives no
// lists; false then.
bool loadBuildQueuesForEmpires(const irr::core::stringc& path);
