// The declaration coverage of the simulation's script interface: what each
// engine holds after a session's set-up, as the engine prints it, and the
// script calls that reach it.
//
// Manifest lines, one per registered declaration:
//   "type Object"                          an object type
//   "Object behaviour addref: void f()"    a behaviour (construct, destruct,
//                                          addref, release, ...)
//   "Object factory: TreatyFactory@ TreatyFactory()"
//   "bool Object::isValid() const"         a method
//   "Object property: vector velocity"     an object property
//   "float getSystemCount()"               a global function
//   "global property: bool shiftKey"       a global property
//   "enum OddityType: ODT_Asteroid = 0"    an enumeration value
// The script host's own declarations (string, array, dictionary, math, XML,
// the core globals) are left out: they are those of a set-up whose only
// binding is the type "Empire".
#pragma once

#include <angelscript.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace bindingcoverage {

inline const char* behaviourName(AngelScript::asEBehaviours behaviour) {
  using namespace AngelScript;
  switch (behaviour) {
    case asBEHAVE_CONSTRUCT:
      return "construct";
    case asBEHAVE_LIST_CONSTRUCT:
      return "list construct";
    case asBEHAVE_DESTRUCT:
      return "destruct";
    case asBEHAVE_FACTORY:
      return "factory";
    case asBEHAVE_LIST_FACTORY:
      return "list factory";
    case asBEHAVE_ADDREF:
      return "addref";
    case asBEHAVE_RELEASE:
      return "release";
    case asBEHAVE_GET_WEAKREF_FLAG:
      return "weakref flag";
    case asBEHAVE_TEMPLATE_CALLBACK:
      return "template callback";
    case asBEHAVE_GETREFCOUNT:
      return "gc count";
    case asBEHAVE_SETGCFLAG:
      return "gc set flag";
    case asBEHAVE_GETGCFLAG:
      return "gc flag";
    case asBEHAVE_ENUMREFS:
      return "gc enum refs";
    case asBEHAVE_RELEASEREFS:
      return "gc release refs";
    default:
      return "other";
  }
}

// One manifest line with the function it names (null for types, properties
// and enum values) and the type it belongs to (empty for globals).
struct Entry {
  std::string line;
  std::string type;
  int functionId = -1;
  std::string name;  // property or enum value name, for the text search
};

// Every declaration of `engine`, in the engine's order. A type seen twice
// appears twice.
inline std::vector<Entry> declarationsOf(AngelScript::asIScriptEngine* engine) {
  using namespace AngelScript;
  std::vector<Entry> entries;
  for (asUINT t = 0; t < engine->GetObjectTypeCount(); ++t) {
    asITypeInfo* type = engine->GetObjectTypeByIndex(t);
    const std::string name = type->GetName();
    entries.push_back({"type " + name, name, -1, ""});
    for (asUINT b = 0; b < type->GetBehaviourCount(); ++b) {
      asEBehaviours behaviour;
      asIScriptFunction* function = type->GetBehaviourByIndex(b, &behaviour);
      entries.push_back({name + " behaviour " + behaviourName(behaviour) + ": " + function->GetDeclaration(false),
                         name, function->GetId(), ""});
    }
    for (asUINT f = 0; f < type->GetFactoryCount(); ++f) {
      asIScriptFunction* function = type->GetFactoryByIndex(f);
      entries.push_back({name + " factory: " + function->GetDeclaration(false), name, function->GetId(), ""});
    }
    for (asUINT m = 0; m < type->GetMethodCount(); ++m) {
      asIScriptFunction* function = type->GetMethodByIndex(m, false);
      entries.push_back({function->GetDeclaration(true, false, false), name, function->GetId(), ""});
    }
    for (asUINT p = 0; p < type->GetPropertyCount(); ++p) {
      const char* propertyName = nullptr;
      type->GetProperty(p, &propertyName);
      entries.push_back({name + " property: " + type->GetPropertyDeclaration(p), name, -1, propertyName});
    }
  }
  for (asUINT f = 0; f < engine->GetGlobalFunctionCount(); ++f) {
    asIScriptFunction* function = engine->GetGlobalFunctionByIndex(f);
    entries.push_back({function->GetDeclaration(true, true, false), "", function->GetId(), ""});
  }
  for (asUINT p = 0; p < engine->GetGlobalPropertyCount(); ++p) {
    const char* name = nullptr;
    int typeId = 0;
    bool isConst = false;
    engine->GetGlobalPropertyByIndex(p, &name, nullptr, &typeId, &isConst);
    entries.push_back({std::string("global property: ") + (isConst ? "const " : "") +
                           engine->GetTypeDeclaration(typeId) + " " + name,
                       "", -1, name});
  }
  for (asUINT e = 0; e < engine->GetEnumCount(); ++e) {
    asITypeInfo* type = engine->GetEnumByIndex(e);
    entries.push_back({std::string("type ") + type->GetName(), type->GetName(), -1, ""});
    for (asUINT v = 0; v < type->GetEnumValueCount(); ++v) {
      int value = 0;
      const char* valueName = type->GetEnumValueByIndex(v, &value);
      entries.push_back({std::string("enum ") + type->GetName() + ": " + valueName + " = " + std::to_string(value),
                         type->GetName(), -1, valueName});
    }
  }
  for (asUINT f = 0; f < engine->GetFuncdefCount(); ++f) {
    asITypeInfo* type = engine->GetFuncdefByIndex(f);
    entries.push_back({std::string("funcdef ") + type->GetFuncdefSignature()->GetDeclaration(), "", -1, ""});
  }
  return entries;
}

// The system functions that `function` calls, directly or through the
// script functions it calls.
inline void calledFunctions(AngelScript::asIScriptFunction* function, std::set<int>& called,
                            std::set<int>& visited) {
  using namespace AngelScript;
  if (function == nullptr || !visited.insert(function->GetId()).second)
    return;
  asUINT length = 0;
  asDWORD* code = function->GetByteCode(&length);
  if (code == nullptr)
    return;
  asIScriptEngine* engine = function->GetEngine();
  for (asUINT at = 0; at < length;) {
    const asBYTE op = *reinterpret_cast<const asBYTE*>(&code[at]);
    switch (op) {
      case asBC_CALLSYS:
      case asBC_Thiscall1:
      case asBC_CALLINTF:  // a method of a registered interface
        called.insert(asBC_INTARG(&code[at]));
        break;
      case asBC_CALL:
        calledFunctions(engine->GetFunctionById(asBC_INTARG(&code[at])), called, visited);
        break;
      case asBC_ALLOC:
        called.insert(*reinterpret_cast<const int*>(&code[at + 1 + AS_PTR_SIZE]));
        break;
      case asBC_FuncPtr: {
        auto* pointed = reinterpret_cast<asIScriptFunction*>(asBC_PTRARG(&code[at]));
        if (pointed != nullptr)
          called.insert(pointed->GetId());
        break;
      }
      default:
        break;
    }
    at += asBCTypeSize[asBCInfo[op].type];
  }
}

// Whether `text` holds `word` as a whole identifier.
inline bool mentions(const std::string& text, const std::string& word) {
  const auto identifier = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    const bool startsWord = at == 0 || !identifier(text[at - 1]);
    const bool endsWord = at + word.size() >= text.size() || !identifier(text[at + word.size()]);
    if (startsWord && endsWord)
      return true;
  }
  return false;
}

}  // namespace bindingcoverage
