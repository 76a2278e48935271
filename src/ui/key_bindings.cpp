#include "ui/key_bindings.h"

#include <angelscript.h>

#include <memory>
#include <string>
#include <vector>

#include "app/base/console.h"
#include "core/text_trim.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"

using irr::core::stringw;

KeyBindings keyBindings;

namespace {

KeyBindings* activeTable = nullptr;

KeyActionTable actionTable;
// Action -> the name it was registered under, for writing bindings out.
std::map<const NativeKeyAction*, stringw> actionNames;
// Every action ever registered; a replaced one stays, as bindings may still
// point at it.
std::vector<std::unique_ptr<NativeKeyAction>> registeredActions;

constexpr uint8_t kTildeKey = 192;
constexpr uint8_t kFirstFunctionKey = 112;  // F1
constexpr unsigned kFunctionKeyCount = 24;
constexpr uint8_t kFirstKeypadDigit = 96;  // KP_0

struct KeyName {
  const wchar_t* name;
  uint8_t code;
};

// Names of whole words, upper case.
constexpr KeyName kKeyNames[] = {
    {L"DELETE", 46},       {L"DECIMAL", 110}, {L"DOWN", 40},     {L"END", 35},        {L"HOME", 36},
    {L"INSERT", 45},       {L"KP_DEL", 110},  {L"KP_ENTER", 13}, {L"KP_DIVIDE", 111}, {L"KP_MULTIPLY", 106},
    {L"KP_SUBTRACT", 109}, {L"KP_ADD", 107},  {L"LEFT", 37},     {L"PAUSE", 19},      {L"PLAY", 250},
    {L"PGDN", 34},         {L"PGUP", 33},     {L"RIGHT", 39},    {L"SPACE", 32},      {L"TAB", 9},
    {L"UP", 38},
    // Names the key display names add (see keyDisplayName), so that every
    // name written into controls.cfg reads back.
    {L"BACKSPACE", 8},     {L"PAGE UP", 33},  {L"PAGE DOWN", 34},
};

const wchar_t kConsolePrefix[] = L"console:";
const wchar_t kScriptPrefix[] = L"script:";

int hexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9')
    return c - L'0';
  if (c >= L'A' && c <= L'F')
    return c - L'A' + 10;
  return -1;
}

bool startsWith(const stringw& text, const wchar_t* prefix, irr::u32 length) {
  return text.size() >= length && text.equalsn(prefix, length);
}

// `text` from `start` on, trimmed of " \t\n\r".
stringw trimmedRest(const stringw& text, irr::u32 start) {
  irr::u32 begin = start;
  irr::u32 end = text.size();
  trimRange(text.c_str(), begin, end);
  return text.subString(begin, end - begin);
}

}  // namespace

KeyActionTable& keyActionTable() { return actionTable; }

NativeKeyAction* registerNativeKeyAction(const stringw& name, NativeKeyAction::Callback callback, uint32_t mask) {
  registeredActions.push_back(std::make_unique<NativeKeyAction>());
  NativeKeyAction* action = registeredActions.back().get();
  action->callback = callback;
  for (int bit = 0; bit < 4; ++bit)
    action->maskFlags[bit] = (mask & (1u << bit)) != 0;
  NamedVar<NativeKeyAction*>::getOrAdd(actionTable, name).value = action;
  actionNames[action] = name;
  return action;
}

const stringw* keyActionName(const NativeKeyAction* action) {
  const auto found = actionNames.find(action);
  return found != actionNames.end() ? &found->second : nullptr;
}

irr::s32 findKeyAction(const stringw& name) { return NamedVar<NativeKeyAction*>::find(actionTable, name); }

uint8_t keyCodeFromName(const stringw& keyName) {
  stringw name = keyName;
  for (irr::u32 i = 0; i < name.size(); ++i) {
    if (name[i] >= L'a' && name[i] <= L'z')
      name[i] = static_cast<wchar_t>(name[i] - L'a' + L'A');
  }
  const irr::u32 length = name.size();
  if (length == 0)
    return 0;
  if (length == 1) {
    const wchar_t c = name[0];
    if (c == L'~')
      return kTildeKey;
    return c > 0 && c <= 255 ? static_cast<uint8_t>(c) : 0;
  }

  for (const KeyName& entry : kKeyNames) {
    if (name == entry.name)
      return entry.code;
  }
  if (length == 4 && name[0] == L'0' && name[1] == L'X') {
    const int high = hexDigit(name[2]);
    const int low = hexDigit(name[3]);
    return high >= 0 && low >= 0 ? static_cast<uint8_t>(high * 16 + low) : 0;
  }
  if (name[0] == L'F') {
    // The leading digits after "F"; more than two digits are out of range.
    unsigned number = 0;
    for (irr::u32 i = 1; i < length && name[i] >= L'0' && name[i] <= L'9' && number <= kFunctionKeyCount; ++i)
      number = number * 10 + static_cast<unsigned>(name[i] - L'0');
    if (number >= 1 && number <= kFunctionKeyCount)
      return static_cast<uint8_t>(kFirstFunctionKey + number - 1);
    return 0;
  }
  if (length == 4 && startsWith(name, L"KP_", 3) && name[3] >= L'0' && name[3] <= L'9')
    return static_cast<uint8_t>(kFirstKeypadDigit + (name[3] - L'0'));
  if (name[0] == L'#' && length <= 4) {
    // "#" and the code in decimal, the display name of keys without a name.
    unsigned number = 0;
    for (irr::u32 i = 1; i < length; ++i) {
      if (name[i] < L'0' || name[i] > L'9')
        return 0;
      number = number * 10 + static_cast<unsigned>(name[i] - L'0');
    }
    return number <= 255 ? static_cast<uint8_t>(number) : 0;
  }
  return 0;
}

