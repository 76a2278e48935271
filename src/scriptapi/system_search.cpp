#include "scriptapi/system_search.h"

#include <angelscript.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "app/base/config.h"
#include "core/log.h"
#include "core/random.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "platform/thread.h"
#include "script/function_hook.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "scriptapi/script_bindings.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"

using namespace AngelScript;

namespace {

// Search threads started in the process: each seeds its random generator
// with the count before it (0 for the first).
std::atomic<uint32_t> searchThreadsStarted{0};

// How long a settings value waits between looks at a cancelled worker.
constexpr unsigned kCancelPollMs = 1;

// The score weighed by closeness to `from`: times 1000 / distance, the
// distance in single precision (each difference, the sum of the squares and
// its root rounded to float), the factor and product in double. A system
// right at the point scores without bound.
float weighedByDistance(float score, const irr::core::vector3df& from, const irr::core::vector3df& to) {
  const float dx = from.X - to.X;
  const float dy = from.Y - to.Y;
  const float dz = from.Z - to.Z;
  const auto squared = static_cast<float>(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy +
                                          static_cast<double>(dz) * dz);
  const float distance = std::sqrt(squared);
  if (distance == 0.0f)
    return std::numeric_limits<float>::infinity();
  return static_cast<float>(static_cast<double>(score) * (1000.0 / static_cast<double>(distance)));
}

// The scoring function's result for `system`; 0 when the call could not be
// prepared or did not finish (an exception is logged by the context).
float scoreOf(asIScriptContext* context, asIScriptFunction* function, SysSearchSettings* settings,
              solarSystem* system) {
  if (context == nullptr || context->Prepare(function) < 0)
    return 0.0f;
  context->SetArgAddress(0, const_cast<void*>(settings->ownSlot()));
  context->SetArgAddress(1, system->systemStats);
  const float score = context->Execute() == asEXECUTION_FINISHED ? context->GetReturnFloat() : 0.0f;
  endScriptCall(context);
  return score;
}

// Takes the system's lock for the worker of `job`, counted as a waiter so
// that the system's tick yields. It only ever tries, so that a cancelled
// worker never waits on a thread that is itself waiting for the worker to
// stop: false once `job` is cancelled.
bool lockForScoring(SysSearchJob* job, solarSystem* system) {
  system->waiters.fetch_add(1);
  bool locked = tryLockSolarSystem(system);
  while (!locked && !job->cancelled.load()) {
    plat::sleepMs(0);
    locked = tryLockSolarSystem(system);
  }
  system->waiters.fetch_sub(1);
  return locked;
}

// Runs the search of `job` on `context`. The threaded walk reads the number of systems once, stops when
// the job is cancelled and scores each system under its lock.
void runSearch(SysSearchJob* job, asIScriptContext* context, bool threaded) {
  SysSearchSettings* settings = job->settings;
  objGalaxy* owner = galaxy;
  asIScriptFunction* function = settings->callback >= 0 && serverScriptEngine != nullptr
                                    ? serverScriptEngine->GetFunctionById(settings->callback)
                                    : nullptr;
  if (function != nullptr && owner != nullptr) {
    const unsigned count = owner->getSystemCount();
    for (unsigned i = 0; i < (threaded ? count : owner->getSystemCount()); ++i) {
      if (threaded && job->cancelled.load())
        break;
      solarSystem* system = owner->getSystem(i);
      if (system == nullptr || (!threaded && system->getType() != OT_System))
        break;
      if (system == settings->avoidSystem)
        continue;
      float score = 0.0f;
      if (threaded) {
        if (!lockForScoring(job, system))
          break;
        score = scoreOf(context, function, settings, system);
        unlockSolarSystem(system);
      } else {
        score = scoreOf(context, function, settings, system);
      }
      if (score > 0.0f && settings->hasSearchPos)
        score = weighedByDistance(score, settings->searchPos, system->getPosition());
      if (score > job->bestScore) {
        job->bestScore = score;
        job->best = system;
      }
    }
  }
}

// Marks `job` done and gives up the worker's reference. The settings value
// may go as soon as that is seen, so the worker has let go of everything
// else before.
void finishSearch(SysSearchJob* job) {
  job->finished.store(true);
  dropSearchJob(job);
}

uint32_t searchThread(void* argument) {
  auto* job = static_cast<SysSearchJob*>(argument);
  initThreadLocals();
  setThreadRandomSeed(searchThreadsStarted.fetch_add(1));
  freeThreadRandom();  // made from the seed before, if the pair is registered
  initThreadRandom();
  registerThreadRandom();
  runSearch(job, threadServerContext(), true);
  freeThreadLocals();  // its contexts, and its current system cleared
  finishSearch(job);
  return 0;
}

// Cancels `job` and waits until its worker has stopped.
void cancelAndWait(SysSearchJob* job) {
  job->cancelled.store(true);
  while (!job->finished.load())
    plat::sleepMs(kCancelPollMs);
}

}  // namespace

