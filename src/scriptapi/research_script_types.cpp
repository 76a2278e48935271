#include "scriptapi/research_script_types.h"

#include <angelscript.h>
#include <position2d.h>

#include <cstdint>
#include <new>

#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "empire/research/web_item_desc.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;

namespace {

const char* const kTypeName = "ResearchWeb";
const char* const kNotPrepared = "ResearchWeb needs prepared before use";

// A script's hold on one empire's research web. prepare only binds the
// empire and its web, which both live until the session ends; each call
// takes the empire's research-web area for writing around its own access
// and lets it go before it returns. Holding the area across script
// statements would deadlock with the galaxy threads, whose effects change
// research rates (the area) while they hold a system lock.
class ScriptResearchWeb {
 public:
  void prepare(empire* emp) {
    emp_ = nullptr;
    web_ = nullptr;
    if (emp == nullptr || emp->researchWeb == nullptr)
      return;
    // An interface script acts only for the local player's empire.
    const asIScriptContext* context = asGetActiveContext();
    if (context != nullptr && context->GetEngine() == clientScriptEngine && emp != activeEmpire)
      return;
    emp_ = emp;
    web_ = emp->researchWeb;
  }

  // Whether the object is bound; raises the script exception when not.
  bool bound() const {
    if (web_ == nullptr)
      raiseScriptException(kNotPrepared);
    return web_ != nullptr;
  }

  // The bound web's area, held by `guard` (call bound() first).
  research::IWeb* hold(empire::AreaGuard& guard) const {
    emp_->lockArea(guard, EA_ResearchWeb, true);
    return web_;
  }

  empire* owner() const { return emp_; }

