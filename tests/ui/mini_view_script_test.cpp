// `GuiMiniView` in client scripts: made by its factory, its fields written
// in place, and its system pair (held with one reference, null for none).
#include <angelscript.h>
#include <gtest/gtest.h>

#include <string>

#include "gui/gui_handles.h"
#include "script/script_engine.h"
#include "ui/mini_view.h"
#include "view_picking_fixture.h"

namespace mini_view_script_test {

using namespace AngelScript;

const char kViewModule[] = R"(
GuiMiniView@ view;
int make() {
  @view = GuiMiniView(recti(0, 0, 100, 100), null);
  view.display_names = false;
  view.display_oddities = false;
  view.mode = MVM_Side;
  view.update();
  return view.getID();
}
bool showsNothing() { view.setSystem(null); return view.getSystem() is null; }
void show(System@ s) { view.setSystem(s); }
bool shows(System@ s) { return view.getSystem() is s; }
void forget() { @view = null; }
)";

class MiniViewScriptTypeTest : public viewpicking::ViewPickingTest {
 protected:
  void SetUp() override {
    ViewPickingTest::SetUp();
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(clientScriptEngine, nullptr);
    ASSERT_TRUE(useGuiModule(kViewModule));
  }

  // Runs `declaration` of the module with an optional System handle; the
  // returned value (0 for void functions), -1 when it did not finish.
  static int run(const char* declaration, solarSystem* argument = nullptr) {
    asIScriptModule* module = clientScriptEngine->GetModule("gui");
    asIScriptFunction* function = module->GetFunctionByDecl(declaration);
    if (function == nullptr)
      return -1;
    asIScriptContext* context = createScriptContext(clientScriptEngine);
    context->Prepare(function);
    if (function->GetParamCount() > 0)
      context->SetArgObject(0, argument);
    int value = -1;
    if (context->Execute() == asEXECUTION_FINISHED)
      value = function->GetReturnTypeId() == asTYPEID_VOID ? 0 : static_cast<int>(context->GetReturnDWord());
    context->Release();
    return value;
  }
};

TEST_F(MiniViewScriptTypeTest, FieldsAndTheSystemPairKeepCountsBalanced) {
  const int id = run("int make()");
  ASSERT_GE(id, 1000);
  auto* view = dynamic_cast<MiniView*>(engine.gui->getRootGUIElement()->getElementFromId(id, true));
  ASSERT_NE(view, nullptr);
  // The script wrote the view's own fields.
  EXPECT_FALSE(view->display_names);
  EXPECT_FALSE(view->display_oddities);
  EXPECT_TRUE(view->display_planets && view->display_units && view->display_smallunits && view->display_orbits);
  EXPECT_EQ(view->mode, MVM_Side);

  EXPECT_EQ(run("bool showsNothing()") & 0xFF, 1);

  auto* other = new solarSystem();
  other->radius = 500.0f;
  other->setContainer(galaxy);
  const int32_t first = system->refCount.load();
  const int32_t second = other->refCount.load();
  ASSERT_EQ(run("void show(System@)", system), 0);
  EXPECT_EQ(run("bool shows(System@)", system) & 0xFF, 1);
  EXPECT_EQ(system->refCount.load(), first + 1);  // the view's
  ASSERT_EQ(run("void show(System@)", other), 0);
  EXPECT_EQ(system->refCount.load(), first);
  EXPECT_EQ(other->refCount.load(), second + 1);
  EXPECT_EQ(run("bool showsNothing()") & 0xFF, 1);
  EXPECT_EQ(other->refCount.load(), second);

  ASSERT_EQ(run("void forget()"), 0);
  EXPECT_EQ(engine.gui->getRootGUIElement()->getElementFromId(id, true), nullptr);
}

}  // namespace mini_view_script_test
