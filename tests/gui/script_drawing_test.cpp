// The client's Texture handles and drawing functions, and the screen size on
// both engines, on the null device: material textures and their sizes, the
// handles' engine references, the closed drawing gate, and what each
// drawing function hands the engine once past it.
#include "gui/script_drawing.h"

#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>
#include <vector>

#include "app/base/engine.h"
#include "gfx/gfx_resources.h"
#include "gui/gui_bindings.h"
#include "platform/engine/engine_textures.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_string.h"
#include "script/server_modules.h"
#include "support/log_capture.h"
#include "support/null_device.h"
#include "support/recording_painter.h"

namespace script_drawing_test {

using namespace AngelScript;
using irr::core::position2di;
using irr::core::recti;
using irr::video::ITexture;
using irr::video::SColor;

std::string show(const recti& r) {
  return std::to_string(r.UpperLeftCorner.X) + "," + std::to_string(r.UpperLeftCorner.Y) + "," +
         std::to_string(r.LowerRightCorner.X) + "," + std::to_string(r.LowerRightCorner.Y);
}
std::string show(const recti* clip) { return clip == nullptr ? "none" : show(*clip); }
std::string show(const position2di& p) { return std::to_string(p.X) + "," + std::to_string(p.Y); }
std::string show(SColor c) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", c.color);
  return hex;
}

// Writes down every call the drawing functions make.
using RecordingTarget = RecordingPainter;

class ScriptDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.scene = device_->getSceneManager();
    engine.gui = device_->getGUIEnvironment();
    std::vector<irr::core::stringc> none[4];
    GfxDescriptorLists lists{&none[0], &none[1], &none[2], &none[3]};
    initGfxResources(lists, 2, nullptr);

    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    registerScriptString(serverScriptEngine);
    registerScriptString(clientScriptEngine);
    registerGuiBindings();
    EXPECT_EQ(log.take(), "");  // every registration accepted
    drawClipActive = false;
    drawClipRect = recti(0, 0, 0, 0);
  }
  void TearDown() override {
    setDrawTarget(nullptr);
    drawingEnabled = false;
    drawClipActive = false;
    discardScriptModules();
    releaseScriptEngines();
    clearGfxResources(gfxResources);
    engine = EngineGlobals{};
    device_->drop();
  }

  // A 100 x 50 texture registered as the material "Panel", and the material
  // "Bare" without a texture.
  ITexture* addPanelMaterials() {
    irr::video::IImage* image =
        engine.driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(100, 50));
    ITexture* texture = plat::addImageTexture(engine.driver, "panel.png", image);
    image->drop();
    auto* panel = new irr::video::SMaterial;
    panel->setTexture(0, texture);
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"Panel").value = panel;
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"Bare").value = new irr::video::SMaterial;
    return texture;
  }

  // Builds `code` as the module "drawing" of `engine`; null when it fails.
  static asIScriptModule* build(asIScriptEngine* engine, const std::string& code) {
    LogCapture log;
    asIScriptModule* module = engine->GetModule("drawing", asGM_ALWAYS_CREATE);
    module->AddScriptSection("drawing.as", code.c_str(), code.size());
    if (module->Build() < 0) {
      module->Discard();
      return nullptr;
    }
    return module;
  }

  // Runs "bool test()" of `code`: its result, false on any failure.
  static bool run(asIScriptEngine* engine, const std::string& code) {
    asIScriptModule* module = build(engine, code);
    if (module == nullptr) {
      ADD_FAILURE() << "does not build: " << code;
      return false;
    }
    asIScriptContext* context = createScriptContext(engine);
    context->Prepare(module->GetFunctionByDecl("bool test()"));
    const bool passed = context->Execute() == asEXECUTION_FINISHED && context->GetReturnByte() != 0;
    context->Release();
    return passed;
  }

  // The texture handle "const Texture@ test()" of `code` returns.
  static ITexture* returnedTexture(const std::string& code) {
    asIScriptModule* module = build(clientScriptEngine, code);
    if (module == nullptr)
      return nullptr;
    asIScriptContext* context = createScriptContext(clientScriptEngine);
    context->Prepare(module->GetFunctionByDecl("const Texture@ test()"));
    ITexture* texture = nullptr;
    if (context->Execute() == asEXECUTION_FINISHED)
      texture = static_cast<ITexture*>(context->GetReturnAddress());
    context->Release();
    return texture;
  }

  irr::IrrlichtDevice* device_ = nullptr;
};

