// The technology registry: every technology descriptor of the loaded game
// data, in registration order (the order scripts index them by). Each
// empire's research web holds one item per descriptor registered when the
// web is made. The registry lives for the whole process; the technology files
// fill it while the game data loads, and it is emptied (its descriptors
// deleted) when the game ends.
#pragma once

#include <irrArray.h>

namespace research {

class IWebItemDesc;

// The registry, empty until the technology files are read.
irr::core::array<IWebItemDesc*>& webItemDescs();

}  // namespace research
