#include "empire/research/research_registry.h"

namespace research {

irr::core::array<IWebItemDesc*>& webItemDescs() {
  // Made on first use, so a web built during start-up finds it.
  static irr::core::array<IWebItemDesc*> descriptors;
  return descriptors;
}

}  // namespace research
