#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "design/effect_function_lookup.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "support/log_capture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/game_object.h"

namespace movement_functions_test {

namespace {

// An object with the mover a test gives it; dropped with the holder.
class MovedObject : public generic_object {
 public:
  explicit MovedObject(MoveHandler* objectMover) : generic_object(nullptr, nullptr, objectMover) {}
};
struct HeldObject {
  explicit HeldObject(MoveHandler* mover) : object(new MovedObject(mover)) {}
  ~HeldObject() { object->drop(); }
  HeldObject(const HeldObject&) = delete;
  HeldObject& operator=(const HeldObject&) = delete;
  generic_object* object;
};

void apply(const wchar_t* name, generic_object* obj, float amount) {
  const TemplateFuncEntry* entry = templateFunction(name);
  ASSERT_NE(entry, nullptr);
  EffectEvent event(obj, nullptr, 1.0f);
  effect_data values;
  TemplateArgList args = numbers({amount});
  entry->apply(&event, &values, args);
}

struct ThrustCase {
  const wchar_t* function;
  float before;
  float amount;
  float after;
};

TEST(MovementFunctionTest, ChangeTheThrustOfAMobileMover) {
  const ThrustCase cases[] = {
      {L"IncSpeed", 1.0f, 2.5f, 3.5f},
      {L"IncSpeed", 0.0f, -1.0f, -1.0f},
      {L"DecSpeed", 3.0f, 1.0f, 2.0f},
      {L"DecSpeed", 0.5f, 2.0f, -1.5f},
  };
  for (const ThrustCase& c : cases) {
    auto* mover = new MobileMover();
    mover->thrust = c.before;
    HeldObject ship(mover);
    apply(c.function, ship.object, c.amount);
    EXPECT_FLOAT_EQ(mover->thrust, c.after);
  }
}

TEST(MovementFunctionTest, LeaveOtherMoversAlone) {
  for (const wchar_t* function : {L"IncSpeed", L"DecSpeed"}) {
    HeldObject planet(new OrbitMover());
    const float period = static_cast<OrbitMover*>(planet.object->mover)->period;
    apply(function, planet.object, 5.0f);
    EXPECT_EQ(static_cast<OrbitMover*>(planet.object->mover)->period, period);
    HeldObject rock(nullptr);
    apply(function, rock.object, 5.0f);
    EXPECT_EQ(rock.object->mover, nullptr);
  }
}

struct CheckCase {
  const wchar_t* function;
  std::vector<float> args;
  bool accepted;
  const char* log;
};

TEST(MovementFunctionTest, CheckerTable) {
  const CheckCase cases[] = {
      {L"IncSpeed", {1}, true, ""},
      {L"IncSpeed", {}, false, "ships.txt(4) error: IncSpeed() requires 1 template parameters\n"},
      {L"DecSpeed", {1, 2}, true, "ships.txt(4) warning: DecSpeed() takes 1 template parameters, not 2\n"},
      {L"DecSpeed", {}, false, "ships.txt(4) error: DecSpeed() requires 1 template parameters\n"},
  };
  LogCapture log;
  for (const CheckCase& c : cases) {
    const TemplateFuncEntry* entry = templateFunction(c.function);
    ASSERT_NE(entry, nullptr);
    const TemplateArgList args = numbers(c.args);
    log.take();
    EXPECT_EQ(entry->checker(args, "ships.txt", 4), c.accepted) << c.log;
    EXPECT_EQ(log.take(), c.log);
  }
}

}  // namespace

}  // namespace movement_functions_test
