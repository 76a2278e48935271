#include "script/script_report.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "core/log.h"
#include "script/script_engine.h"
#include "script/script_string.h"

using namespace AngelScript;

namespace {

enum class Printable {
  Float,
  Double,
  Bool,
  Int8,
  Int16,
  Int32,
  Int64,
  UInt8,
  UInt16,
  UInt32,
  UInt64,
  String,        // a string variable: the address is the string
  StringHandle,  // a string@ variable: the address holds the handle
  Vector,
  ObjectHandle,  // an Object@ variable: the address holds the handle
  StateHandle,   // a State@ variable
  EventHandle,   // an Event@ variable (server engine only)
};

using PrintableTypes = std::map<int, Printable>;

// The engine keeps its table as user data, freed with the engine.
constexpr asPWORD kPrintableTypesData = 0x50524E54;  // "PRNT"

void freePrintableTypes(asIScriptEngine* engine) {
  delete static_cast<PrintableTypes*>(engine->GetUserData(kPrintableTypesData));
}

const PrintableTypes* printableTypes(asIScriptEngine* engine) {
  return engine != nullptr ? static_cast<const PrintableTypes*>(engine->GetUserData(kPrintableTypesData)) : nullptr;
}

std::atomic<ScriptObjectNameReader> objectNameReader{nullptr};
std::atomic<ScriptEventReader> eventReader{nullptr};
std::atomic<ScriptObjectNameReader> stateNameReader{nullptr};

// Strings print whole up to this many characters, else cut to kCutLength.
constexpr irr::u32 kWholeLength = 33;
constexpr irr::u32 kCutLength = 30;
// Most callers the call stack lists.
constexpr asUINT kMaxCallers = 50;

void appendUtf8(std::string& out, const irr::core::stringw& text, irr::u32 count) {
  for (irr::u32 i = 0; i < count && i < text.size(); ++i) {
    const uint32_t code = static_cast<uint32_t>(text[i]);
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | ((code >> 18) & 0x07)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
}

void appendShortText(std::string& out, const irr::core::stringw& wide) {
  if (wide.size() <= kWholeLength) {
    appendUtf8(out, wide, wide.size());
  } else {
    appendUtf8(out, wide, kCutLength);
    out += "...";
  }
}

void appendShortText(std::string& out, const ScriptString* text) {
  if (text == nullptr)
    out += "<Null Handle>";
  else
    appendShortText(out, text->toStringw());
}

// Formats into room of the size the text needs ("%f" of a large double runs
// to hundreds of digits).
template <typename... Args>
void appendFormatted(std::string& out, const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0)
    return;
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(length) + 1);
  std::snprintf(&out[at], static_cast<size_t>(length) + 1, format, args...);
  out.resize(at + static_cast<size_t>(length));
}

void appendNamed(std::string& out, const void* object, ScriptObjectNameReader name) {
  if (object == nullptr)
    out += "<Null Handle>";
  else if (name == nullptr)
    out += "<Not a simple type>";
  else
    appendShortText(out, name(object));
}

void appendObject(std::string& out, const void* object) { appendNamed(out, object, objectNameReader.load()); }

void appendEvent(std::string& out, const void* event) {
  const ScriptEventReader parts = eventReader.load();
  const ScriptObjectNameReader name = objectNameReader.load();
  if (event == nullptr) {
    out += "<Null Handle>";
    return;
  }
  if (parts == nullptr || name == nullptr) {
    out += "<Not a simple type>";
    return;
  }
  const auto appendName = [&](const void* object) {
    if (object == nullptr) {
      out += "<Null>";
      return;
    }
    const irr::core::stringw text = name(object);
    appendUtf8(out, text, text.size());
  };
  const ScriptEventParts read = parts(event);
  appendName(read.obj);
  out += "->";
  appendName(read.target);
  appendFormatted(out, ", %.2f", static_cast<double>(read.time));
}

// Script stack slots are only 4-byte aligned: copy rather than dereference.
template <typename T>
T read(const void* address) {
  T value;
  std::memcpy(&value, address, sizeof value);
  return value;
}

void appendValue(std::string& out, const void* address, asIScriptEngine* engine, int typeId) {
  if (address == nullptr) {
    out += "<Invalid Variable>";
    return;
  }
  const PrintableTypes* types = printableTypes(engine);
  const auto found = types != nullptr ? types->find(typeId & ~asTYPEID_HANDLETOCONST) : PrintableTypes::const_iterator();
  if (types == nullptr || found == types->end()) {
    out += "<Not a simple type>";
    return;
  }
  switch (found->second) {
    case Printable::Float:
      appendFormatted(out, "%f", static_cast<double>(read<float>(address)));
      break;
    case Printable::Double:
      appendFormatted(out, "%f", read<double>(address));
      break;
    case Printable::Bool:
      out += read<uint8_t>(address) == 1 ? "true" : "false";
      break;
    case Printable::Int8:
      appendFormatted(out, "%i", static_cast<int>(read<int8_t>(address)));
      break;
    case Printable::Int16:
      appendFormatted(out, "%i", static_cast<int>(read<int16_t>(address)));
      break;
    case Printable::Int32:
      appendFormatted(out, "%i", read<int32_t>(address));
      break;
    case Printable::Int64:
      appendFormatted(out, "%" PRId64, read<int64_t>(address));
      break;
    case Printable::UInt8:
      appendFormatted(out, "%u", static_cast<unsigned>(read<uint8_t>(address)));
      break;
    case Printable::UInt16:
      appendFormatted(out, "%u", static_cast<unsigned>(read<uint16_t>(address)));
      break;
    case Printable::UInt32:
      appendFormatted(out, "%u", read<uint32_t>(address));
      break;
    case Printable::UInt64:
      appendFormatted(out, "%" PRIu64, read<uint64_t>(address));
      break;
    case Printable::String:
      appendShortText(out, static_cast<const ScriptString*>(address));
      break;
    case Printable::StringHandle:
      appendShortText(out, read<const ScriptString*>(address));
      break;
    case Printable::Vector: {
      const float* xyz = static_cast<const float*>(address);
      appendFormatted(out, "<%f, %f, %f>", static_cast<double>(read<float>(xyz)),
                      static_cast<double>(read<float>(xyz + 1)), static_cast<double>(read<float>(xyz + 2)));
      break;
    }
    case Printable::ObjectHandle:
      appendObject(out, read<const void*>(address));
      break;
    case Printable::EventHandle:
      appendEvent(out, read<const void*>(address));
      break;
    case Printable::StateHandle:
      appendNamed(out, read<const void*>(address), stateNameReader.load());
      break;
  }
}

