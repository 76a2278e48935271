// A clause for tests that need no clause kind: every hook answers
// CS_NOCHANGE, it has no options, names or tags, lets every treaty in and is
// neither offensive nor reversed. Tests derive from it and override what
// they watch.
#pragma once

#include "empire/treaty_clause.h"

class StubClause : public IClause {
 public:
  int32_t begin(empire*, empire*) override { return CS_NOCHANGE; }
  int32_t tick(empire*, empire*, double) override { return CS_NOCHANGE; }
  int32_t end(empire*, empire*) override { return CS_NOCHANGE; }
  int32_t fail(empire*, empire*) override { return CS_NOCHANGE; }
  uint32_t getOptionCount() const override { return 0; }
  const ClauseOption* getOption(uint32_t) const override { return nullptr; }
  ClauseOption* getOption(uint32_t) override { return nullptr; }
  ScriptString* getName() const override { return nullptr; }
  ScriptString* getId() const override { return nullptr; }
  ScriptString* getIcon() const override { return nullptr; }
  bool hasTag(const ScriptString*) const override { return false; }
  bool allowedIn(ITreaty*) const override { return true; }
  bool isOffensive() const override { return false; }
  bool isReversed() const override { return false; }
};
