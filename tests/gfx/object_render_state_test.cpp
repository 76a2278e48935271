// The render state that shaders read: named state values refreshed from the
// owner every 16th read, and the owner's colour every 8th.
#include "gfx/object_render_state.h"

#include <gtest/gtest.h>

#include "empire/empire.h"
#include "graphics_object_fixture.h"
#include "universe/objects/object_states.h"

namespace object_render_state_test {

namespace {

using Value = CObjectRenderStateAccess::Value;

class ObjectRenderStateTest : public gfxobjtest::GraphicsObjectTest {};

TEST_F(ObjectRenderStateTest, UnknownNamesReadZerosUntilARefreshFindsThem) {
  gfxobjtest::PlainObject* owner = object();
  auto* access = new CObjectRenderStateAccess(owner);

  // The first read refreshes; the name is new, so it reads zeros.
  EXPECT_EQ(access->getValue(L"Damage"), (Value{0.0f, 0.0f, 0.0f, 0.0f}));
  State* damage = getOrAddObjectState(owner, L"Damage");
  damage->value.val = 3.0f;
  damage->value.max = 10.0f;
  damage->value.required = 1.0f;
  damage->value.inCargo = 2.0f;

  // Fifteen cached reads, then the refresh: the read that refreshes still
  // answers from before it, the next one with the new values.
  for (int i = 0; i < 15; ++i)
    EXPECT_EQ(access->getValue(L"Damage"), (Value{0.0f, 0.0f, 0.0f, 0.0f})) << i;
  EXPECT_EQ(access->getValue(L"Damage"), (Value{0.0f, 0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(access->getValue(L"Damage"), (Value{3.0f, 10.0f, 2.0f, 1.0f}));
  // Other names keep their own entries.
  EXPECT_EQ(access->getValue(L"Armor"), (Value{0.0f, 0.0f, 0.0f, 0.0f}));
  access->drop();
}

TEST_F(ObjectRenderStateTest, TheColourFollowsAMajorOwnerEveryEighthRead) {
  gfxobjtest::PlainObject* owner = object();
  auto* holder = new empire;
  holder->color = 0xFF336699;
  auto* access = new CObjectRenderStateAccess(owner);
  using Colour = std::array<float, 3>;
  EXPECT_EQ(access->getEmpireColour(), (Colour{1.0f, 1.0f, 1.0f})) << "no owner: white";
  owner->owner = holder;
  for (int i = 0; i < 29; ++i)
    EXPECT_EQ(access->getEmpireColour(), (Colour{1.0f, 1.0f, 1.0f})) << i;
  const Colour expected{0x33 * 0.003921568859368563f, 0x66 * 0.003921568859368563f, 0x99 * 0.003921568859368563f};
  EXPECT_EQ(access->getEmpireColour(), expected);
  holder->color = 0xFFFFFFFF;
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(access->getEmpireColour(), expected) << i;
  EXPECT_EQ(access->getEmpireColour(), (Colour{1.0f, 1.0f, 1.0f}));
  owner->owner = nullptr;
  access->drop();
  delete holder;
}

TEST_F(ObjectRenderStateTest, ShadersReadTheRenderStateOfTheNodeTheyDraw) {
  shadersEnabled = true;
  gfxobjtest::PlainObject* owner = object();
  owner->radius = 7.5f;
  getOrAddObjectState(owner, L"Damage")->value.val = 4.0f;
  graphicsObject* shown = graphicsOn(owner, irr::scene::addSettingsEmptySceneNode(scene(), nullptr, -1));
  irr::scene::ISceneNode* node = shown->getNode();

  IShaderObjectState* state = shaderObjectStateOf(node);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state, dynamic_cast<CObjectRenderStateAccess*>(irr::scene::getNodeUserSettings(node)));
  irr::f32 value[4] = {9.0f, 9.0f, 9.0f, 9.0f};
  EXPECT_TRUE(state->stateVector(L"Damage", value)) << "a name never seen answers too";
  EXPECT_EQ(value[0], 0.0f);
  EXPECT_EQ(state->ownerColor().r, 1.0f) << "white without an owning empire";
  EXPECT_EQ(state->radius(), 7.5f);
  irr::u32 when = 0;
  EXPECT_FALSE(state->lastAttackedMs(when)) << "never attacked";
  owner->lastAttacked = 1234;
  EXPECT_TRUE(state->lastAttackedMs(when));
  EXPECT_EQ(when, 1234u);

  // Nodes without the settings: stock engine nodes, or none at all.
  EXPECT_EQ(shaderObjectStateOf(scene()->addEmptySceneNode()), nullptr);
  EXPECT_EQ(shaderObjectStateOf(nullptr), nullptr);
}

}  // namespace

}  // namespace object_render_state_test
