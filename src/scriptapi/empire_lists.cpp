#include "scriptapi/empire_lists.h"

#include <angelscript.h>

#include <cstdint>
#include <vector>

#include "empire/empire.h"
#include "empire/traits.h"
#include "empire/treaty_clause.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;

namespace {

// A message as a prepared EmpireMessages shows it.
struct MessageCopy {
  irr::core::stringw text;
  irr::core::stringw category;
  int32_t priority = 0;
  int32_t time = 0;
};

// Each list type is made by its factory with no empire and freed by its
// release (the script scope ends).
template <class Self>
Self* makeList() {
  return new Self();
}

template <class Self>
void releaseList(Self* list) {
  delete list;
}

// EmpireMessages: the empire's messages, newest first, copied at prepare.
class MessageList {
 public:
  void prepare(empire* emp) {
    messages_.clear();
    position_ = 0;
    emp_ = emp;
    if (emp == nullptr)
      return;
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_Messages, true);
    messages_.reserve(emp->messages.size());
    for (auto it = emp->messages.rbegin(); it != emp->messages.rend(); ++it) {
      MessageCopy copy;
      copy.text = it->text;
      if (it->category != nullptr)
        copy.category = *it->category;
      copy.priority = it->priority;
      copy.time = it->time;
      messages_.push_back(copy);
    }
  }

  // The message at the position; null, with the script exception, without
  // an empire or at the end.
  const MessageCopy* current() const {
    if (emp_ == nullptr) {
      raiseScriptException("Attempted to access invalid message list");
      return nullptr;
    }
    if (position_ >= messages_.size()) {
      raiseScriptException("Attempted to access invalid message in message list");
      return nullptr;
    }
    return &messages_[position_];
  }

  bool next() {
    if (emp_ == nullptr || position_ >= messages_.size())
      return false;
    ++position_;
    return position_ < messages_.size();
  }

  uint32_t count() const { return emp_ == nullptr ? 0 : static_cast<uint32_t>(messages_.size()); }

 private:
  empire* emp_ = nullptr;
  std::vector<MessageCopy> messages_;
  size_t position_ = 0;
};

void prepareMessages(MessageList* list, empire* emp) { list->prepare(emp); }

ScriptString* messageText(MessageList* list) {
  const MessageCopy* message = list->current();
  return message != nullptr ? new ScriptString(message->text) : nullptr;
}

ScriptString* messageCategory(MessageList* list) {
  const MessageCopy* message = list->current();
  return message != nullptr ? new ScriptString(message->category) : nullptr;
}

int32_t messageTime(MessageList* list) {
  const MessageCopy* message = list->current();
  return message != nullptr ? message->time : 0;
}

int32_t messagePriority(MessageList* list) {
  const MessageCopy* message = list->current();
  return message != nullptr ? message->priority : 0;
}

bool nextMessage(MessageList* list) { return list->next(); }

uint32_t messageCount(MessageList* list) { return list->count(); }

// EmpireTreaties: holds the empire's treaties area (write) while prepared.
class TreatyList {
 public:
  void prepare(empire* emp) {
    guard_.release();
    emp_ = emp;
    if (emp != nullptr)
      emp->lockArea(guard_, EA_Treaties, true);
  }

  ITreaty* at(uint32_t index) const {
    if (emp_ == nullptr) {
      raiseScriptException("Attempted to access invalid treaty list");
      return nullptr;
    }
    if (index >= emp_->treaties.size()) {
      raiseScriptException("Attempted to access out-of-bounds treaty in treaty list");
      return nullptr;
    }
    return emp_->treaties[index];
  }

  uint32_t count() const { return emp_ == nullptr ? 0 : emp_->treaties.size(); }

 private:
  empire* emp_ = nullptr;
  empire::AreaGuard guard_;
};

void prepareTreaties(TreatyList* list, empire* emp) { list->prepare(emp); }
ITreaty* treatyAt(TreatyList* list, uint32_t index) { return list->at(index); }
uint32_t treatyCount(TreatyList* list) { return list->count(); }

