#include "script/script_dictionary.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"

using namespace AngelScript;

namespace {

constexpr uint32_t kGCMark = 0x80000000u;
constexpr uint32_t kCountMask = 0x7FFFFFFFu;

bool isObjectType(int typeId) { return (typeId & asTYPEID_MASK_OBJECT) != 0; }
bool isHandleType(int typeId) { return (typeId & asTYPEID_OBJHANDLE) != 0; }

// A double as int64: truncated toward zero; NaN gives 0 and values beyond
// the range give its nearest end.
int64_t truncateToInt64(double value) {
  if (std::isnan(value))
    return 0;
  if (value >= 9223372036854775808.0)
    return std::numeric_limits<int64_t>::max();
  if (value < -9223372036854775808.0)
    return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

// Sets the count to `change(count)` and clears the mark, as one step.
template <typename Change>
uint32_t updateCount(std::atomic<uint32_t>& word, Change change) {
  uint32_t current = word.load(std::memory_order_relaxed);
  uint32_t next;
  do {
    next = change(current & kCountMask) & kCountMask;
  } while (!word.compare_exchange_weak(current, next, std::memory_order_acq_rel, std::memory_order_relaxed));
  return next;
}

}  // namespace

CScriptDictionary* CScriptDictionary::create(asIScriptEngine* engine, asITypeInfo* type) {
  auto* dictionary = new CScriptDictionary(engine);
  if (engine != nullptr && type != nullptr)
    engine->NotifyGarbageCollectorOfNewObject(dictionary, type);
  return dictionary;
}

CScriptDictionary::~CScriptDictionary() {
  for (const auto& entry : entries_)
    releaseValue(entry.second);
}

void CScriptDictionary::addRef() {
  updateCount(refs_, [](uint32_t count) { return count + 1; });
}

void CScriptDictionary::release() {
  if (updateCount(refs_, [](uint32_t count) { return count - 1; }) == 0)
    delete this;
}

int CScriptDictionary::getRefCount() const { return static_cast<int>(refs_.load() & kCountMask); }

void CScriptDictionary::setGCFlag() { refs_.fetch_or(kGCMark); }

bool CScriptDictionary::getGCFlag() const { return (refs_.load() & kGCMark) != 0; }

CScriptDictionary::Value CScriptDictionary::makeValue(void* value, int typeId) const {
  Value made;
  made.typeId = typeId;
  if (isHandleType(typeId)) {
    std::memcpy(&made.object, value, sizeof made.object);  // script variables may be only 4-byte aligned
    if (made.object != nullptr)
      engine_->AddRefScriptObject(made.object, engine_->GetTypeInfoById(typeId));
  } else if (isObjectType(typeId)) {
    made.object = engine_->CreateScriptObjectCopy(value, engine_->GetTypeInfoById(typeId));
  } else {
    const int size = engine_->GetSizeOfPrimitiveType(typeId);
    if (size > 0)
      std::memcpy(made.bytes, value, static_cast<size_t>(size < 8 ? size : 8));
  }
  return made;
}

void CScriptDictionary::releaseValue(const Value& value) const {
  if (isObjectType(value.typeId) && value.object != nullptr)
    engine_->ReleaseScriptObject(value.object, engine_->GetTypeInfoById(value.typeId));
}

void CScriptDictionary::set(const ScriptString& key, void* value, int typeId) {
  const Value fresh = makeValue(value, typeId);
  Value old;
  bool replaced = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = entries_.find(key.text);
    if (found == entries_.end()) {
      entries_.emplace(key.text, fresh);
      iterating_ = false;
    } else {
      old = found->second;
      found->second = fresh;
      replaced = true;
    }
  }
  // Released outside the lock: a destructor may run script code.
  if (replaced)
    releaseValue(old);
}

void CScriptDictionary::setInt64(const ScriptString& key, int64_t& value) { set(key, &value, asTYPEID_INT64); }

void CScriptDictionary::setDouble(const ScriptString& key, double& value) { set(key, &value, asTYPEID_DOUBLE); }

