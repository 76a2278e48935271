#include "empire/research/research_registry.h"

#include "core/names.h"
#include "empire/research/web_item_desc.h"

namespace research {

namespace {

using DescIndex = NamedVar<IWebItemDesc*>::Registry;

// The by-id index; entries go in at their sorted place, so it stays sorted.
DescIndex& descIndex() {
  static DescIndex index;
  return index;
}

}  // namespace

irr::core::array<IWebItemDesc*>& webItemDescs() {
  // Made on first use, so a web built during start-up finds it.
  static irr::core::array<IWebItemDesc*> descriptors;
  return descriptors;
}

void registerWebItemDesc(IWebItemDesc* desc) {
  webItemDescs().push_back(desc);
  NamedVar<IWebItemDesc*>::getOrAdd(descIndex(), desc->getId()).value = desc;
}

irr::s32 findWebItemDescIndex(const irr::core::stringw& id) {
  return NamedVar<IWebItemDesc*>::findNoSort(descIndex(), id);
}

IWebItemDesc* getWebItemDesc(const irr::core::stringw& id) {
  const irr::s32 at = findWebItemDescIndex(id);
  return at >= 0 ? descIndex()[static_cast<irr::u32>(at)].value : nullptr;
}

IWebItemDesc* getWebItemDesc(irr::u32 index) {
  const irr::core::array<IWebItemDesc*>& descriptors = webItemDescs();
  return index < descriptors.size() ? descriptors[index] : nullptr;
}

irr::u32 getWebItemDescCount() { return webItemDescs().size(); }

IWebItemDesc* getWebItemDescById(irr::u32 position) {
  const DescIndex& index = descIndex();
  return position < index.size() ? index[position].value : nullptr;
}

void clearWebItemDescs() {
  irr::core::array<IWebItemDesc*>& descriptors = webItemDescs();
  for (irr::u32 i = 0; i < descriptors.size(); ++i)
    delete descriptors[i];
  descriptors.clear();
  descIndex().clear();
  descIndex().set_sorted(true);
}

}  // namespace research
