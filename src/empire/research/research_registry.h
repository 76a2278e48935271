// The technology registry: every technology descriptor of the loaded game
// data, in registration order (the order scripts index them by), and an index
// of them by id. Each empire's research web holds one item per descriptor
// registered when the web is made. The registry lives for the whole process;
// the technology files fill it while the game data loads, and it is emptied
// (its descriptors deleted) when the game ends, after the empires whose webs
// point at them.
//
// Only the loading thread writes the registry. The index is kept sorted as
// descriptors are registered, so lookups never write and any number of
// threads may look descriptors up during play.
#pragma once

#include <irrArray.h>
#include <irrString.h>

namespace research {

class IWebItemDesc;

// The registry, empty until the technology files are read.
irr::core::array<IWebItemDesc*>& webItemDescs();

// Registers `desc`, whose id no registered descriptor has; the registry owns
// it from then on.
void registerWebItemDesc(IWebItemDesc* desc);

// The position of `id` in the by-id index, or -1 when no descriptor has it.
irr::s32 findWebItemDescIndex(const irr::core::stringw& id);
// The descriptor of `id`, or null.
IWebItemDesc* getWebItemDesc(const irr::core::stringw& id);
// The descriptor at `index` in registration order, or null out of range.
IWebItemDesc* getWebItemDesc(irr::u32 index);
irr::u32 getWebItemDescCount();
// The descriptor at `position` of the by-id index (ids in ascending order),
// or null out of range. The network records walk the technologies in this
// order.
IWebItemDesc* getWebItemDescById(irr::u32 position);

// Deletes every descriptor and empties the registry and its index.
void clearWebItemDescs();

}  // namespace research