bool CScriptDictionary::read(const Value& stored, void* value, int typeId) const {
  if (isHandleType(typeId)) {
    if (!isObjectType(stored.typeId))
      return false;
    void* cast = nullptr;
    if (stored.object != nullptr) {
      asITypeInfo* storedType = engine_->GetTypeInfoById(stored.typeId);
      if (storedType == nullptr || (storedType->GetFlags() & asOBJ_REF) == 0)
        return false;  // a value type has no handles
      engine_->RefCastObject(stored.object, storedType, engine_->GetTypeInfoById(typeId), &cast);
      if (cast == nullptr)
        return false;
    }
    std::memcpy(value, &cast, sizeof cast);  // the cast holds the variable's reference
    return true;
  }
  if (isObjectType(typeId)) {
    if (stored.typeId != typeId || stored.object == nullptr)
      return false;
    return engine_->AssignScriptObject(value, stored.object, engine_->GetTypeInfoById(typeId)) >= 0;
  }
  if (stored.typeId == typeId) {
    const int size = engine_->GetSizeOfPrimitiveType(typeId);
    if (size > 0)
      std::memcpy(value, stored.bytes, static_cast<size_t>(size < 8 ? size : 8));
    return true;
  }
  if (stored.typeId == asTYPEID_INT64 && typeId == asTYPEID_DOUBLE) {
    const double converted = static_cast<double>(stored.integer);
    std::memcpy(value, &converted, sizeof converted);
    return true;
  }
  if (stored.typeId == asTYPEID_DOUBLE && typeId == asTYPEID_INT64) {
    const int64_t converted = truncateToInt64(stored.number);
    std::memcpy(value, &converted, sizeof converted);
    return true;
  }
  return false;
}

bool CScriptDictionary::pin(const std::u16string* key, Value& out, bool& pinned) const {
  pinned = false;
  const Value* found = nullptr;
  if (key == nullptr) {
    if (!iterating_)
      return false;
    found = &position_->second;
  } else {
    auto at = entries_.find(*key);
    if (at == entries_.end())
      return false;
    found = &at->second;
  }
  out = *found;
  if (isObjectType(out.typeId) && out.object != nullptr) {
    asITypeInfo* type = engine_->GetTypeInfoById(out.typeId);
    if (type != nullptr && (type->GetFlags() & asOBJ_REF) != 0) {
      engine_->AddRefScriptObject(out.object, type);
      pinned = true;
    }
  }
  return true;
}

bool CScriptDictionary::readPinned(const std::u16string* key, void* value, int typeId) const {
  Value stored;
  bool pinned = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!pin(key, stored, pinned))
      return false;
    // An object held by value that cannot be kept alive otherwise is copied
    // under the lock (value types copy in native code).
    if (!pinned)
      return read(stored, value, typeId);
  }
  // Reading a reference-counted object may run script code (a cast or an
  // assignment operator), so it happens outside the lock.
  const bool result = read(stored, value, typeId);
  releaseValue(stored);
  return result;
}

bool CScriptDictionary::get(const ScriptString& key, void* value, int typeId) const {
  return readPinned(&key.text, value, typeId);
}

bool CScriptDictionary::getInt64(const ScriptString& key, int64_t& value) const {
  return get(key, &value, asTYPEID_INT64);
}

bool CScriptDictionary::getDouble(const ScriptString& key, double& value) const {
  return get(key, &value, asTYPEID_DOUBLE);
}

bool CScriptDictionary::exists(const ScriptString& key) const {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.count(key.text) != 0;
}

void CScriptDictionary::remove(const ScriptString& key) {
  Value old;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = entries_.find(key.text);
    if (found == entries_.end())
      return;
    if (iterating_ && position_ == found)
      iterating_ = false;
    old = found->second;
    entries_.erase(found);
  }
  releaseValue(old);
}

void CScriptDictionary::removeAll() {
  Entries taken;
  {
    std::lock_guard<std::mutex> guard(lock_);
    taken.swap(entries_);
    iterating_ = false;
  }
  for (const auto& entry : taken)
    releaseValue(entry.second);
}

bool CScriptDictionary::resetIter() const {
  std::lock_guard<std::mutex> guard(lock_);
  position_ = const_cast<Entries&>(entries_).begin();
  iterating_ = position_ != entries_.end();
  return iterating_;
}

bool CScriptDictionary::advance() const {
  std::lock_guard<std::mutex> guard(lock_);
  if (!iterating_)
    return false;
  ++position_;
  iterating_ = position_ != entries_.end();
  return iterating_;
}

bool CScriptDictionary::getCurrent(void* value, int typeId) const { return readPinned(nullptr, value, typeId); }

bool CScriptDictionary::getCurrentInt64(int64_t& value) const { return getCurrent(&value, asTYPEID_INT64); }

