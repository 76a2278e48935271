#include "gui/gui_ids.h"

#include <atomic>

namespace {
std::atomic<int32_t> nextGuiId{kFirstGuiId};
}  // namespace

int32_t reserveGuiId() { return nextGuiId.fetch_add(1); }