// EmpireTraits: the empire's traits in ascending id order, copied at
// prepare.
class TraitList {
 public:
  void prepare(const empire* emp) {
    traits_.clear();
    position_ = 0;
    emp_ = emp;
    if (emp == nullptr)
      return;
    auto* owner = const_cast<empire*>(emp);
    empire::AreaGuard guard;
    owner->lockArea(guard, EA_Traits, true);
    traits_.reserve(owner->traits.size());
    for (const auto& [id, trait] : owner->traits)
      traits_.push_back(trait);
  }

  ITrait* current() const {
    if (emp_ == nullptr) {
      raiseScriptException("Attempted to access invalid trait list");
      return nullptr;
    }
    if (position_ >= traits_.size()) {
      raiseScriptException("Attempted to access invalid trait in trait list");
      return nullptr;
    }
    return traits_[position_];
  }

  bool next() {
    if (emp_ == nullptr || position_ >= traits_.size())
      return false;
    ++position_;
    return position_ < traits_.size();
  }

  uint32_t count() const { return emp_ == nullptr ? 0 : static_cast<uint32_t>(traits_.size()); }

 private:
  const empire* emp_ = nullptr;
  std::vector<ITrait*> traits_;
  size_t position_ = 0;
};

void prepareTraits(TraitList* list, const empire* emp) { list->prepare(emp); }
ITrait* currentTrait(TraitList* list) { return list->current(); }
uint32_t traitCount(TraitList* list) { return list->count(); }
bool nextTrait(TraitList* list) { return list->next(); }

template <class Self>
void registerListType(asIScriptEngine* engine, const char* name, const char* factory) {
  checked(engine).RegisterObjectType(name, 0, asOBJ_REF | asOBJ_SCOPED);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_FACTORY, factory, asFUNCTION(makeList<Self>), asCALL_CDECL);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_RELEASE, "void f()", asFUNCTION(releaseList<Self>),
                                          asCALL_CDECL_OBJFIRST);
}

void listMethod(asIScriptEngine* engine, const char* type, const char* declaration, const asSFuncPtr& function) {
  checked(engine).RegisterObjectMethod(type, declaration, function, asCALL_CDECL_OBJFIRST);
}

}  // namespace

void registerEmpireMessagesType() {
  const char* type = "EmpireMessages";
  onBothEngines([type](asIScriptEngine* engine) {
    registerListType<MessageList>(engine, type, "EmpireMessages@ f()");
    listMethod(engine, type, "void prepare(Empire@)", asFUNCTION(prepareMessages));
    listMethod(engine, type, "string@ getMsg()", asFUNCTION(messageText));
    listMethod(engine, type, "string@ getCategory()", asFUNCTION(messageCategory));
    listMethod(engine, type, "int getTime()", asFUNCTION(messageTime));
    listMethod(engine, type, "int getPriority()", asFUNCTION(messagePriority));
    listMethod(engine, type, "bool nextMsg()", asFUNCTION(nextMessage));
    listMethod(engine, type, "uint getCount()", asFUNCTION(messageCount));
  });
}

void registerEmpireTreatiesType() {
  const char* type = "EmpireTreaties";
  onBothEngines([type](asIScriptEngine* engine, bool server) {
    registerListType<TreatyList>(engine, type, "EmpireTreaties@ f()");
    listMethod(engine, type, "void prepare(Empire@)", asFUNCTION(prepareTreaties));
    // Only where the treaty types are declared (a set-up may leave them out).
    if (engine->GetTypeInfoByName("Treaty") != nullptr)
      listMethod(engine, type, server ? "Treaty@+ getTreaty(uint)" : "const Treaty@+ getTreaty(uint)",
                 asFUNCTION(treatyAt));
    listMethod(engine, type, "uint getCount() const", asFUNCTION(treatyCount));
  });
}

void registerEmpireTraitsType() {
  const char* type = "EmpireTraits";
  onBothEngines([type](asIScriptEngine* engine) {
    registerListType<TraitList>(engine, type, "EmpireTraits@ f()");
    listMethod(engine, type, "void prepare(const Empire@)", asFUNCTION(prepareTraits));
    listMethod(engine, type, "Trait@ getTrait()", asFUNCTION(currentTrait));
    listMethod(engine, type, "uint getCount()", asFUNCTION(traitCount));
    listMethod(engine, type, "bool next()", asFUNCTION(nextTrait));
  });
}