TEST_F(ScriptDrawingTest, ScreenSizeIsTheDevicesOnBothEnginesAndTextIsMeasuredByTheSkinFont) {
  for (asIScriptEngine* scripts : {serverScriptEngine, clientScriptEngine})
    EXPECT_TRUE(run(scripts, "bool test() { return getScreenWidth() == 640 && getScreenHeight() == 480; }"));

  const irr::core::dimension2du expected =
      engine.gui->getSkin()->getFont(irr::gui::EGDF_DEFAULT)->getDimension(L"Corvane");
  ASSERT_GT(expected.Width, 0u);
  EXPECT_TRUE(run(clientScriptEngine, "bool test() { dim2di d = getTextDimension(\"Corvane\"); return d.width == " +
                                          std::to_string(expected.Width) +
                                          " && d.height == " + std::to_string(expected.Height) + "; }"));
  EXPECT_EQ(build(serverScriptEngine, "void f() { getTextDimension(\"x\"); }"), nullptr);
}

TEST_F(ScriptDrawingTest, MaterialTexturesTheirSizesAndHandleReferences) {
  ITexture* panel = addPanelMaterials();
  // Unknown names give the error texture, a material without one null.
  EXPECT_EQ(returnedTexture("const Texture@ test() { return getMaterialTexture(\"nope\"); }"),
            gfxResources.errorTexture);
  EXPECT_EQ(returnedTexture("const Texture@ test() { return getMaterialTexture(\"Bare\"); }"), nullptr);
  EXPECT_EQ(returnedTexture("const Texture@ test() { return getMaterialTexture(\"Panel\"); }"), panel);

  // The size table's 100 x 50, where the null driver's texture says 0 x 0.
  ASSERT_EQ(panel->getOriginalSize(), irr::core::dimension2du(0, 0));
  EXPECT_TRUE(run(clientScriptEngine, R"(bool test() {
    const Texture@ t = getMaterialTexture("Panel");
    dim2di size = t.size;
    recti rect = t.rect;
    return size.width == 100 && size.height == 50 && rect.UpperLeftCorner.x == 0 && rect.UpperLeftCorner.y == 0 &&
           rect.LowerRightCorner.x == 100 && rect.LowerRightCorner.y == 50;
  })"));

  // A handle a script keeps holds one engine reference until it is let go.
  const irr::s32 before = panel->getReferenceCount();
  asIScriptModule* module = build(clientScriptEngine, R"(
    const Texture@ kept;
    void keep() { @kept = getMaterialTexture("Panel"); }
  )");
  ASSERT_NE(module, nullptr);
  asIScriptContext* context = createScriptContext(clientScriptEngine);
  context->Prepare(module->GetFunctionByDecl("void keep()"));
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  context->Release();
  EXPECT_EQ(panel->getReferenceCount(), before + 1);
  module->Discard();
  clientScriptEngine->GarbageCollect();
  EXPECT_EQ(panel->getReferenceCount(), before);
}

// Every gated function, called with a clip in force.
const char* const kEveryDrawing = R"(
  setDrawClip(recti(1, 2, 30, 40));
  const Texture@ t = getMaterialTexture("Panel");
  drawLine(pos2di(1, 1), pos2di(2, 2), Color(255, 0, 0, 0));
  drawTexture(t, pos2di(5, 6));
  drawTexture(t, pos2di(5, 6), recti(0, 0, 10, 10));
  drawTexture(t, pos2di(5, 6), recti(0, 0, 10, 10), Color(128, 1, 2, 3), true);
  drawTexture(t, recti(0, 0, 20, 20), recti(0, 0, 10, 10));
  drawTexture(t, recti(0, 0, 20, 20), recti(0, 0, 10, 10), Color(128, 1, 2, 3), false);
  drawSprite("icons", 4, pos2di(7, 8));
  drawText("abc", recti(0, 0, 9, 9));
  drawText("abcd", recti(0, 0, 9, 9), Color(255, 9, 9, 9), true, false);
  drawRect(recti(0, 0, 3, 3));
  drawRect(recti(0, 0, 3, 3), Color(255, 1, 1, 1));
  drawRect(recti(0, 0, 3, 3), Color(255, 1, 1, 1), Color(255, 2, 2, 2), true);
  drawRect(recti(0, 0, 3, 3), Color(255, 1, 1, 1), Color(255, 2, 2, 2), false);
  drawRect(recti(0, 0, 3, 3), Color(1, 0, 0, 0), Color(2, 0, 0, 0), Color(3, 0, 0, 0), Color(4, 0, 0, 0));
  drawRectOutline(recti(0, 0, 3, 3), Color(255, 1, 1, 1));
  drawPane(recti(0, 0, 3, 3));
  drawPane(recti(0, 0, 3, 3), Color(255, 5, 5, 5), true);
  drawTexture(null, pos2di(0, 0));
  drawTexture(null, recti(0, 0, 1, 1), recti(0, 0, 1, 1));
)";

