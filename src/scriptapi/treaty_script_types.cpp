#include "scriptapi/treaty_script_types.h"

#include <angelscript.h>
#include <string>

#include "empire/empire.h"
#include "empire/treaty_clause.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;

namespace {

const char *const kTypeNames[] = {"Treaty", "ClauseOption", "Clause",
                                  "ClauseDesc", "TreatyFactory"};

ScriptString *optionName(const ClauseOption *option) {
  ScriptString *name = option->getName();
  if (name != nullptr) {
    name->addRef();
    return name;
  }
  return new ScriptString();
}

void clauseAddRef(IClause *clause) { clause->addRef(); }
void clauseRelease(IClause *clause) { clause->release(); }

ClauseOption *clauseOption(IClause *clause, uint32_t index) {
  ClauseOption *option = clause->getOption(index);
  if (option == nullptr)
    raiseScriptException("Out-of-bounds index when getting clause option");
  return option;
}

// Updates this side's record with the other, then the other side's.
template <typename Update>
bool updateRelations(empire *self, empire *other, Update update) {
  if (self == nullptr || other == nullptr)
    return false;
  update(*self->lockRelation(other));
  self->unlockRelations();
  update(*other->lockRelation(self));
  other->unlockRelations();
  return true;
}

void registerOptionMembers(asIScriptEngine *engine) {
  const char *type = "ClauseOption";
  engine->RegisterObjectMethod(type, "int toInt() const",
                               asMETHOD(ClauseOption, toInt), asCALL_THISCALL);
  engine->RegisterObjectMethod(type, "float toFloat() const",
                               asMETHOD(ClauseOption, toFloat),
                               asCALL_THISCALL);
  engine->RegisterObjectMethod(type, "const string@ toString() const",
                               asMETHOD(ClauseOption, toString),
                               asCALL_THISCALL);
  engine->RegisterObjectMethod(
      type, "void opAssign(int)",
      asMETHODPR(ClauseOption, opAssign, (int32_t), void), asCALL_THISCALL);
  engine->RegisterObjectMethod(
      type, "void opAssign(float)",
      asMETHODPR(ClauseOption, opAssign, (float), void), asCALL_THISCALL);
  engine->RegisterObjectMethod(
      type, "void opAssign(const string@+)",
      asMETHODPR(ClauseOption, opAssign, (const ScriptString *), void),
      asCALL_THISCALL);
  engine->RegisterObjectMethod(type, "const string@ get_name() const property",
                               asFUNCTION(optionName), asCALL_CDECL_OBJFIRST);
}

void registerClauseMembers(asIScriptEngine *engine) {
  const char *type = "Clause";
  engine->RegisterObjectBehaviour(type, asBEHAVE_ADDREF, "void f()",
                                  asFUNCTION(clauseAddRef),
                                  asCALL_CDECL_OBJFIRST);
  engine->RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()",
                                  asFUNCTION(clauseRelease),
                                  asCALL_CDECL_OBJFIRST);
  engine->RegisterObjectMethod(type, "const string@+ get_id() const property",
                               asMETHOD(IClause, getId), asCALL_THISCALL);
  engine->RegisterObjectMethod(type, "const string@+ get_name() const property",
                               asMETHOD(IClause, getName), asCALL_THISCALL);
  engine->RegisterObjectMethod(type, "const string@+ get_icon() const property",
                               asMETHOD(IClause, getIcon), asCALL_THISCALL);
  engine->RegisterObjectMethod(type, "uint get_optionCount() const property",
                               asMETHOD(IClause, getOptionCount),
                               asCALL_THISCALL);
  engine->RegisterObjectMethod(type, "bool isOffensive() const",
                               asMETHOD(IClause, isOffensive), asCALL_THISCALL);
  engine->RegisterObjectMethod(type, "bool isReversed() const",
                               asMETHOD(IClause, isReversed), asCALL_THISCALL);
  engine->RegisterObjectMethod(type, "ClauseOption@ getOption(uint)",
                               asFUNCTION(clauseOption), asCALL_CDECL_OBJFIRST);
  engine->RegisterObjectMethod(type,
                               "const ClauseOption@ getOption(uint) const",
                               asFUNCTION(clauseOption), asCALL_CDECL_OBJFIRST);
}

} // namespace

bool setEmpireAllied(empire *self, empire *other, bool allied) {
  return updateRelations(self, other, [allied](EmpireRelation &relation) {
    relation.allied = allied;
    if (allied)
      relation.enemy = false;
  });
}

bool setEmpireEnemy(empire *self, empire *other, bool enemy) {
  return updateRelations(self, other, [enemy](EmpireRelation &relation) {
    relation.enemy = enemy;
    if (enemy)
      relation.allied = false;
  });
}

void declareTreatyScriptTypes() {
  for (const char *name : kTypeNames) {
    onBothEngines([name](asIScriptEngine *engine) {
      // Options belong to their clause: scripts never count them.
      const asDWORD flags = std::string(name) == "ClauseOption"
                                ? asOBJ_REF | asOBJ_NOCOUNT
                                : asOBJ_REF;
      engine->RegisterObjectType(name, 0, flags);
    });
  }
}

void registerTreatyScriptMembers() {
  onBothEngines([](asIScriptEngine *engine, bool server) {
    registerOptionMembers(engine);
    registerClauseMembers(engine);
    // Descriptors live as long as the registry; treaties and factories get
    // their counting with their objects. Until then scripts cannot reach one.
    for (const char *name : {"ClauseDesc", "Treaty", "TreatyFactory"}) {
      engine->RegisterObjectBehaviour(name, asBEHAVE_ADDREF, "void f()",
                                      asFUNCTION(noOpFunction), asCALL_GENERIC);
      engine->RegisterObjectBehaviour(name, asBEHAVE_RELEASE, "void f()",
                                      asFUNCTION(noOpFunction), asCALL_GENERIC);
    }
    if (!server)
      return;
    engine->RegisterEnum("ClauseState");
    engine->RegisterEnumValue("ClauseState", "CS_NOCHANGE", CS_NOCHANGE);
    engine->RegisterEnumValue("ClauseState", "CS_ENDED", CS_ENDED);
    engine->RegisterEnumValue("ClauseState", "CS_FAILED", CS_FAILED);
    engine->RegisterObjectMethod("Empire", "bool setAllied(Empire@,bool) const",
                                 asFUNCTION(setEmpireAllied),
                                 asCALL_CDECL_OBJFIRST);
    engine->RegisterObjectMethod("Empire", "bool setEnemy(Empire@,bool) const",
                                 asFUNCTION(setEmpireEnemy),
                                 asCALL_CDECL_OBJFIRST);
  });
}
