// The research API of scripts, on both engines unless noted:
//   type "ResearchWeb"   a scoped object ("ResearchWeb@ f()" makes it, its
//       release destroys it). prepare binds an empire and its web (a
//       client-engine script only the local player's empire, activeEmpire;
//       any other, or null, leaves it unbound). It holds no lock between
//       calls: each row takes the empire's research-web area for writing
//       around its own access, since galaxy threads take that area under
//       their system's lock (effects that change research rates). Rows:
//       getVisibleCount, getResearchRate, setActiveTech (by id or
//       descriptor, the next level or a link of it, for a visible
//       technology), getActiveTech (the output -1 for a level target),
//       isTechVisible, getItem (null for a hidden technology), and on the
//       server setResearchRate, addPoints and markAsVisible. An unknown id
//       acts as a null descriptor. Every row but prepare raises
//       "ResearchWeb needs prepared before use" on an unbound object and
//       gives 0, false or null.
//   type "WebItemDesc"   a technology's descriptor (uncounted): its texts,
//       position, links, tags and ties to sub-system definitions;
//       getLinkName is "Hunch" for an odd index and "Guess" for an even one.
//   type "WebItem"       an empire's item of a technology (uncounted): its
//       levels, links and their ends, read under the research-web area of
//       the empire whose web holds it. A client-engine script sees a link's
//       end only once the link is paid; getPossibleLinkEnd (client only)
//       gives it before.
//   the globals getWebItemDesc (by id or registration index, null when
//   absent) and getWebItemDescCount.
//
// registerResearchTypes declares the three types (before the type "Empire"
// exists); registerResearchMethods adds every member and global.
#pragma once

void registerResearchTypes();
void registerResearchMethods();