 private:
  empire* emp_ = nullptr;
  research::IWeb* web_ = nullptr;
};

ScriptResearchWeb* makeResearchWeb() { return new ScriptResearchWeb(); }

void releaseResearchWeb(ScriptResearchWeb* object) { delete object; }

void prepare(ScriptResearchWeb* object, empire* emp) { object->prepare(emp); }

// A technology by id; an unknown id gives null, which acts as a null
// descriptor.
research::IWebItemDesc* techById(const ScriptString& id) { return research::getWebItemDesc(id.toStringw()); }

// Whether `desc` names a technology that the web shows (area held).
bool visible(research::IWeb* web, const research::IWebItemDesc* desc) {
  return desc != nullptr && web->isTechVisible(desc);
}

uint32_t visibleCount(const ScriptResearchWeb* object) {
  if (!object->bound())
    return 0;
  empire::AreaGuard guard;
  return object->hold(guard)->getVisibleCount();
}

double researchRate(const ScriptResearchWeb* object) {
  if (!object->bound())
    return 0.0;
  empire::AreaGuard guard;
  return object->hold(guard)->getResearchRate();
}

void setResearchRate(ScriptResearchWeb* object, double rate) {
  if (!object->bound())
    return;
  empire::AreaGuard guard;
  object->hold(guard)->setResearchRate(rate);
}

void setActiveLevel(ScriptResearchWeb* object, const research::IWebItemDesc* desc) {
  if (!object->bound())
    return;
  empire::AreaGuard guard;
  research::IWeb* web = object->hold(guard);
  if (visible(web, desc))
    web->setActiveTech(desc);
}

void setActiveLink(ScriptResearchWeb* object, const research::IWebItemDesc* desc, uint16_t link) {
  if (!object->bound())
    return;
  empire::AreaGuard guard;
  research::IWeb* web = object->hold(guard);
  if (visible(web, desc))
    web->setActiveTech(desc, link);
}

void setActiveLevelById(ScriptResearchWeb* object, const ScriptString& id) { setActiveLevel(object, techById(id)); }

void setActiveLinkById(ScriptResearchWeb* object, const ScriptString& id, uint16_t link) {
  setActiveLink(object, techById(id), link);
}

const research::IWebItem* activeTech(ScriptResearchWeb* object, int32_t& link) {
  link = 0;
  if (!object->bound())
    return nullptr;
  empire::AreaGuard guard;
  int target = 0;
  research::IWebItem* item = object->hold(guard)->getActiveTech(target);
  link = target;
  return item;
}

bool techVisible(const ScriptResearchWeb* object, const research::IWebItemDesc* desc) {
  if (!object->bound())
    return false;
  empire::AreaGuard guard;
  return visible(object->hold(guard), desc);
}

bool techVisibleById(const ScriptResearchWeb* object, const ScriptString& id) {
  return techVisible(object, techById(id));
}

// The item only of a technology the web shows.
const research::IWebItem* item(ScriptResearchWeb* object, const research::IWebItemDesc* desc) {
  if (!object->bound())
    return nullptr;
  empire::AreaGuard guard;
  research::IWeb* web = object->hold(guard);
  return visible(web, desc) ? web->getItem(desc) : nullptr;
}

const research::IWebItem* itemById(ScriptResearchWeb* object, const ScriptString& id) {
  return item(object, techById(id));
}

bool addPoints(ScriptResearchWeb* object, const research::IWebItemDesc* desc, float points) {
  if (!object->bound())
    return false;
  empire::AreaGuard guard;
  research::IWeb* web = object->hold(guard);
  return desc != nullptr && web->addPoints(desc, points, object->owner());
}

bool addPointsById(ScriptResearchWeb* object, const ScriptString& id, float points) {
  return addPoints(object, techById(id), points);
}

void markAsVisible(ScriptResearchWeb* object, const ScriptString& id) {
  if (!object->bound())
    return;
  empire::AreaGuard guard;
  research::IWeb* web = object->hold(guard);
  const research::IWebItemDesc* desc = techById(id);
  if (research::IWebItem* found = desc != nullptr ? web->getItem(desc) : nullptr)
    web->markAsVisible(found);
}

// --- WebItemDesc: technology descriptors, unchanged while the game runs ---

ScriptString* descId(const research::IWebItemDesc* desc) { return new ScriptString(desc->getId()); }
ScriptString* descText(const research::IWebItemDesc* desc) { return new ScriptString(desc->getDescription()); }
ScriptString* descIcon(const research::IWebItemDesc* desc) { return new ScriptString(desc->getIcon()); }
ScriptString* descName(const research::IWebItemDesc* desc) { return new ScriptString(desc->getName()); }

// Built in the engine's return location through the generic convention, so
// that no platform rule for returning small classes by value is involved
// (the script type is declared as a class with a destructor, which the
// native compiler would return in registers).
void descPosition(asIScriptGeneric* generic) {
  const auto* desc = static_cast<const research::IWebItemDesc*>(generic->GetObject());
  float x = 0.0f, y = 0.0f;
  desc->getPosition(x, y);
  new (generic->GetAddressOfReturnLocation()) irr::core::position2df(x, y);
}

uint32_t descLinkCount(const research::IWebItemDesc* desc) { return desc->getLinkCount(); }

bool descHasTag(const research::IWebItemDesc* desc, const ScriptString* tag) {
  return tag != nullptr && desc->hasTag(tag->toStringw());
}

ScriptString* linkName(const research::IWebItemDesc*, uint32_t index) {
  return new ScriptString(irr::core::stringw(index % 2 == 1 ? L"Hunch" : L"Guess"));
}

uint32_t descTieCount(const research::IWebItemDesc* desc) { return desc->getTieCount(); }

uint32_t descTieLevel(const research::IWebItemDesc* desc, uint32_t index) {
  const research::SWebTieDesc* tie = desc->getTie(index);
  return tie != nullptr ? tie->level : 0;
}

const SubSystemDef* descTie(const research::IWebItemDesc* desc, uint32_t index) {
  const research::SWebTieDesc* tie = desc->getTie(index);
  return tie != nullptr ? tie->def : nullptr;
}

// --- WebItem: an empire's item, read under the area of its web's empire ---

class ItemRead {
 public:
  explicit ItemRead(const research::IWebItem* item) {
    empire* holder = item->getWeb() != nullptr ? item->getWeb()->holder : nullptr;
    if (holder != nullptr)
      holder->lockArea(guard_, EA_ResearchWeb, true);
  }

