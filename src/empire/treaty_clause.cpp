#include "empire/treaty_clause.h"

#include <angelscript.h>

#include <string>

#include "core/file_access.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/names.h"
#include "core/text_conversions.h"
#include "script/function_hook.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "script/script_xml_io.h"

using irr::core::stringc;
using irr::core::stringw;

NamedVar<ScriptClauseDescriptor *>::Registry clauseDescriptors;

namespace {

using ClauseEntry = NamedVar<ScriptClauseDescriptor *>;

stringw attribute(const ScriptXmlReader &reader, const wchar_t *name) {
  return stringw(reader.getAttributeValueSafe(name));
}

void releaseString(ScriptString *&text) {
  if (text != nullptr)
    text->release();
  text = nullptr;
}

// A hook element: "func" names the function, "type" the hook it sets.
void readHook(const ScriptXmlReader &reader,
              ScriptClauseDescriptor &descriptor) {
  const stringw type = attribute(reader, L"type");
  int32_t *slot = nullptr;
  const char *arguments = "(Clause@,Empire@,Empire@)";
  if (type == L"begin") {
    slot = &descriptor.beginHook;
  } else if (type == L"tick") {
    slot = &descriptor.tickHook;
    arguments = "(Clause@,Empire@,Empire@,double)";
  } else if (type == L"end") {
    slot = &descriptor.endHook;
  } else if (type == L"fail") {
    slot = &descriptor.failHook;
  } else {
    return;
  }
  const stringc functionText(attribute(reader, L"func"));
  FunctionHook hook;
  hook.set(functionText.c_str());
  *slot = serverScriptEngine != nullptr
              ? hook.getFunctionId(serverScriptEngine, "ClauseState", arguments)
              : -1;
}

// The text of a "tag" or "deny" element: the one node after it, when that is
// text. Whatever node stands there is consumed.
bool readElementText(ScriptXmlReader &reader, stringw &text) {
  if (!reader.read() || reader.getNodeType() != irr::io::EXN_TEXT)
    return false;
  text = reader.getNodeData();
  reader.read(); // past the end element
  return true;
}

bool isNumberText(const stringw &text) {
  for (irr::u32 i = 0; i < text.size(); ++i) {
    if (std::wcschr(L"0123456789-.", text[i]) == nullptr || text[i] == 0)
      return false;
  }
  return true;
}

void readOption(const ScriptXmlReader &reader,
                ScriptClauseDescriptor &descriptor) {
  descriptor.options.emplace_back();
  SClauseOption &option = descriptor.options.back();
  option.setName(attribute(reader, L"name"));
  const stringw type = attribute(reader, L"type");
  if (type == L"integer")
    option.setDeclaredType(OT_INTEGER);
  else if (type == L"float")
    option.setDeclaredType(OT_FLOAT);
  else if (type == L"string")
    option.setDeclaredType(OT_STRING);

  const wchar_t *def = reader.getAttributeValue(L"def");
  if (def == nullptr)
    return;
  const stringw text(def);
  if (isNumberText(text)) {
    if (text.findFirst(L'.') >= 0)
      option.opAssign(clauseTextToFloat(text));
    else
      option.opAssign(wideStringToInt(text));
  } else {
    ScriptString *value = new ScriptString(text);
    option.opAssign(value);
    value->release();
  }
}

// A clause element: a new current descriptor, or null when the element is
// refused (missing texts) or repeats an id.
ScriptClauseDescriptor *beginClause(const ScriptXmlReader &reader) {
  const stringw id = attribute(reader, L"id");
  stringw name = attribute(reader, L"name");
  stringw desc = attribute(reader, L"desc");
  stringw sdesc = attribute(reader, L"sdesc");
  if (id.empty() || name.empty() || desc.empty()) {
    logPrint("Clause missing id, name, or desc\n");
    return nullptr;
  }
  checkLocalize(name);
  checkLocalize(desc);
  checkLocalize(sdesc);

  if (ClauseEntry::findNoSort(clauseDescriptors, id) >= 0) {
    logPrint("Error: Duplicate treaty id '%ls'\n", id.c_str());
    return nullptr;
  }
  auto *descriptor = new ScriptClauseDescriptor;
  descriptor->id = new ScriptString(id);
  descriptor->name = new ScriptString(name);
  descriptor->desc = new ScriptString(desc);
  descriptor->icon = new ScriptString(attribute(reader, L"icon"));
  if (sdesc.empty()) {
    descriptor->summary = descriptor->desc;
    descriptor->summary->addRef();
  } else {
    descriptor->summary = new ScriptString(sdesc);
  }
  ClauseEntry::getOrAdd(clauseDescriptors, id).value = descriptor;
  return descriptor;
}

void loadClauses(ScriptXmlReader &reader) {
  ScriptClauseDescriptor *current = nullptr;
  while (reader.read()) {
    const irr::io::EXML_NODE type = reader.getNodeType();
    if (type == irr::io::EXN_ELEMENT_END) {
      if (isXmlElement(reader, L"clause"))
        current = nullptr;
      continue;
    }
    if (type != irr::io::EXN_ELEMENT)
      continue;
    if (isXmlElement(reader, L"clause")) {
      // A refused or repeated clause leaves no current descriptor, so its
      // children are not given to the clause before it.
      current = beginClause(reader);
      continue;
    }
    if (current == nullptr)
      continue;
    stringw text;
    if (isXmlElement(reader, L"hook")) {
      readHook(reader, *current);
    } else if (isXmlElement(reader, L"tag")) {
      if (readElementText(reader, text))
        current->tags.insert(text);
    } else if (isXmlElement(reader, L"deny")) {
      if (readElementText(reader, text))
        current->deny.insert(text);
    } else if (isXmlElement(reader, L"option")) {
      readOption(reader, *current);
    } else if (isXmlElement(reader, L"offensive")) {
      current->offensive = true;
    }
  }
}

} // namespace

