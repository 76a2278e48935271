#include "scriptapi/research_script_types.h"

#include <angelscript.h>

#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;

namespace {

const char* const kTypeName = "ResearchWeb";
const char* const kNotPrepared = "ResearchWeb needs prepared before use";

// A script's hold on one empire's research web. While bound it keeps the
// empire's research-web area locked for writing, so the script's changes
// and the empire's research step never overlap.
class ScriptResearchWeb {
 public:
  ~ScriptResearchWeb() { unbind(); }

  void prepare(empire* emp) {
    unbind();
    if (emp == nullptr || emp->researchWeb == nullptr)
      return;
    // An interface script acts only for the local player's empire.
    const asIScriptContext* context = asGetActiveContext();
    if (context != nullptr && context->GetEngine() == clientScriptEngine && emp != activeEmpire)
      return;
    emp->lockArea(area_, EA_ResearchWeb, true);
    emp_ = emp;
    web_ = emp->researchWeb;
  }

  // The bound web; null, with the script exception raised, when unbound.
  research::IWeb* web() const {
    if (web_ == nullptr)
      raiseScriptException(kNotPrepared);
    return web_;
  }

 private:
  void unbind() {
    area_.release();
    emp_ = nullptr;
    web_ = nullptr;
  }

  empire* emp_ = nullptr;
  research::IWeb* web_ = nullptr;
  empire::AreaGuard area_;
};

ScriptResearchWeb* makeResearchWeb() { return new ScriptResearchWeb(); }

void releaseResearchWeb(ScriptResearchWeb* object) { delete object; }

void prepare(ScriptResearchWeb* object, empire* emp) { object->prepare(emp); }

// The descriptor of `id` when the web has it visible, else null.
research::IWebItemDesc* visibleTech(research::IWeb* web, const ScriptString& id) {
  research::IWebItemDesc* desc = research::getWebItemDesc(id.toStringw());
  return desc != nullptr && web->isTechVisible(desc) ? desc : nullptr;
}

void setActiveLevel(ScriptResearchWeb* object, const ScriptString& id) {
  research::IWeb* web = object->web();
  if (web == nullptr)
    return;
  if (research::IWebItemDesc* desc = visibleTech(web, id))
    web->setActiveTech(desc);
}

void setActiveLink(ScriptResearchWeb* object, const ScriptString& id, uint16_t link) {
  research::IWeb* web = object->web();
  if (web == nullptr)
    return;
  if (research::IWebItemDesc* desc = visibleTech(web, id))
    web->setActiveTech(desc, link);
}

void setResearchRate(ScriptResearchWeb* object, double rate) {
  if (research::IWeb* web = object->web())
    web->setResearchRate(rate);
}

}  // namespace

void registerResearchTypes() {
  // A technology's description and an empire's item of it: uncounted
  // handles to research data that lives for the session.
  registerUncountedType("WebItemDesc");
  registerUncountedType("WebItem");
  onBothEngines([](asIScriptEngine* engine) {
    checked(engine).RegisterObjectType(kTypeName, 0, asOBJ_REF | asOBJ_SCOPED);
    checked(engine).RegisterObjectBehaviour(kTypeName, asBEHAVE_FACTORY, "ResearchWeb@ f()",
                                            asFUNCTION(makeResearchWeb), asCALL_CDECL);
    checked(engine).RegisterObjectBehaviour(kTypeName, asBEHAVE_RELEASE, "void f()", asFUNCTION(releaseResearchWeb),
                                            asCALL_CDECL_OBJFIRST);
  });
}

void registerResearchMethods() {
  onBothEngines([](asIScriptEngine* engine, bool server) {
    checked(engine).RegisterObjectMethod(kTypeName, "void prepare(Empire@)", asFUNCTION(prepare),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod(kTypeName, "void setActiveTech(const string &)", asFUNCTION(setActiveLevel),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod(kTypeName, "void setActiveTech(const string &, uint16)",
                                         asFUNCTION(setActiveLink), asCALL_CDECL_OBJFIRST);
    if (server)
      checked(engine).RegisterObjectMethod(kTypeName, "void setResearchRate(double) const", asFUNCTION(setResearchRate),
                                           asCALL_CDECL_OBJFIRST);
  });
}
