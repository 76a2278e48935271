#include "scriptapi/empire_objects.h"

#include <angelscript.h>

#include <cstdint>
#include <list>
#include <vector>

#include "core/locks.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"
#include "empire/treaty.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/script_bindings.h"
#include "universe/objects/game_object.h"
#include "universe/orders/fleet_ai.h"

using namespace AngelScript;

namespace {

template <class Self>
Self* makeWalker() {
  return new Self();
}

template <class Self>
void releaseWalker(Self* walker) {
  delete walker;
}

// --- TreatyList ---

class TreatyWalker {
 public:
  void prepare(empire* emp) {
    guard_.release();
    emp_ = emp;
    if (emp == nullptr)
      return;
    emp->lockArea(guard_, EA_Treaties, true);
    position_ = emp->diplomacyMessages.begin();
  }

  bool advanceMessage() {
    if (emp_ == nullptr || position_ == emp_->diplomacyMessages.end())
      return false;
    ++position_;
    return position_ != emp_->diplomacyMessages.end();
  }

  DiploMsg* message() const {
    if (emp_ == nullptr || position_ == emp_->diplomacyMessages.end())
      return nullptr;
    return *position_;
  }

  void retract(const empire* other) {
    ITreaty* proposal = proposalWith(other);
    if (proposal != nullptr && proposal->getFromEmpire() == emp_)
      emp_->setProposedTreaty(other, nullptr);
  }

  void setAcceptance(const empire* other, bool accept) {
    ITreaty* proposal = proposalWith(other);
    if (proposal != nullptr && proposal->getToEmpire() == emp_)
      proposal->setState(accept ? TS_Accepted : TS_Rejected);
  }

  ITreaty* treaty(uint32_t index) const {
    if (emp_ == nullptr || index >= emp_->treaties.size())
      return nullptr;
    return emp_->treaties[index];
  }

  uint32_t treatyCount() const { return emp_ == nullptr ? 0 : emp_->treaties.size(); }

  ITreaty* proposalWith(const empire* other) const {
    if (emp_ == nullptr || other == nullptr || other == emp_)
      return nullptr;
    return emp_->getProposedTreaty(other);
  }

 private:
  empire* emp_ = nullptr;
  std::list<DiploMsg*>::iterator position_;
  empire::AreaGuard guard_;
};

void prepareTreatyWalker(TreatyWalker* walker, empire* emp) { walker->prepare(emp); }

// --- EmpireObjects ---

class ObjectWalker {
 public:
  ~ObjectWalker() { dropObjects(); }

  void prepare(empire* emp) {
    dropObjects();
    emp_ = emp;
    if (emp == nullptr)
      return;
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_Objects, false);
    objects_.reserve(emp->objects.size());
    for (generic_object* object : emp->objects) {
      object->grab();
      objects_.push_back(object);
    }
  }

  generic_object* object() const {
    if (emp_ == nullptr) {
      raiseScriptException("Attempted to access invalid object list");
      return nullptr;
    }
    if (position_ >= objects_.size())
      return nullptr;
    generic_object* object = objects_[position_];
    object->grab();
    return object;
  }

  bool next() {
    if (emp_ == nullptr || position_ >= objects_.size())
      return false;
    ++position_;
    return position_ < objects_.size();
  }

  uint32_t count() const { return emp_ == nullptr ? 0 : static_cast<uint32_t>(objects_.size()); }

 private:
  void dropObjects() {
    for (generic_object* object : objects_)
      object->drop();
    objects_.clear();
    position_ = 0;
    emp_ = nullptr;
  }

  empire* emp_ = nullptr;
  std::vector<generic_object*> objects_;  // one reference each
  size_t position_ = 0;
};

void prepareObjectWalker(ObjectWalker* walker, empire* emp) { walker->prepare(emp); }
generic_object* walkerObject(ObjectWalker* walker) { return walker->object(); }
bool walkerNext(ObjectWalker* walker) { return walker->next(); }
uint32_t walkerCount(ObjectWalker* walker) { return walker->count(); }

