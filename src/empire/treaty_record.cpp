// The treaty's save record (layout at the top of treaty.h) and the step that
// files a loaded treaty once every empire of the save exists.
#include <vector>

#include "core/post_load.h"
#include "core/save_stream.h"
#include "empire/treaty.h"
#include "script/script_string.h"

namespace {

// Reads one clause record. Gives the clause with its stored option values
// (one reference, the caller's), or null when its kind is gone or declares a
// different number of options: the stored texts are then read and dropped.
IClause* readClause(SaveStream& stream) {
  irr::core::stringw clauseId;
  stream.readString(clauseId);
  const uint8_t optionCount = stream.readU8();
  const bool reversed = stream.readU8() != 0;

  std::vector<irr::core::stringw> texts(optionCount);
  for (irr::core::stringw& text : texts)
    stream.readString(text);

  IClause* clause = createClause(clauseId, reversed);
  if (clause == nullptr)
    return nullptr;
  if (clause->getOptionCount() != optionCount) {
    clause->release();
    return nullptr;
  }
  for (uint32_t i = 0; i < optionCount; ++i) {
    ScriptString* value = new ScriptString(texts[i]);
    clause->getOption(i)->opAssign(value);  // converted to the option's declared type
    value->release();
  }
  return clause;
}

}  // namespace

ITreaty* loadTreaty(empire* owner, SaveStream& stream) {
  CTreaty* treaty = new CTreaty(owner, nullptr);
  EmpireID toEmpireID = 0;
  try {
    treaty->ended = stream.readU8() != 0;
    treaty->state = stream.readU32();
    uint16_t clauseCount = 0;
    if (stream.version() >= SaveStream::kByteEmpireIdVersion) {
      treaty->id = stream.readU32();
      clauseCount = stream.readU16();
      toEmpireID = stream.readEmpireId();
    } else {
      toEmpireID = stream.readEmpireId();  // 4 bytes in these saves
      clauseCount = stream.readU16();
      treaty->id = stream.readU32();
    }
    for (uint16_t i = 0; i < clauseCount; ++i) {
      IClause* clause = readClause(stream);
      if (clause == nullptr)
        continue;
      treaty->addClause(clause);
      clause->release();
    }
  } catch (...) {
    treaty->release();
    throw;
  }
  // The load's reference goes to the step.
  queuePostObjectTreeStep(new FinishTreatyLoad(treaty, toEmpireID));
  return treaty;
}

FinishTreatyLoad::~FinishTreatyLoad() { treaty->release(); }

void FinishTreatyLoad::run() {
  empire* to = getEmpireByID(toEmpireID);
  empire* from = treaty->getFromEmpire();
  // A treaty needs a second, listed empire; without one it is filed nowhere
  // and goes with this step.
  if (to == defaultEmpire() || to == from || from == nullptr)
    return;
  auto* loaded = dynamic_cast<CTreaty*>(treaty);
  if (loaded == nullptr)
    return;
  loaded->toEmpire = to;
  from->queueJob(new assignTreatyJob(treaty, false));
  to->queueJob(new assignTreatyJob(treaty, false));
}
