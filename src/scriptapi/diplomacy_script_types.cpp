#include "scriptapi/diplomacy_script_types.h"

#include <angelscript.h>

#include <cwchar>

#include "empire/diplomacy/diplo_msg.h"
#include "empire/diplomacy/diplomacy_texts.h"
#include "empire/empire.h"
#include "net/diplomacy_messages.h"
#include "net/network_manager.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;

namespace {

struct EnumValue {
  const char* name;
  int value;
};

const EnumValue kTopics[] = {
    {"DT_Accept", DT_Accept},   {"DT_Alliance", DT_Alliance}, {"DT_Appease", DT_Appease}, {"DT_Count", DT_Count},
    {"DT_Greetings", DT_Greetings}, {"DT_Peace", DT_Peace},   {"DT_Reject", DT_Reject},   {"DT_Request", DT_Request},
    {"DT_Demand", DT_Demand},   {"DT_Trade", DT_Trade},       {"DT_Treaty", DT_Treaty},   {"DT_War", DT_War},
};
const EnumValue kMoods[] = {
    {"DM_Neutral", DM_Neutral}, {"DM_Angry", DM_Angry},   {"DM_Happy", DM_Happy},
    {"DM_Demanding", DM_Angry}, {"DM_Begging", DM_Happy},
};
const EnumValue kAttitudes[] = {
    {"DA_Neutral", DA_Neutral}, {"DA_Passive", DA_Passive}, {"DA_Aggressive", DA_Aggressive}};

template <size_t N>
void registerEnum(asIScriptEngine* engine, const char* type, const EnumValue (&values)[N]) {
  checked(engine).RegisterEnum(type);
  for (const EnumValue& value : values)
    checked(engine).RegisterEnumValue(type, value.name, value.value);
}

// The header of a message's text: the sender as a link, in its colour.
irr::core::stringw messageHeader(const empire* from) {
  wchar_t numbers[48];
  swprintf(numbers, 48, L"#link:e%u#The #c:%X#", static_cast<unsigned>(from->ID), static_cast<unsigned>(from->color));
  irr::core::stringw text(numbers);
  text += from->name;
  text += L"#c# Empire has sent us a message:#link# ";
  return text;
}

void sendMessage(const empire* from, const empire* to, uint32_t topic, uint32_t mood, uint32_t attitude) {
  sendDiplomaticMessage(const_cast<empire*>(from), const_cast<empire*>(to), topic, mood, attitude, nullptr);
}

void sendMessageWithText(const empire* from, const empire* to, uint32_t topic, uint32_t mood, uint32_t attitude,
                         const ScriptString* extra) {
  const irr::core::stringw text = extra != nullptr ? extra->toStringw() : irr::core::stringw();
  sendDiplomaticMessage(const_cast<empire*>(from), const_cast<empire*>(to), topic, mood, attitude,
                        extra != nullptr ? &text : nullptr);
}

}  // namespace

void sendDiplomaticMessage(empire* from, empire* to, uint32_t topic, uint32_t mood, uint32_t attitude,
                           const irr::core::stringw* extra) {
  if (from == nullptr || to == nullptr)
    return;
  // A client always asks its server. A server sends to the player in the
  // game who controls the receiver, and keeps the message when there is
  // none (an AI empire, or one whose player has left), as a local game does.
  if (isNetworkClient()) {
    sendDiplomacyMessage(*networkManager, from, to, topic);
    return;
  }
  if (networkManager != nullptr && networkManager->isServer && sendDiplomacyMessage(*networkManager, from, to, topic))
    return;
  irr::core::stringw text = messageHeader(from);
  text += pickDiplomacyText(from, to, topic, mood, attitude, extra);
  if (topic == DT_Peace || topic == DT_War)
    to->queueDiplomacyMessage(new DiploMsg(topic, from));
  postMiscMessage(to, text);
}

void bindDiplomacyScriptTypes() {
  onBothEngines([](asIScriptEngine* engine) {
    registerEnum(engine, "DiploTopic", kTopics);
    registerEnum(engine, "DiploMood", kMoods);
    registerEnum(engine, "DiploAttitude", kAttitudes);
  });
  registerUncountedType("DiploMsg");
  onBothEngines([](asIScriptEngine* engine) {
    checked(engine).RegisterObjectMethod("DiploMsg", "DiploTopic getTopic()", asMETHOD(DiploMsg, getTopic),
                                         asCALL_THISCALL);
    checked(engine).RegisterObjectMethod("DiploMsg", "void setResponse(bool)", asMETHOD(DiploMsg, setResponse),
                                         asCALL_THISCALL);
    checked(engine).RegisterObjectMethod("DiploMsg", "void finish()", asMETHOD(DiploMsg, finish), asCALL_THISCALL);
    checked(engine).RegisterObjectMethod("Empire",
                                         "void sendMessage(const Empire@,DiploTopic,DiploMood,DiploAttitude) const",
                                         asFUNCTION(sendMessage), asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod(
        "Empire", "void sendMessage(const Empire@,DiploTopic,DiploMood,DiploAttitude, string@+) const",
        asFUNCTION(sendMessageWithText), asCALL_CDECL_OBJFIRST);
  });
}