// A fleet's commander with one reference added, null when it has none.
generic_object* commanderOf(FleetAI* fleet) {
  if (fleet == nullptr)
    return nullptr;
  ScopedReadLock guard(fleet->lock);
  generic_object* commander = fleet->commander;
  if (commander != nullptr)
    commander->grab();
  return commander;
}

generic_object* fleetCommanderNamed(empire* emp, const ScriptString& name) {
  ScopedReadLock guard(emp->locks[EA_Fleets]);
  const irr::s32 index = NamedVar<FleetAI*>::findNoSort(emp->fleets, name.toStringw());
  return index >= 0 ? commanderOf(emp->fleets[index].value) : nullptr;
}

generic_object* fleetCommanderAt(empire* emp, uint32_t index) {
  ScopedReadLock guard(emp->locks[EA_Fleets]);
  return index < emp->fleets.size() ? commanderOf(emp->fleets[index].value) : nullptr;
}

uint32_t fleetsCount(empire* emp) { return emp->fleets.size(); }

}  // namespace

void bindTreatyListScriptType() {
  const char* type = "TreatyList";
  onBothEngines([type](asIScriptEngine* engine) {
    checked(engine).RegisterObjectType(type, 0, asOBJ_REF | asOBJ_SCOPED);
    checked(engine).RegisterObjectBehaviour(type, asBEHAVE_FACTORY, "TreatyList@ f()",
                                            asFUNCTION(makeWalker<TreatyWalker>), asCALL_CDECL);
    checked(engine).RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()",
                                            asFUNCTION(releaseWalker<TreatyWalker>), asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod(type, "void prepare(Empire@)", asMETHOD(TreatyWalker, prepare),
                                         asCALL_THISCALL);
    checked(engine).RegisterObjectMethod(type, "bool advanceMessage()", asMETHOD(TreatyWalker, advanceMessage),
                                         asCALL_THISCALL);
    checked(engine).RegisterObjectMethod(type, "DiploMsg@ getMessage()", asMETHOD(TreatyWalker, message),
                                         asCALL_THISCALL);
    checked(engine).RegisterObjectMethod(type, "void retract(const Empire@)", asMETHOD(TreatyWalker, retract),
                                         asCALL_THISCALL);
    checked(engine).RegisterObjectMethod(type, "void setAcceptance(const Empire@, bool)",
                                         asMETHOD(TreatyWalker, setAcceptance), asCALL_THISCALL);
    checked(engine).RegisterObjectMethod(type, "Treaty@+ getTreaty(uint)", asMETHOD(TreatyWalker, treaty),
                                         asCALL_THISCALL);
    checked(engine).RegisterObjectMethod(type, "uint getTreatyCount() const", asMETHOD(TreatyWalker, treatyCount),
                                         asCALL_THISCALL);
    checked(engine).RegisterObjectMethod(type, "Treaty@+ getProposedTreaty(const Empire@)",
                                         asMETHOD(TreatyWalker, proposalWith), asCALL_THISCALL);
  });
}

void bindEmpireObjectsScriptType() {
  const char* type = "EmpireObjects";
  onBothEngines([type](asIScriptEngine* engine) {
    checked(engine).RegisterObjectType(type, 0, asOBJ_REF | asOBJ_SCOPED);
    checked(engine).RegisterObjectBehaviour(type, asBEHAVE_FACTORY, "EmpireObjects@ f()",
                                            asFUNCTION(makeWalker<ObjectWalker>), asCALL_CDECL);
    checked(engine).RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()",
                                            asFUNCTION(releaseWalker<ObjectWalker>), asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod(type, "void prepare(Empire@)", asFUNCTION(prepareObjectWalker),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod(type, "Object@ getObject()", asFUNCTION(walkerObject),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod(type, "bool nextObject()", asFUNCTION(walkerNext), asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod(type, "uint getCount()", asFUNCTION(walkerCount), asCALL_CDECL_OBJFIRST);

    checked(engine).RegisterObjectMethod("Empire", "Object@ getFleetCommander(const string &)",
                                         asFUNCTION(fleetCommanderNamed), asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("Empire", "uint getFleetsCount()", asFUNCTION(fleetsCount),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("Empire", "Object@ getFleetCommander(uint)", asFUNCTION(fleetCommanderAt),
                                         asCALL_CDECL_OBJFIRST);
  });
}
