// The docked objects of a host at the end of the host (docking.cpp).
#pragma once

class generic_object;

// The host is being destroyed: every object docked in it gets its mover
// back and is destroyed with it (`quiet` as the host), and the entries go.
void destroyDockedObjects(generic_object& host, bool quiet);

// The host is being deleted: lets go of any entry left (its object and the
// mover kept for it) without touching the objects otherwise.
void releaseDockedEntries(generic_object& host);

// Docks `object`, just loaded into the carrier's container, in `carrier`
// as the save held it: it leaves the container's children again (as it
// joined them, without statistics), keeps its recorded position and orders,
// and is not checked against the dock space left. Nothing is sent.
void dockLoadedObject(generic_object& carrier, generic_object& object);