SysSearchSettings& settingsInSlot(const void* slot) {
  SysSearchSettings* settings;
  std::memcpy(&settings, slot, sizeof settings);
  return *settings;
}

SysSearchSettings::SysSearchSettings() {
  const SysSearchSettings* self = this;
  std::memcpy(ownSlot_, &self, sizeof self);
}

void dropSearchJob(SysSearchJob* job) {
  if (job->refCount.fetch_sub(1) == 1)
    delete job;
}

SysSearchSettings::~SysSearchSettings() {
  if (job != nullptr) {
    cancelAndWait(job);
    dropSearchJob(job);
  }
  // A worker cancelled by a later search still reads this value until it
  // stops.
  for (SysSearchJob* earlier : cancelledJobs_) {
    cancelAndWait(earlier);
    dropSearchJob(earlier);
  }
}

void SysSearchSettings::assign(const SysSearchSettings& other) {
  callback = other.callback;
  hasSearchPos = other.hasSearchPos;
  searchPos = other.searchPos;
  avoidSystem = other.avoidSystem;
  for (uint32_t i = 0; i < kValueCount; ++i)
    values[i] = other.values[i];
  if (&other != this)
    empires = other.empires;
}

float& SysSearchSettings::value(uint32_t index) {
  if (index >= kValueCount) {
    raiseScriptException(kSearchValueIndexError);
    return values[0];
  }
  return values[index];
}

void SysSearchSettings::setCallback(const ScriptString& name) {
  FunctionHook hook;
  hook.setFromScriptString(asGetActiveContext(), &name);
  callback = hook.getFunctionId(serverScriptEngine, kSearchScoreResult, kSearchScoreArguments);
}

void SysSearchSettings::addEmpire(const empire* emp) { addEmpireWith(emp, 0); }

void SysSearchSettings::addEmpireWith(const empire* emp, uint32_t number) {
  // Scripts do not count empires: the list holds the bare pointer.
  if (emp != nullptr)
    empires.emplace_back(const_cast<empire*>(emp), number);
}

empire* SysSearchSettings::getEmpire(uint32_t index) const {
  return index < empires.size() ? empires[index].first : nullptr;
}

empire* SysSearchSettings::getEmpireWith(uint32_t index, uint32_t& number) const {
  if (index >= empires.size()) {
    number = 0;
    return nullptr;
  }
  number = empires[index].second;
  return empires[index].first;
}

void SysSearchSettings::setSearchPos(const irr::core::vector3df& point) {
  searchPos = point;
  hasSearchPos = true;
}

void SysSearchSettings::setAvoidSystem(solarSystem* system) {
  const HeldHandle<generic_object> reference(system);
  avoidSystem = system;
}

