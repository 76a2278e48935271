#include "design/hull_list.h"

hull_list::hull_list(const irr::core::stringw& layoutName, empire* layoutOwner)
    : owner(layoutOwner), name(layoutName) {}

// The damage orders, tags and orders go with their containers; the interned
// strings they point at stay in the common string list. Layouts are only
// made empty so far; once sub-systems are placed, each placed instance is
// deleted here before the array.
hull_list::~hull_list() = default;