bool KeyBindingSlot::execute(uint8_t flags) const {
  switch (kind) {
    case kNativeAction:
      return action != nullptr && action->callback != nullptr && action->callback(flags);
    case kScriptFunction: {
      AngelScript::asIScriptEngine* engine = clientScriptEngine;
      if (engine == nullptr)
        return false;
      const int id = scriptFunction.getFunctionId(engine, "bool", "(uint8)");
      AngelScript::asIScriptFunction* function = engine->GetFunctionById(id);
      AngelScript::asIScriptContext* context = threadClientContext();
      // A context still running a call (a key event raised from a script)
      // refuses the preparation and keeps its call.
      if (function == nullptr || context == nullptr || context->Prepare(function) < 0)
        return false;
      context->SetArgByte(0, flags);
      bool used = false;
      if (context->Execute() == AngelScript::asEXECUTION_FINISHED)
        used = context->GetReturnByte() != 0;
      endScriptCall(context);
      return used;
    }
    case kConsoleCommand: {
      Console* target = console();
      if ((flags & KF_Pressed) == 0 || target == nullptr)
        return false;
      // A copy: the command may rebind this very key.
      const stringw line = command;
      target->execute(line, true);
      return true;
    }
    default:
      return false;
  }
}

void KeyBindings::unbind(uint8_t key) {
  KeyBindingSlot& target = slots_[key];
  if (target.kind == KeyBindingSlot::kNativeAction) {
    auto range = actionKeys_.equal_range(target.action);
    for (auto entry = range.first; entry != range.second; ++entry) {
      if (entry->second == key) {
        actionKeys_.erase(entry);
        break;
      }
    }
  }
  target = KeyBindingSlot();
}

void KeyBindings::bindAction(uint8_t key, NativeKeyAction* action) {
  unbind(key);
  if (action == nullptr)
    return;
  slots_[key].kind = KeyBindingSlot::kNativeAction;
  slots_[key].action = action;
  actionKeys_.emplace(action, key);  // unbind removed this key's entry
}

bool KeyBindings::bindScriptFunction(const stringw& text, uint8_t key, bool console) {
  if (console) {
    unbind(key);
    slots_[key].kind = KeyBindingSlot::kConsoleCommand;
    slots_[key].command = text;
    return true;
  }
  FunctionHook hook;
  const std::string narrow = wideToStdString(text.c_str());
  // From a script, a bare name is a function of the calling script's module.
  hook.setFromScriptText(AngelScript::asGetActiveContext(), narrow.c_str());
  if (!hook.valid || hook.getFunctionId(clientScriptEngine, "bool", "(uint8)") < 0)
    return false;
  unbind(key);
  slots_[key].kind = KeyBindingSlot::kScriptFunction;
  slots_[key].scriptFunction = hook;
  return true;
}

bool KeyBindings::bindScriptToKey(uint8_t key, const stringw& text) {
  unbind(key);
  return bindScriptFunction(text, key, false);
}

bool KeyBindings::bindByName(const stringw& keyName, const stringw& actionText) {
  const uint8_t key = keyCodeFromName(keyName);
  if (key == 0)
    return false;
  constexpr irr::u32 kConsolePrefixLength = sizeof kConsolePrefix / sizeof kConsolePrefix[0] - 1;
  constexpr irr::u32 kScriptPrefixLength = sizeof kScriptPrefix / sizeof kScriptPrefix[0] - 1;
  if (startsWith(actionText, kConsolePrefix, kConsolePrefixLength)) {
    unbind(key);
    return bindScriptFunction(trimmedRest(actionText, kConsolePrefixLength), key, true);
  }
  if (startsWith(actionText, kScriptPrefix, kScriptPrefixLength))
    return bindScriptToKey(key, trimmedRest(actionText, kScriptPrefixLength));
  const irr::s32 index = findKeyAction(actionText);
  if (index < 0 || actionTable[static_cast<irr::u32>(index)].value == nullptr)
    return false;
  bindAction(key, actionTable[static_cast<irr::u32>(index)].value);
  return true;
}

KeyBindings* activeKeyBindings() { return activeTable; }

void setActiveKeyBindings(KeyBindings* table) { activeTable = table; }
