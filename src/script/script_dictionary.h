// The script type `dictionary`: string keys mapped to values of any script
// type (numbers, objects held by copy, object handles), with one iteration
// position per dictionary. Dictionaries are garbage collected, so two that
// hold handles to each other are reclaimed by the engine's collector.
//
// Numbers stored through the int64 and double overloads convert between the
// two when read (a double is truncated toward zero, and saturates at the
// int64 range); any other stored type is read back only as that same type.
//
// The collector runs on a thread of its own while scripts use dictionaries:
// the reference count and the collector's mark share one atomic word, and the
// entries are guarded by a lock that is never held while script code runs.
#pragma once

#include <angelscript.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

class ScriptString;

class CScriptDictionary {
 public:
  // A new empty dictionary holding one reference, handed to the engine's
  // collector as an object of `type` ("dictionary").
  static CScriptDictionary* create(AngelScript::asIScriptEngine* engine, AngelScript::asITypeInfo* type);

  CScriptDictionary(const CScriptDictionary&) = delete;
  CScriptDictionary& operator=(const CScriptDictionary&) = delete;

  void addRef();
  void release();

  // Stores the value at `value` of script type `typeId` under `key`. A new
  // key ends a running iteration; replacing a value does not.
  void set(const ScriptString& key, void* value, int typeId);
  void setInt64(const ScriptString& key, int64_t& value);
  void setDouble(const ScriptString& key, double& value);
  // Reads the value under `key` into the variable at `value` of type
  // `typeId`. False (the variable untouched) when the key is absent or the
  // stored value cannot be read as that type.
  bool get(const ScriptString& key, void* value, int typeId) const;
  bool getInt64(const ScriptString& key, int64_t& value) const;
  bool getDouble(const ScriptString& key, double& value) const;
  bool exists(const ScriptString& key) const;
  void remove(const ScriptString& key);  // "delete"
  void removeAll();                      // "deleteAll"

  // Iteration in key order.
  bool resetIter() const;
  bool advance() const;
  bool getCurrent(void* value, int typeId) const;
  bool getCurrentInt64(int64_t& value) const;
  bool getCurrentDouble(double& value) const;
  bool getCurrentName(ScriptString& name) const;

  // Garbage collector behaviours.
  int getRefCount() const;
  void setGCFlag();
  bool getGCFlag() const;
  void enumReferences(AngelScript::asIScriptEngine* engine);
  void releaseAllReferences(AngelScript::asIScriptEngine* engine);

 protected:
  explicit CScriptDictionary(AngelScript::asIScriptEngine* engine) : engine_(engine) {}
  virtual ~CScriptDictionary();

 private:
  // A stored value: a number's bytes, or an object (owned copy or handle
  // holding one reference), with its script type id.
  struct Value {
    union {
      int64_t integer = 0;
      double number;
      void* object;
      unsigned char bytes[8];
    };
    int typeId = 0;
  };
  using Entries = std::map<std::u16string, Value>;

  Value makeValue(void* value, int typeId) const;
  void releaseValue(const Value& value) const;
  // Reads `stored` into the variable; called without the lock held, with
  // `stored`'s reference-counted object kept alive by the caller.
  bool read(const Value& stored, void* value, int typeId) const;
  // Copies the value under `key` (or at the iteration position when `key`
  // is null) with its object kept alive; false when there is none.
  bool pin(const std::u16string* key, Value& out, bool& pinned) const;
  bool readPinned(const std::u16string* key, void* value, int typeId) const;

  AngelScript::asIScriptEngine* engine_;
  // The reference count in the low 31 bits, the collector's mark in the top one.
  std::atomic<uint32_t> refs_{1};
  mutable std::mutex lock_;
  Entries entries_;
  mutable Entries::iterator position_;
  mutable bool iterating_ = false;
};

// Registers `dictionary` with native calls, or through generic wrappers (for
// builds of the library without native calling conventions; that form has
// no iteration methods). registerScriptDictionary picks the form the library
// supports. The string type must be registered first.
void registerScriptDictionaryNative(AngelScript::asIScriptEngine* engine);
void registerScriptDictionaryGeneric(AngelScript::asIScriptEngine* engine);
void registerScriptDictionary(AngelScript::asIScriptEngine* engine);
