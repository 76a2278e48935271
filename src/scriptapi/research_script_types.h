// The script type through which scripts steer an empire's research:
//   type "ResearchWeb"   a scoped object ("ResearchWeb@ f()" makes it, its
//                        release destroys it). prepare binds it to an empire
//                        and holds that empire's research-web area for
//                        writing until the next prepare or the release.
//
// registerResearchTypes declares the type on both engines (before the type
// "Empire" exists), together with "WebItemDesc" (a technology's
// description) and "WebItem" (an empire's item of it), uncounted handles; registerResearchMethods then adds, on both engines:
//   "void prepare(Empire@)"                       gives back the area held,
//       then binds the empire and its web. A client-engine script may only
//       prepare the local player's empire (activeEmpire); any other empire,
//       or null, leaves the object unbound.
//   "void setActiveTech(const string &)"          the technology's next
//       level becomes the target, when the technology exists and is visible
//   "void setActiveTech(const string &, uint16)"  its link of that index
//       becomes the target, under the same condition
// and on the server engine only:
//   "void setResearchRate(double) const"          research points a second
// Every row but prepare raises "ResearchWeb needs prepared before use" on an
// unbound object and does nothing.
#pragma once

void registerResearchTypes();
void registerResearchMethods();