ScriptClauseDescriptor::~ScriptClauseDescriptor() {
  releaseString(id);
  releaseString(name);
  releaseString(desc);
  releaseString(summary);
  releaseString(icon);
}

void loadTreatyClauses(const stringc &path) {
  std::string bytes;
  if (!readWholeFile(path, bytes))
    return;
  ScriptXmlReader reader(bytes);
  loadClauses(reader);
  if (reader.takeMalformed())
    logError("Damaged clause file \"%s\": markup is cut off, the rest was not "
             "loaded\n",
             path.c_str());
}

void clearTreatyClauses() {
  for (irr::u32 i = 0; i < clauseDescriptors.size(); ++i)
    delete clauseDescriptors[i].value;
  clauseDescriptors.clear();
  clauseDescriptors.set_sorted(true);
}

uint32_t getClauseDescriptorCount() { return clauseDescriptors.size(); }

const ScriptClauseDescriptor *getClauseDescriptor(uint32_t index) {
  return index < clauseDescriptors.size() ? clauseDescriptors[index].value
                                          : nullptr;
}

const ScriptClauseDescriptor *getClauseDescriptor(const stringw &id) {
  const irr::s32 index = ClauseEntry::findNoSort(clauseDescriptors, id);
  return index >= 0 ? clauseDescriptors[static_cast<irr::u32>(index)].value
                    : nullptr;
}

IClause *createClause(const stringw &id, bool reversed) {
  const ScriptClauseDescriptor *descriptor = getClauseDescriptor(id);
  return descriptor != nullptr ? new ScriptClause(descriptor, reversed)
                               : nullptr;
}

ScriptClause::ScriptClause(const ScriptClauseDescriptor *descriptor,
                           bool reversed)
    : descriptor_(descriptor), reversed_(reversed) {
  options_.reserve(descriptor->options.size());
  for (const SClauseOption &option : descriptor->options)
    options_.push_back(new ClauseOption(option));
}

ScriptClause::~ScriptClause() {
  for (ClauseOption *option : options_)
    delete option; // releases the name and a held string
}

const ClauseOption *ScriptClause::getOption(uint32_t index) const {
  return index < options_.size() ? options_[index] : nullptr;
}

ClauseOption *ScriptClause::getOption(uint32_t index) {
  return index < options_.size() ? options_[index] : nullptr;
}

bool ScriptClause::hasTag(const ScriptString *tag) const {
  return tag != nullptr && descriptor_->tags.count(tag->toStringw()) != 0;
}

bool ScriptClause::allowedIn(ITreaty *treaty) const {
  if (treaty == nullptr)
    return true;
  for (const stringw &tag : descriptor_->deny) {
    if (treaty->hasTag(tag))
      return false;
  }
  return true;
}

int32_t ScriptClause::begin(empire *a, empire *b) {
  return runHook(descriptor_->beginHook, a, b, nullptr);
}

int32_t ScriptClause::tick(empire *a, empire *b, double seconds) {
  return runHook(descriptor_->tickHook, a, b, &seconds);
}

int32_t ScriptClause::end(empire *a, empire *b) {
  return runHook(descriptor_->endHook, a, b, nullptr);
}

int32_t ScriptClause::fail(empire *a, empire *b) {
  return runHook(descriptor_->failHook, a, b, nullptr);
}

int32_t ScriptClause::runHook(int32_t functionId, empire *a, empire *b,
                              const double *seconds) {
  using namespace AngelScript;
  if (functionId < 0)
    return CS_NOCHANGE;
  asIScriptContext *context = threadServerContext();
  if (context == nullptr)
    return CS_NOCHANGE;
  asIScriptFunction *function =
      context->GetEngine()->GetFunctionById(functionId);
  if (function == nullptr)
    return CS_NOCHANGE;

  const bool nested = context->GetState() == asEXECUTION_ACTIVE;
  if (nested) {
    if (context->PushState() < 0)
      return CS_NOCHANGE;
    if (context->Prepare(function) < 0) {
      context->PopState();
      return CS_NOCHANGE;
    }
  } else if (context->GetFunction() != function) {
    context->Unprepare();
    if (context->Prepare(function) < 0)
      return CS_NOCHANGE;
  } else if (context->GetState() != asEXECUTION_PREPARED &&
             context->Prepare(function) < 0) {
    return CS_NOCHANGE; // preparing again for the same function only resets the
                        // context
  }

  IClause *self = this;
  context->SetArgAddress(0, self);
  context->SetArgAddress(1, a);
  context->SetArgAddress(2, b);
  if (seconds != nullptr)
    context->SetArgDouble(3, *seconds);
  addRef(); // the handle the script receives, released by the script
  const int state = context->Execute();
  int32_t result = CS_NOCHANGE;
  if (state == asEXECUTION_FINISHED)
    result = static_cast<int32_t>(context->GetReturnDWord());
  if (nested)
    context->PopState();
  else if (state != asEXECUTION_FINISHED)
    context->Unprepare(); // a stopped run keeps its arguments, the clause among
                          // them, until then
  return result;
}