const char* orEmpty(const char* text) { return text != nullptr ? text : ""; }

// " module::declaration\n  section(line)\n"
void logFunctionPlace(asIScriptFunction* function, int line) {
  logError(" %s::%s\n  %s(%i)\n", orEmpty(function->GetModuleName()), orEmpty(function->GetDeclaration(true)),
           orEmpty(function->GetScriptSectionName()), line);
}

}  // namespace

void setScriptObjectNameReader(ScriptObjectNameReader reader) { objectNameReader.store(reader); }

void setScriptEventReader(ScriptEventReader reader) { eventReader.store(reader); }

void setScriptStateNameReader(ScriptObjectNameReader reader) { stateNameReader.store(reader); }

void registerPrintableTypes(asIScriptEngine* engine) {
  if (engine == nullptr)
    return;
  PrintableTypes* types = static_cast<PrintableTypes*>(engine->GetUserData(kPrintableTypesData));
  if (types == nullptr) {
    types = new PrintableTypes();
    engine->SetUserData(types, kPrintableTypesData);
    engine->SetEngineUserDataCleanupCallback(freePrintableTypes, kPrintableTypesData);
  }
  const std::pair<int, Printable> primitives[] = {
      {asTYPEID_FLOAT, Printable::Float},   {asTYPEID_DOUBLE, Printable::Double}, {asTYPEID_BOOL, Printable::Bool},
      {asTYPEID_INT8, Printable::Int8},     {asTYPEID_INT16, Printable::Int16},   {asTYPEID_INT32, Printable::Int32},
      {asTYPEID_INT64, Printable::Int64},   {asTYPEID_UINT8, Printable::UInt8},   {asTYPEID_UINT16, Printable::UInt16},
      {asTYPEID_UINT32, Printable::UInt32}, {asTYPEID_UINT64, Printable::UInt64},
  };
  for (const auto& entry : primitives)
    (*types)[entry.first] = entry.second;
  const std::pair<const char*, Printable> named[] = {
      {"string", Printable::String},
      {"string@", Printable::StringHandle},
      {"vector", Printable::Vector},
      {"Object@", Printable::ObjectHandle},
      {"State@", Printable::StateHandle},
  };
  for (const auto& entry : named) {
    const int typeId = engine->GetTypeIdByDecl(entry.first);
    if (typeId >= 0)
      (*types)[typeId] = entry.second;
  }
  // Events print on the server engine only.
  if (engine != clientScriptEngine) {
    const int typeId = engine->GetTypeIdByDecl("Event@");
    if (typeId >= 0)
      (*types)[typeId] = Printable::EventHandle;
  }
}

void printScriptValue(const void* address, asIScriptEngine* engine, int typeId) {
  std::string text;
  appendValue(text, address, engine, typeId);
  logPrint("%s", text.c_str());
}

void printScriptSnapshot(asIScriptContext* context) {
  if (context == nullptr)
    return;
  asIScriptFunction* function = context->GetFunction(0);
  const int count = context->GetVarCount(0);
  if (function == nullptr || count <= 0)
    return;
  logPrint("Script snapshot: %s::%s\n  %s(%i)\n", orEmpty(function->GetModuleName()), orEmpty(function->GetName()),
           orEmpty(function->GetScriptSectionName()), context->GetLineNumber(0));
  asIScriptEngine* engine = context->GetEngine();
  for (int i = 0; i < count; ++i) {
    std::string line = " ";
    line += orEmpty(context->GetVarName(i, 0));
    line += ": ";
    appendValue(line, context->GetAddressOfVar(i, 0), engine, context->GetVarTypeId(i, 0));
    line += "\n";
    logPrint("%s", line.c_str());
  }
}

void printScriptCallStack(asIScriptContext* context) {
  if (context == nullptr)
    return;
  // Level 0 is the function that is running (reported on its own); its
  // callers follow from level 1 outwards.
  const asUINT size = context->GetCallstackSize();
  for (asUINT level = 1; level < size && level <= kMaxCallers; ++level) {
    if (asIScriptFunction* function = context->GetFunction(level))
      logFunctionPlace(function, context->GetLineNumber(level));
    else
      logError(" <Unknown function>\n");
  }
}

void printScriptException(asIScriptContext* context, void*) {
  if (context == nullptr)
    return;
  logError("Script Exception: %s\n", orEmpty(context->GetExceptionString()));
  asIScriptFunction* function = context->GetExceptionFunction();
  if (function == nullptr)
    return;
  logFunctionPlace(function, context->GetExceptionLineNumber());
  printScriptCallStack(context);
}