bool CScriptDictionary::getCurrentDouble(double& value) const { return getCurrent(&value, asTYPEID_DOUBLE); }

bool CScriptDictionary::getCurrentName(ScriptString& name) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (!iterating_)
    return false;
  name.text = position_->first;
  return true;
}

void CScriptDictionary::enumReferences(asIScriptEngine* engine) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& entry : entries_) {
    if (isObjectType(entry.second.typeId) && entry.second.object != nullptr)
      engine->GCEnumCallback(entry.second.object);
  }
}

void CScriptDictionary::releaseAllReferences(asIScriptEngine*) { removeAll(); }

// ---------------------------------------------------------------------------
// Registration

namespace {

using Dictionary = CScriptDictionary;

// The factory takes the engine (and the type) from the call, so it is a
// generic function in both forms.
void dictionaryFactory(asIScriptGeneric* gen) {
  asIScriptEngine* engine = gen->GetEngine();
  asITypeInfo* type = engine->GetTypeInfoById(gen->GetFunction()->GetReturnTypeId());
  *static_cast<Dictionary**>(gen->GetAddressOfReturnLocation()) = Dictionary::create(engine, type);
}

Dictionary* self(asIScriptGeneric* gen) { return static_cast<Dictionary*>(gen->GetObject()); }
const ScriptString& keyArg(asIScriptGeneric* gen) { return *static_cast<const ScriptString*>(gen->GetArgAddress(0)); }
void returnBool(asIScriptGeneric* gen, bool value) { gen->SetReturnByte(value ? 1 : 0); }

void genAddRef(asIScriptGeneric* gen) { self(gen)->addRef(); }
void genRelease(asIScriptGeneric* gen) { self(gen)->release(); }
void genSet(asIScriptGeneric* gen) { self(gen)->set(keyArg(gen), gen->GetArgAddress(1), gen->GetArgTypeId(1)); }
void genGet(asIScriptGeneric* gen) {
  returnBool(gen, self(gen)->get(keyArg(gen), gen->GetArgAddress(1), gen->GetArgTypeId(1)));
}
// The number overloads pass the variable's address on with their type.
template <int TypeId>
void genSetNumber(asIScriptGeneric* gen) {
  self(gen)->set(keyArg(gen), gen->GetArgAddress(1), TypeId);
}
template <int TypeId>
void genGetNumber(asIScriptGeneric* gen) {
  returnBool(gen, self(gen)->get(keyArg(gen), gen->GetArgAddress(1), TypeId));
}
void genExists(asIScriptGeneric* gen) { returnBool(gen, self(gen)->exists(keyArg(gen))); }
void genRemove(asIScriptGeneric* gen) { self(gen)->remove(keyArg(gen)); }
void genRemoveAll(asIScriptGeneric* gen) { self(gen)->removeAll(); }
void genGetRefCount(asIScriptGeneric* gen) { gen->SetReturnDWord(static_cast<asDWORD>(self(gen)->getRefCount())); }
void genSetGCFlag(asIScriptGeneric* gen) { self(gen)->setGCFlag(); }
void genGetGCFlag(asIScriptGeneric* gen) { returnBool(gen, self(gen)->getGCFlag()); }
void genEnumReferences(asIScriptGeneric* gen) {
  self(gen)->enumReferences(static_cast<asIScriptEngine*>(gen->GetArgAddress(0)));
}
void genReleaseAllReferences(asIScriptGeneric* gen) {
  self(gen)->releaseAllReferences(static_cast<asIScriptEngine*>(gen->GetArgAddress(0)));
}

struct Entry {
  int behaviour;  // an asEBehaviours value, or -1 for a method
  const char* declaration;
  asSFuncPtr native;
  asGENFUNC_t generic;  // null: not registered in the generic form
};

constexpr int kMethod = -1;

#define CORVANE_METHOD(name, params, result) asMETHODPR(Dictionary, name, params, result)

const Entry kEntries[] = {
    {asBEHAVE_ADDREF, "void f()", CORVANE_METHOD(addRef, (), void), genAddRef},
    {asBEHAVE_RELEASE, "void f()", CORVANE_METHOD(release, (), void), genRelease},
    {kMethod, "void set(const string &, ?&in)", CORVANE_METHOD(set, (const ScriptString&, void*, int), void),
     genSet},
    {kMethod, "bool get(const string &, ?&out) const",
     CORVANE_METHOD(get, (const ScriptString&, void*, int) const, bool), genGet},
    {kMethod, "void set(const string &, int64&in)", CORVANE_METHOD(setInt64, (const ScriptString&, int64_t&), void),
     genSetNumber<asTYPEID_INT64>},
    {kMethod, "bool get(const string &, int64&out) const",
     CORVANE_METHOD(getInt64, (const ScriptString&, int64_t&) const, bool), genGetNumber<asTYPEID_INT64>},
    {kMethod, "void set(const string &, double&in)", CORVANE_METHOD(setDouble, (const ScriptString&, double&), void),
     genSetNumber<asTYPEID_DOUBLE>},
    {kMethod, "bool get(const string &, double&out) const",
     CORVANE_METHOD(getDouble, (const ScriptString&, double&) const, bool), genGetNumber<asTYPEID_DOUBLE>},
    {kMethod, "bool exists(const string &) const", CORVANE_METHOD(exists, (const ScriptString&) const, bool),
     genExists},
    {kMethod, "void delete(const string &)", CORVANE_METHOD(remove, (const ScriptString&), void),
     genRemove},
    {kMethod, "void deleteAll()", CORVANE_METHOD(removeAll, (), void), genRemoveAll},
    {kMethod, "bool resetIter() const", CORVANE_METHOD(resetIter, () const, bool), nullptr},
    {kMethod, "bool advance() const", CORVANE_METHOD(advance, () const, bool), nullptr},
    {kMethod, "bool getCurrent(?&out) const", CORVANE_METHOD(getCurrent, (void*, int) const, bool), nullptr},
    {kMethod, "bool getCurrent(int64&out) const", CORVANE_METHOD(getCurrentInt64, (int64_t&) const, bool),
     nullptr},
    {kMethod, "bool getCurrent(double&out) const", CORVANE_METHOD(getCurrentDouble, (double&) const, bool),
     nullptr},
    {kMethod, "bool getCurrentName(string&out) const", CORVANE_METHOD(getCurrentName, (ScriptString&) const, bool),
     nullptr},
    {asBEHAVE_GETREFCOUNT, "int f()", CORVANE_METHOD(getRefCount, () const, int), genGetRefCount},
    {asBEHAVE_SETGCFLAG, "void f()", CORVANE_METHOD(setGCFlag, (), void), genSetGCFlag},
    {asBEHAVE_GETGCFLAG, "bool f()", CORVANE_METHOD(getGCFlag, () const, bool), genGetGCFlag},
    {asBEHAVE_ENUMREFS, "void f(int&in)", CORVANE_METHOD(enumReferences, (asIScriptEngine*), void),
     genEnumReferences},
    {asBEHAVE_RELEASEREFS, "void f(int&in)", CORVANE_METHOD(releaseAllReferences, (asIScriptEngine*), void),
     genReleaseAllReferences},
};

#undef CORVANE_METHOD

void registerEntries(asIScriptEngine* engine, bool generic) {
  if (engine == nullptr)
    return;
  checked(engine).RegisterObjectType("dictionary", sizeof(Dictionary), asOBJ_REF | asOBJ_GC);
  checked(engine).RegisterObjectBehaviour("dictionary", asBEHAVE_FACTORY, "dictionary@ f()",
                                          asFUNCTION(dictionaryFactory), asCALL_GENERIC);
  for (const Entry& entry : kEntries) {
    if (generic && entry.generic == nullptr)
      continue;
    const asSFuncPtr function = generic ? asFUNCTION(entry.generic) : entry.native;
    const asDWORD convention = generic ? asCALL_GENERIC : asCALL_THISCALL;
    if (entry.behaviour == kMethod)
      checked(engine).RegisterObjectMethod("dictionary", entry.declaration, function, convention);
    else
      checked(engine).RegisterObjectBehaviour("dictionary", static_cast<asEBehaviours>(entry.behaviour),
                                              entry.declaration, function, convention);
  }
}

}  // namespace

void registerScriptDictionaryNative(asIScriptEngine* engine) { registerEntries(engine, false); }

void registerScriptDictionaryGeneric(asIScriptEngine* engine) { registerEntries(engine, true); }

void registerScriptDictionary(asIScriptEngine* engine) {
  if (scriptLibraryNeedsGenericCalls())
    registerScriptDictionaryGeneric(engine);
  else
    registerScriptDictionaryNative(engine);
}