TEST_F(ScriptDrawingTest, WithTheGateClosedNothingReachesTheEngineButMeasuringAndClipping) {
  addPanelMaterials();
  RecordingTarget target;
  setDrawTarget(&target);
  EXPECT_TRUE(run(clientScriptEngine, std::string("bool test() {") + kEveryDrawing +
                                          "  dim2di d = getTextDimension(\"abc\");\n"
                                          "  return d.width == 21 && d.height == 11; }"));
  EXPECT_EQ(target.calls, std::vector<std::string>{"measure 3"});
  // The clip functions still work.
  EXPECT_TRUE(drawClipActive);
  EXPECT_EQ(drawClipRect, recti(1, 2, 30, 40));
  EXPECT_TRUE(run(clientScriptEngine, "bool test() { clearDrawClip(); return true; }"));
  EXPECT_FALSE(drawClipActive);
  EXPECT_EQ(drawClipRect, recti(1, 2, 30, 40));
}

TEST_F(ScriptDrawingTest, PastTheGateEachFunctionMakesItsOneCallWithTheClip) {
  addPanelMaterials();
  RecordingTarget target;
  setDrawTarget(&target);
  drawingEnabled = true;  // only a test opens it
  ASSERT_TRUE(run(clientScriptEngine, std::string("bool test() {") + kEveryDrawing + " return true; }"));
  const std::vector<std::string> expected = {
      "line 1,1 2,2 FF000000",  // no clip
      "image 5,6 src 0,0,100,50 clip 1,2,30,40 FFFFFFFF",
      "image 5,6 src 0,0,10,10 clip 1,2,30,40 FFFFFFFF",
      "image 5,6 src 0,0,10,10 clip 1,2,30,40 80010203 alpha",
      "scaled 0,0,20,20 src 0,0,10,10 clip 1,2,30,40 plain",
      "scaled 0,0,20,20 src 0,0,10,10 clip 1,2,30,40 80010203 80010203 80010203 80010203",
      "sprite icons 4 7,8 clip 1,2,30,40",
      "text 3 0,0,9,9 FFFFFFFF clip 1,2,30,40",
      "text 4 0,0,9,9 FF090909 h clip 1,2,30,40",
      "skinRect FF0000FF 0,0,3,3 clip 1,2,30,40",
      "skinRect FF010101 0,0,3,3 clip 1,2,30,40",
      // Left to right: the left corners the first colour.
      "corners 0,0,3,3 FF010101 FF020202 FF010101 FF020202 clip 1,2,30,40",
      // Top to bottom: the upper corners the first colour.
      "corners 0,0,3,3 FF010101 FF010101 FF020202 FF020202 clip 1,2,30,40",
      "corners 0,0,3,3 01000000 02000000 03000000 04000000 clip 1,2,30,40",
      "outline 0,0,3,3 FF010101",  // no clip
      "pane FF0000FF 0,0,3,3 clip 1,2,30,40",
      "pane FF050505 flat 0,0,3,3 clip 1,2,30,40",
      // The null textures draw nothing.
  };
  EXPECT_EQ(target.calls, expected);

  // A second clip replaces the first; a cleared one is none.
  target.calls.clear();
  ASSERT_TRUE(run(clientScriptEngine, R"(bool test() {
    setDrawClip(recti(0, 0, 5, 5));
    drawRect(recti(0, 0, 1, 1), Color(255, 0, 0, 0));
    clearDrawClip();
    drawRect(recti(0, 0, 1, 1), Color(255, 0, 0, 0));
    return true;
  })"));
  EXPECT_EQ(target.calls, (std::vector<std::string>{"skinRect FF000000 0,0,1,1 clip 0,0,5,5",
                                                     "skinRect FF000000 0,0,1,1 clip none"}));
}

}  // namespace script_drawing_test