 private:
  empire::AreaGuard guard_;
};

void itemLevels(const research::IWebItem* item, float& level, float& progress, float& cost, float& maxLevel) {
  ItemRead read(item);
  item->getLevels(level, progress, cost, maxLevel);
}

void itemLinkLevels(const research::IWebItem* item, uint32_t index, float& paid, float& cost) {
  paid = 0.0f;
  cost = 0.0f;
  ItemRead read(item);
  item->getLinkLevels(index, paid, cost);
}

// On a client the mirror knows the end of a link before it is paid; the
// script sees it only once the link is paid.
research::IWebItem* serverLinkEnd(const research::IWebItem* item, uint32_t index) {
  ItemRead read(item);
  return const_cast<research::IWebItem*>(item)->getLinkEnd(index);
}

research::IWebItem* clientLinkEnd(const research::IWebItem* item, uint32_t index) {
  ItemRead read(item);
  if (index >= item->getLinkCount())
    return nullptr;
  float paid = 0.0f, cost = 0.0f;
  item->getLinkLevels(index, paid, cost);
  return paid >= cost ? const_cast<research::IWebItem*>(item)->getLinkEnd(index) : nullptr;
}

research::IWebItem* possibleLinkEnd(const research::IWebItem* item, uint32_t index) {
  ItemRead read(item);
  return index < item->getLinkCount() ? item->getPossibleLinkEnd(index) : nullptr;
}

research::IWebItemDesc* itemDescriptor(const research::IWebItem* item) { return item->getDescriptor(); }

float itemLevel(const research::IWebItem* item) {
  float level = 0.0f, progress = 0.0f, cost = 0.0f, maxLevel = 0.0f;
  itemLevels(item, level, progress, cost, maxLevel);
  return level;
}

// --- the registry ---

research::IWebItemDesc* descById(const ScriptString& id) { return techById(id); }
research::IWebItemDesc* descAt(uint32_t index) { return research::getWebItemDesc(static_cast<irr::u32>(index)); }
uint32_t descCount() { return research::getWebItemDescCount(); }

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
    auto web = [engine](const char* declaration, const asSFuncPtr& function) {
      checked(engine).RegisterObjectMethod(kTypeName, declaration, function, asCALL_CDECL_OBJFIRST);
    };
    web("void prepare(Empire@)", asFUNCTION(prepare));
    web("uint getVisibleCount() const", asFUNCTION(visibleCount));
    web("double getResearchRate() const", asFUNCTION(researchRate));
    web("void setActiveTech(const string &)", asFUNCTION(setActiveLevelById));
    web("void setActiveTech(const WebItemDesc@)", asFUNCTION(setActiveLevel));
    web("void setActiveTech(const string &, uint16)", asFUNCTION(setActiveLinkById));
    web("void setActiveTech(const WebItemDesc@, uint16)", asFUNCTION(setActiveLink));
    web("const WebItem@ getActiveTech(int &out)", asFUNCTION(activeTech));
    web("bool isTechVisible(const string &) const", asFUNCTION(techVisibleById));
    web("bool isTechVisible(const WebItemDesc@) const", asFUNCTION(techVisible));
    web("const WebItem@ getItem(const string &)", asFUNCTION(itemById));
    web("const WebItem@ getItem(const WebItemDesc@)", asFUNCTION(item));
    if (server) {
      web("void setResearchRate(double) const", asFUNCTION(setResearchRate));
      web("bool addPoints(const string &, float)", asFUNCTION(addPointsById));
      web("bool addPoints(const WebItemDesc@, float)", asFUNCTION(addPoints));
      web("void markAsVisible(const string &)", asFUNCTION(markAsVisible));
    }

    auto desc = [engine](const char* declaration, const asSFuncPtr& function) {
      checked(engine).RegisterObjectMethod("WebItemDesc", declaration, function, asCALL_CDECL_OBJFIRST);
    };
    desc("string@ get_id() const", asFUNCTION(descId));
    desc("string@ get_desc() const", asFUNCTION(descText));
    desc("string@ get_icon() const", asFUNCTION(descIcon));
    desc("string@ get_name() const", asFUNCTION(descName));
    checked(engine).RegisterObjectMethod("WebItemDesc", "pos2df get_position() const", asFUNCTION(descPosition),
                                         asCALL_GENERIC);
    desc("uint get_linkCount() const", asFUNCTION(descLinkCount));
    desc("bool hasTag(const string@+) const", asFUNCTION(descHasTag));
    desc("string@ getLinkName(uint) const", asFUNCTION(linkName));
    desc("uint getTieCount() const", asFUNCTION(descTieCount));
    desc("uint getTieLevel(uint) const", asFUNCTION(descTieLevel));
    desc("const subSystemDef@ getTie(uint) const", asFUNCTION(descTie));

    auto item = [engine](const char* declaration, const asSFuncPtr& function) {
      checked(engine).RegisterObjectMethod("WebItem", declaration, function, asCALL_CDECL_OBJFIRST);
    };
    item("void getLevels(float &out, float &out, float &out, float &out) const", asFUNCTION(itemLevels));
    item("void getLinkLevels(uint, float &out, float &out) const", asFUNCTION(itemLinkLevels));
    const asSFuncPtr linkEnd = server ? asFUNCTION(serverLinkEnd) : asFUNCTION(clientLinkEnd);
    item("const WebItem@ getLinkEnd(uint) const", linkEnd);
    item("WebItem@ getLinkEnd(uint)", linkEnd);
    if (!server)
      item("const WebItem@ getPossibleLinkEnd(uint) const", asFUNCTION(possibleLinkEnd));
    item("const WebItemDesc@ get_descriptor() const", asFUNCTION(itemDescriptor));
    item("float get_level() const", asFUNCTION(itemLevel));

    checked(engine).RegisterGlobalFunction("const WebItemDesc@ getWebItemDesc(const string &)", asFUNCTION(descById),
                                           asCALL_CDECL);
    checked(engine).RegisterGlobalFunction("const WebItemDesc@ getWebItemDesc(uint)", asFUNCTION(descAt),
                                           asCALL_CDECL);
    checked(engine).RegisterGlobalFunction("uint getWebItemDescCount()", asFUNCTION(descCount), asCALL_CDECL);
  });
}
