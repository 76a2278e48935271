#include "scriptapi/treaty_script_types.h"

#include <angelscript.h>
#include <string>

#include "empire/empire.h"
#include "empire/treaty.h"
#include "empire/treaty_clause.h"
#include "empire/treaty_factory.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
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

void treatyAddRef(ITreaty *treaty) { treaty->addRef(); }
void treatyRelease(ITreaty *treaty) { treaty->release(); }

bool treatyHasTag(const ITreaty *treaty, const ScriptString &tag) {
  return treaty->hasTag(tag.toStringw());
}

bool treatyIsProposed(const ITreaty *treaty) {
  return treaty->getState() == TS_Proposed;
}

bool treatyIsActive(const ITreaty *treaty) {
  return treaty->getState() == TS_Accepted;
}

// The new clause goes to the script with its making reference; the treaty
// takes its own. Null for an id that names no clause kind.
IClause *treatyAddClause(ITreaty *treaty, const ScriptString &id,
                         bool reversed) {
  IClause *clause = createClause(id.toStringw(), reversed);
  if (clause != nullptr)
    treaty->addClause(clause);
  return clause;
}

TreatyFactory *makeEmptyFactory() { return new TreatyFactory(); }

TreatyFactory *makeFactory(empire *from, const empire *to) {
  return new TreatyFactory(from, to);
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
  checked(engine).RegisterObjectMethod(type, "int toInt() const",
                                       asMETHOD(ClauseOption, toInt),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "float toFloat() const",
                                       asMETHOD(ClauseOption, toFloat),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "const string@ toString() const",
                                       asMETHOD(ClauseOption, toString),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "void opAssign(int)",
      asMETHODPR(ClauseOption, opAssign, (int32_t), void), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "void opAssign(float)",
      asMETHODPR(ClauseOption, opAssign, (float), void), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "void opAssign(const string@+)",
      asMETHODPR(ClauseOption, opAssign, (const ScriptString *), void),
      asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "const string@ get_name() const",
                                       asFUNCTION(optionName),
                                       asCALL_CDECL_OBJFIRST);
}

void registerClauseMembers(asIScriptEngine *engine) {
  const char *type = "Clause";
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_ADDREF, "void f()",
                                          asFUNCTION(clauseAddRef),
                                          asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()",
                                          asFUNCTION(clauseRelease),
                                          asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "const string@+ get_id() const",
                                       asMETHOD(IClause, getId),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "const string@+ get_name() const",
                                       asMETHOD(IClause, getName),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "const string@+ get_icon() const",
                                       asMETHOD(IClause, getIcon),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "uint get_optionCount() const",
                                       asMETHOD(IClause, getOptionCount),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "bool isOffensive() const",
                                       asMETHOD(IClause, isOffensive),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "bool isReversed() const",
                                       asMETHOD(IClause, isReversed),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "ClauseOption@ getOption(uint)",
                                       asFUNCTION(clauseOption),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(
      type, "const ClauseOption@ getOption(uint) const",
      asFUNCTION(clauseOption), asCALL_CDECL_OBJFIRST);
}

