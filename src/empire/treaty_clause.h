// Treaty clauses. Every kind of clause is data: "Game Data/treaties.xml"
// gives each kind an id, texts, an icon, tags, the tags it cannot stand
// beside, typed options with defaults, an offensive flag and up to four
// script hooks that give it its effect. The kinds are kept in the registry
// `clauseDescriptors`, sorted by id; a clause (`ScriptClause`) is one use of a
// kind inside a treaty, with its own copies of the options.
//
// The registry is filled by loadTreatyClauses during a session's script
// set-up and freed by clearTreatyClauses when the session ends, after the
// script engines whose functions the hooks name are gone.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include <irrArray.h>
#include <irrString.h>

#include "core/names.h"
#include "core/ref_counted.h"
#include "empire/clause_option.h"

class empire;
class IClause;
class ScriptString;
class SaveStream;

// What a clause hook reports.
enum ClauseState : int32_t {
  CS_NOCHANGE = 0,
  CS_ENDED = 1,
  CS_FAILED = 2,
};

// A treaty between two empires: a list of clauses (CTreaty, treaty.h).
// Counted like a clause: one reference when made, destroyed when the last
// is released; any thread may add and release references.
class ITreaty : public refCounted {
public:
  virtual uint32_t getClauseCount() const = 0;
  virtual IClause *getClause(uint32_t index) const = 0;
  virtual IClause *getClause(uint32_t index) = 0;
  virtual void removeClause(IClause *clause) = 0;
  virtual void removeClause(uint32_t index) = 0;
  virtual void addClause(IClause *clause) = 0;
  virtual int32_t begin() = 0;
  virtual int32_t tick(double seconds) = 0;
  virtual int32_t end() = 0;
  virtual int32_t fail() = 0;
  virtual bool hasTag(const irr::core::stringw &tag) const = 0;
  virtual bool allows(ITreaty *other) = 0;
  virtual empire *getToEmpire() const = 0;
  virtual empire *getFromEmpire() const = 0;
  virtual void setEnded() = 0;
  virtual bool isEnded() const = 0;
  virtual uint32_t getState() const = 0;
  virtual void setState(uint32_t state) = 0;
  virtual uint32_t getID() const = 0;
  virtual void setID(uint32_t id) = 0;
  virtual void save(SaveStream &stream) = 0;
  virtual ~ITreaty() = default;

  // The scripts' names for grab and drop.
  void addRef() { grab(); }
  void release() { drop(); }
  int32_t getRefCount() const { return static_cast<int32_t>(getReferenceCount()); }
};

// One kind of clause, as the clause file defines it.
struct ScriptClauseDescriptor {
  ScriptClauseDescriptor() = default;
  ScriptClauseDescriptor(const ScriptClauseDescriptor &) = delete;
  ScriptClauseDescriptor &operator=(const ScriptClauseDescriptor &) = delete;
  ~ScriptClauseDescriptor(); // releases the strings; the options free
                             // themselves

  ScriptString *id = nullptr;
  ScriptString *name = nullptr;
  ScriptString *desc = nullptr;
  ScriptString *summary =
      nullptr; // `desc` itself when the file gives no "sdesc"
  ScriptString *icon = nullptr;
  bool offensive = false;
  std::set<irr::core::stringw> tags;
  std::set<irr::core::stringw> deny;
  // Server-engine function ids; negative when the hook is absent.
  int32_t beginHook = -1;
  int32_t tickHook = -1;
  int32_t endHook = -1;
  int32_t failHook = -1;
  std::vector<SClauseOption> options;
};

// The clause kinds by id; index order is id order.
extern NamedVar<ScriptClauseDescriptor *>::Registry clauseDescriptors;

// Reads a clause file and adds its kinds to the registry.
void loadTreatyClauses(const irr::core::stringc &path);
// Frees every clause kind.
void clearTreatyClauses();

uint32_t getClauseDescriptorCount();
// Null past the count, or for an id with no kind.
const ScriptClauseDescriptor *getClauseDescriptor(uint32_t index);
const ScriptClauseDescriptor *getClauseDescriptor(const irr::core::stringw &id);

// A new clause of kind `id` with one reference, or null for an unknown id.
IClause *createClause(const irr::core::stringw &id, bool reversed);

class IClause : public refCounted {
public:
  virtual int32_t begin(empire *a, empire *b) = 0;
  virtual int32_t tick(empire *a, empire *b, double seconds) = 0;
  virtual int32_t end(empire *a, empire *b) = 0;
  virtual int32_t fail(empire *a, empire *b) = 0;
  virtual uint32_t getOptionCount() const = 0;
  // Null at or past the count. No reference is taken.
  virtual const ClauseOption *getOption(uint32_t index) const = 0;
  virtual ClauseOption *getOption(uint32_t index) = 0;
  virtual ScriptString *getName() const = 0;
  virtual ScriptString *getId() const = 0;
  virtual ScriptString *getIcon() const = 0;
  virtual bool hasTag(const ScriptString *tag) const = 0;
  virtual bool allowedIn(ITreaty *treaty) const = 0;
  virtual bool isOffensive() const = 0;
  virtual bool isReversed() const = 0;
  virtual ~IClause() = default;

  // The scripts' names for grab and drop.
  void addRef() { grab(); }
  void release() { drop(); }
  int32_t getRefCount() const { return static_cast<int32_t>(getReferenceCount()); }
};

class ScriptClause : public IClause {
public:
  ScriptClause(const ScriptClauseDescriptor *descriptor, bool reversed);
  ~ScriptClause() override;

  int32_t begin(empire *a, empire *b) override;
  int32_t tick(empire *a, empire *b, double seconds) override;
  int32_t end(empire *a, empire *b) override;
  int32_t fail(empire *a, empire *b) override;
  uint32_t getOptionCount() const override {
    return static_cast<uint32_t>(options_.size());
  }
  const ClauseOption *getOption(uint32_t index) const override;
  ClauseOption *getOption(uint32_t index) override;
  ScriptString *getName() const override { return descriptor_->name; }
  ScriptString *getId() const override { return descriptor_->id; }
  ScriptString *getIcon() const override { return descriptor_->icon; }
  bool hasTag(const ScriptString *tag) const override;
  bool allowedIn(ITreaty *treaty) const override;
  bool isOffensive() const override { return descriptor_->offensive; }
  bool isReversed() const override { return reversed_; }

private:
  int32_t runHook(int32_t functionId, empire *a, empire *b,
                  const double *seconds);

  const ScriptClauseDescriptor *descriptor_;
  std::vector<ClauseOption *> options_;
  bool reversed_;
};
