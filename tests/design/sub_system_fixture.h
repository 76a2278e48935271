// Loads sub-system definitions for a test from text written to a file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "design/subsystems/sub_system_def.h"
#include "support/log_capture.h"

namespace subsystemtest {

// Writes `text` as "subsystems.txt" in `folder`, loads it, and gives the
// definition `name` (null, with what the loader logged, when it is absent).
inline SubSystemDef* loadDefinition(const std::filesystem::path& folder, const std::string& text,
                                    const wchar_t* name) {
  const std::string path = (folder / "subsystems.txt").string();
  std::ofstream(path, std::ios::binary) << text;
  LogCapture log;
  loadSubSystemDefs(path.c_str());
  const irr::s32 index = findSubSystemDefByName(name);
  EXPECT_GE(index, 0) << log.take();
  return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
}

}  // namespace subsystemtest