void registerTreatyMembers(asIScriptEngine *engine) {
  const char *type = "Treaty";
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_ADDREF, "void f()",
                                          asFUNCTION(treatyAddRef),
                                          asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()",
                                          asFUNCTION(treatyRelease),
                                          asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(
      type, "bool hasTag(const string &in) const", asFUNCTION(treatyHasTag),
      asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "uint get_clauseCount() const",
                                       asMETHOD(ITreaty, getClauseCount),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "Clause@+ getClause(uint)",
      asMETHODPR(ITreaty, getClause, (uint32_t), IClause *), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "const Clause@+ getClause(uint) const",
      asMETHODPR(ITreaty, getClause, (uint32_t) const, IClause *),
      asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "const Empire@ getFromEmpire() const",
      asMETHOD(ITreaty, getFromEmpire), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "const Empire@ getToEmpire() const", asMETHOD(ITreaty, getToEmpire),
      asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "bool isProposed() const",
                                       asFUNCTION(treatyIsProposed),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "bool isActive() const",
                                       asFUNCTION(treatyIsActive),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(
      type, "Clause@ addClause(const string &in,bool)",
      asFUNCTION(treatyAddClause), asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(
      type, "void removeClause(uint)",
      asMETHODPR(ITreaty, removeClause, (uint32_t), void), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "void removeClause(const Clause@+)",
      asMETHODPR(ITreaty, removeClause, (IClause *), void), asCALL_THISCALL);
}

void registerFactoryMembers(asIScriptEngine *engine) {
  const char *type = "TreatyFactory";
  checked(engine).RegisterObjectBehaviour(
      type, asBEHAVE_FACTORY, "TreatyFactory@ f()",
      asFUNCTION(makeEmptyFactory), asCALL_CDECL);
  checked(engine).RegisterObjectBehaviour(
      type, asBEHAVE_FACTORY, "TreatyFactory@ f(Empire@,const Empire@)",
      asFUNCTION(makeFactory), asCALL_CDECL);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_ADDREF, "void f()",
                                          asMETHOD(TreatyFactory, addRef),
                                          asCALL_THISCALL);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()",
                                          asMETHOD(TreatyFactory, release),
                                          asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "void prepare(Empire@,const Empire@)",
      asMETHOD(TreatyFactory, prepare), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "bool propose()",
                                       asMETHOD(TreatyFactory, propose),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(
      type, "void clear()", asMETHOD(TreatyFactory, clear), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod(type, "Treaty@+ get_treaty()",
                                       asMETHOD(TreatyFactory, getTreaty),
                                       asCALL_THISCALL);
}

// Clause descriptors: each string getter hands the script a new reference;
// the descriptors themselves live for the whole process.
ScriptString *withReference(ScriptString *text) {
  if (text == nullptr)
    return new ScriptString();
  text->addRef();
  return text;
}

ScriptString *descId(const ScriptClauseDescriptor *d) { return withReference(d->id); }
ScriptString *descName(const ScriptClauseDescriptor *d) { return withReference(d->name); }
ScriptString *descText(const ScriptClauseDescriptor *d) { return withReference(d->desc); }
ScriptString *descSummary(const ScriptClauseDescriptor *d) { return withReference(d->summary); }
ScriptString *descIcon(const ScriptClauseDescriptor *d) { return withReference(d->icon); }

uint32_t clauseDescCount() { return getClauseDescriptorCount(); }

const ScriptClauseDescriptor *clauseDescAt(uint32_t index) {
  const ScriptClauseDescriptor *desc = getClauseDescriptor(index);
  if (desc == nullptr)
    raiseScriptException("Out-of-bounds index when getting clause descriptor");
  return desc;
}

const ScriptClauseDescriptor *clauseDescById(const ScriptString &id) {
  return getClauseDescriptor(id.toStringw());
}

void registerClauseDescMembers(asIScriptEngine *engine) {
  const char *type = "ClauseDesc";
  const struct {
    const char *declaration;
    ScriptString *(*getter)(const ScriptClauseDescriptor *);
  } getters[] = {{"const string@ get_id() const", descId},
                 {"const string@ get_name() const", descName},
                 {"const string@ get_desc() const", descText},
                 {"const string@ get_summary() const", descSummary},
                 {"const string@ get_icon() const", descIcon}};
  for (const auto &getter : getters)
    checked(engine).RegisterObjectMethod(type, getter.declaration,
                                         asFUNCTION(getter.getter),
                                         asCALL_CDECL_OBJFIRST);
  // Scripts hold descriptors through const handles only, so this reads as
  // a constant to them.
  checked(engine).RegisterObjectProperty(
      type, "bool offensive", asOFFSET(ScriptClauseDescriptor, offensive));
  checked(engine).RegisterGlobalFunction("uint getClauseDescCount()",
                                         asFUNCTION(clauseDescCount),
                                         asCALL_CDECL);
  checked(engine).RegisterGlobalFunction(
      "const ClauseDesc@ getClauseDesc(uint)", asFUNCTION(clauseDescAt),
      asCALL_CDECL);
  checked(engine).RegisterGlobalFunction(
      "const ClauseDesc@ getClauseDesc(const string &in)",
      asFUNCTION(clauseDescById), asCALL_CDECL);
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
    // Options belong to their clause and descriptors to the registry:
    // scripts never count them.
    if (std::string(name) == "ClauseOption" ||
        std::string(name) == "ClauseDesc") {
      registerUncountedType(name);
      continue;
    }
    onBothEngines([name](asIScriptEngine *engine) {
      checked(engine).RegisterObjectType(name, 0, asOBJ_REF);
    });
  }
}

void registerTreatyScriptMembers() {
  onBothEngines([](asIScriptEngine *engine, bool server) {
    registerOptionMembers(engine);
    registerClauseMembers(engine);
    registerClauseDescMembers(engine);
    registerTreatyMembers(engine);
    registerFactoryMembers(engine);
    if (!server)
      return;
    checked(engine).RegisterEnum("ClauseState");
    checked(engine).RegisterEnumValue("ClauseState", "CS_NOCHANGE",
                                      CS_NOCHANGE);
    checked(engine).RegisterEnumValue("ClauseState", "CS_ENDED", CS_ENDED);
    checked(engine).RegisterEnumValue("ClauseState", "CS_FAILED", CS_FAILED);
  });
}