void SysSearchSettings::findBestSystem() {
  // Finished workers of earlier searches are let go; running ones are
  // waited for when this value goes.
  for (size_t i = 0; i < cancelledJobs_.size();) {
    if (cancelledJobs_[i]->finished.load()) {
      dropSearchJob(cancelledJobs_[i]);
      cancelledJobs_.erase(cancelledJobs_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  if (job != nullptr) {
    job->cancelled.store(true);
    if (job->finished.load())
      dropSearchJob(job);
    else
      cancelledJobs_.push_back(job);
  }
  job = new SysSearchJob(this);
  if (singleThreaded) {
    asIScriptContext* context = takeServerScriptContext();
    runSearch(job, context, false);
    if (context != nullptr)
      releaseScriptContext(context);
    finishSearch(job);
    return;
  }
  Thread worker;
  if (!worker.start(searchThread, job, true)) {
    // No worker (logged): the search ends with nothing found.
    finishSearch(job);
  }
}

solarSystem* SysSearchSettings::bestSystem() {
  if (job == nullptr || !job->finished.load() || job->best == nullptr)
    return nullptr;
  job->best->grab();
  return job->best;
}

bool SysSearchSettings::searchFinished() const { return job != nullptr && job->finished.load(); }

void SysSearchSettings::clearValues() {
  for (float& weight : values)
    weight = 0.0f;
}

namespace {

// "float getStat(const Empire@, const string@) const" of SysStats. The name
// arrives with a reference, given back on every path.
float sysStatsValue(StatsList* table, empire* emp, ScriptString* name) {
  float result = 0.0f;
  if (table != nullptr && emp != nullptr && name != nullptr) {
    Stats& record = getEmpireStats(*table, emp);
    const irr::s32 index = PtrNamedVar<float>::find(*record.values, name->toStringw());
    if (index >= 0)
      result = (*record.values)[index].value;
  }
  if (name != nullptr)
    name->release();
  return result;
}

// A script value: a slot of pointer size, at any alignment.
struct SettingsSlot {
  unsigned char bytes[sizeof(SysSearchSettings*)];
};
static_assert(alignof(SettingsSlot) == 1, "a slot lies anywhere on the script stack");

void constructSettings(SettingsSlot* slot) {
  SysSearchSettings* settings = new SysSearchSettings();
  std::memcpy(slot->bytes, &settings, sizeof settings);
}

void destructSettings(SettingsSlot* slot) { delete &settingsInSlot(slot); }

// A member of the settings, called on a script value's slot.
template <auto Method>
struct OnSlot;
template <class R, class... A, R (SysSearchSettings::*Method)(A...)>
struct OnSlot<Method> {
  static R call(SettingsSlot* slot, A... arguments) { return (settingsInSlot(slot).*Method)(arguments...); }
};
template <class R, class... A, R (SysSearchSettings::*Method)(A...) const>
struct OnSlot<Method> {
  static R call(SettingsSlot* slot, A... arguments) { return (settingsInSlot(slot).*Method)(arguments...); }
};

void assignSettings(SettingsSlot* slot, const SettingsSlot& other) {
  settingsInSlot(slot).assign(settingsInSlot(&other));
}

}  // namespace

void registerSystemSearchBindings() {
  asIScriptEngine* engine = serverScriptEngine;
  if (engine == nullptr)
    return;
  using S = SysSearchSettings;
  const char* type = "SysSearchSettings";
  checked(engine).RegisterObjectType(type, sizeof(SettingsSlot), asOBJ_VALUE | asOBJ_APP_CLASS_CDA);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(constructSettings),
                                          asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_DESTRUCT, "void f()", asFUNCTION(destructSettings),
                                          asCALL_CDECL_OBJFIRST);
  struct Method {
    const char* declaration;
    asSFuncPtr function;
  };
  const Method methods[] = {
      {"float& opIndex(uint)", asFUNCTION(OnSlot<&S::value>::call)},
      {"void opAssign(const SysSearchSettings &in)", asFUNCTION(assignSettings)},
      {"void setCallback(const string &)", asFUNCTION(OnSlot<&S::setCallback>::call)},
      {"void addEmpire(const Empire@)", asFUNCTION(OnSlot<&S::addEmpire>::call)},
      {"Empire@ getEmpire(uint) const", asFUNCTION(OnSlot<&S::getEmpire>::call)},
      {"void addEmpire(const Empire@,uint)", asFUNCTION(OnSlot<&S::addEmpireWith>::call)},
      {"Empire@ getEmpire(uint,uint &out) const", asFUNCTION(OnSlot<&S::getEmpireWith>::call)},
      {"uint get_empireCount() const", asFUNCTION(OnSlot<&S::empireCount>::call)},
      {"void setSearchPos(const vector &in)", asFUNCTION(OnSlot<&S::setSearchPos>::call)},
      {"void resetSearchPos()", asFUNCTION(OnSlot<&S::resetSearchPos>::call)},
      {"void setAvoidSystem(System@)", asFUNCTION(OnSlot<&S::setAvoidSystem>::call)},
      {"void findBestSystem()", asFUNCTION(OnSlot<&S::findBestSystem>::call)},
      {"System@ getBestSystem()", asFUNCTION(OnSlot<&S::bestSystem>::call)},
      {"bool get_searchFinished()", asFUNCTION(OnSlot<&S::searchFinished>::call)},
      {"void clearValues()", asFUNCTION(OnSlot<&S::clearValues>::call)},
      {"void clearEmpires()", asFUNCTION(OnSlot<&S::clearEmpires>::call)},
  };
  for (const Method& method : methods)
    checked(engine).RegisterObjectMethod(type, method.declaration, method.function, asCALL_CDECL_OBJFIRST);

  registerUncountedType(engine, "SysStats");
  checked(engine).RegisterObjectMethod("SysStats", "float getStat(const Empire@,const string@) const",
                                       asFUNCTION(sysStatsValue), asCALL_CDECL_OBJFIRST);
}
