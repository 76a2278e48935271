// The cargo transfer dialog: how the amount box reads, the resources it
// lists, the transfer order it gives the selection, and the references it
// holds until Transfer, Cancel or the close box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_menu_fixture.h"
#include "core/save_stream.h"
#include "design/effects/resources.h"
#include "gui/base/gui_callbacks.h"
#include "universe/objects/object_states.h"
#include "universe/orders/cargo_orders.h"

namespace contextmenutest {

namespace {

TEST(TransferAmount, ReadsAllSharesAndNumbers) {
  const struct {
    const wchar_t* text;
    float amount;
    bool fraction;
  } rows[] = {
      {L"ALL", 1.0f, true},     {L"all", 1.0f, true},    {L"50%", 0.5f, true},     {L"250%", 1.0f, true},
      {L"12.5", 12.5f, false},  {L"abc", 0.0f, false},   {L"0", 0.0f, false},      {L"", 0.0f, false},
      {L"7 tons", 7.0f, false}, {L"-3", -3.0f, false},   {L"%", 0.0f, true},       {L"1.2.3", 1.2f, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.text, row.text + wcslen(row.text)));
    const TransferAmount read = parseTransferAmount(row.text);
    EXPECT_FLOAT_EQ(read.amount, row.amount);
    EXPECT_EQ(read.fraction, row.fraction);
  }
  // A number too large for a float is no amount.
  EXPECT_FALSE(parseTransferAmount(std::wstring(60, L'9').c_str()).amount > 0.0f);
}

class CargoDialog : public ContextMenuTest {
 protected:
  void SetUp() override {
    ContextMenuTest::SetUp();
    bindCargoDialogCallbacks();
    cargo_.canBeCargo = true;
  }
  void TearDown() override {
    removeGuiCallback(kCargoDialogWindowId);
    removeGuiCallback(kCargoDialogTransferId);
    ContextMenuTest::TearDown();
  }
  // Gives `object` the states `names`, cargo-capable or not.
  void stock(generic_object* object, std::initializer_list<const wchar_t*> names, bool cargo = true) {
    for (const wchar_t* name : names)
      addObjectState(object->states, name)->value.resource = cargo ? &cargo_ : &plain_;
  }
  static irr::gui::IGUIElement* child(irr::gui::IGUIElement* window, irr::gui::EGUI_ELEMENT_TYPE type, int n = 0) {
    for (irr::gui::IGUIElement* element : window->getChildren())
      if (element->getType() == type && n-- == 0)
        return element;
    return nullptr;
  }
  static irr::gui::IGUIElement* button(irr::gui::IGUIElement* window, int id) {
    for (irr::gui::IGUIElement* element : window->getChildren())
      if (element->getType() == irr::gui::EGUIET_BUTTON && element->getID() == id)
        return element;
    return nullptr;
  }
  bool windowInGui(irr::gui::IGUIElement* window) const { return inGui(ui->root(), window); }
  static bool inGui(irr::gui::IGUIElement* from, irr::gui::IGUIElement* element) {
    for (irr::gui::IGUIElement* c : from->getChildren())
      if (c == element || inGui(c, element))
        return true;
    return false;
  }

  cargoData cargo_;
  cargoData plain_;
};

TEST_F(CargoDialog, TransferGivesTheSelectionOneOrderAndLetsGoOfBothObjects) {
  TestObject* acting = ship();
  TestObject* target = planet(red);
  stock(acting, {L"Ore", L"Fuel"});
  stock(acting, {L"Damage"}, false);
  stock(target, {L"Food", L"Ore", L"Metals"});
  graphicsObject* actingShown = select(acting);
  graphicsObject* targetShown = show(target);
  const int actingBefore = actingShown->refCount.load();
  const int targetBefore = targetShown->refCount.load();

  const struct {
    const char* label;
    const wchar_t* text;
    bool takeFrom;
    bool ordered;
    uint8_t mode;
    float amount;
  } rows[] = {
      {"all of it", L"ALL", false, true, TM_Percent, 1.0f},
      {"half", L"50%", false, true, TM_Percent, 0.5f},
      {"more than all", L"250%", true, true, TM_Percent | TM_From, 1.0f},
      {"an amount", L"12.5", false, true, TM_Amount, 12.5f},
      {"taken from the target", L"12.5", true, true, TM_Amount | TM_From, 12.5f},
      {"no number", L"abc", false, false, 0, 0.0f},
      {"nothing", L"0", false, false, 0, 0.0f},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    acting->ai->clearOrders(true);
    ui->moveMouse(300, 300);
    openCargoTransferDialog(acting, target);
    irr::gui::IGUIElement* window = cargoDialogWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(std::wstring(window->getText()), L"Transfer cargo...");
    EXPECT_EQ(window->getID(), kCargoDialogWindowId);
    EXPECT_EQ(window->getAbsolutePosition(), irr::core::recti(200, 200, 400, 400));
    auto* list = static_cast<irr::gui::IGUIComboBox*>(child(window, irr::gui::EGUIET_COMBO_BOX));
    ASSERT_NE(list, nullptr);
    // The acting object's cargo in its state order, then what only the
    // target has.
    std::vector<std::wstring> names;
    for (irr::u32 i = 0; i < list->getItemCount(); ++i)
      names.emplace_back(list->getItem(i));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Fuel", L"Ore", L"Food", L"Metals"}));
    list->setSelected(1);
    child(window, irr::gui::EGUIET_EDIT_BOX)->setText(row.text);
    static_cast<irr::gui::IGUICheckBox*>(child(window, irr::gui::EGUIET_CHECK_BOX))->setChecked(row.takeFrom);
    EXPECT_EQ(actingShown->refCount.load(), actingBefore + 1);
    EXPECT_EQ(targetShown->refCount.load(), targetBefore + 1);

    ui->clickElement(button(window, kCargoDialogTransferId));
    EXPECT_FALSE(windowInGui(window));
    EXPECT_EQ(cargoDialogWindow(), nullptr);
    EXPECT_EQ(actingShown->refCount.load(), actingBefore);
    EXPECT_EQ(targetShown->refCount.load(), targetBefore);
    ASSERT_EQ(acting->ai->getOrderCount(), row.ordered ? 1u : 0u);
    if (!row.ordered)
      continue;
    auto* order = dynamic_cast<transfer_order*>(acting->ai->getOrder(0));
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->mode, row.mode);
    EXPECT_FLOAT_EQ(order->amount, row.amount);
    EXPECT_FLOAT_EQ(order->remaining, row.amount);
    EXPECT_FLOAT_EQ(order->minimum, 0.0f);
    EXPECT_EQ(order->other, target);
    EXPECT_EQ(std::wstring(order->resource->c_str()), L"Ore");
  }
}

TEST_F(CargoDialog, CancelTheCloseBoxAndMissingGraphicsCloseWithoutAnOrder) {
  TestObject* acting = ship();
  TestObject* target = ship();
  stock(acting, {L"Ore"});
  graphicsObject* actingShown = select(acting);
  graphicsObject* targetShown = show(target);
  const int actingBefore = actingShown->refCount.load();
  const int targetBefore = targetShown->refCount.load();

  for (bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "Cancel");
    ui->moveMouse(300, 300);  // the window opens round the cursor
    openCargoTransferDialog(acting, target);
    auto* window = static_cast<irr::gui::IGUIWindow*>(cargoDialogWindow());
    ASSERT_NE(window, nullptr);
    ui->clickElement(closeBox ? window->getCloseButton() : button(window, kCargoDialogWindowId));
    EXPECT_FALSE(windowInGui(window));
    EXPECT_EQ(cargoDialogActing(), nullptr);
    EXPECT_EQ(cargoDialogTarget(), nullptr);
    EXPECT_EQ(actingShown->refCount.load(), actingBefore);
    EXPECT_EQ(targetShown->refCount.load(), targetBefore);
    EXPECT_EQ(acting->ai->getOrderCount(), 0u);
  }

  // A target without a graphics object: Transfer orders nothing and the
  // window closes all the same.
  TestObject* bare = ship();
  openCargoTransferDialog(acting, bare);
  irr::gui::IGUIElement* window = cargoDialogWindow();
  ASSERT_NE(window, nullptr);
  ui->clickElement(button(window, kCargoDialogTransferId));
  EXPECT_FALSE(windowInGui(window));
  EXPECT_EQ(acting->ai->getOrderCount(), 0u);
  EXPECT_EQ(actingShown->refCount.load(), actingBefore);

  // A second opening takes the place of the first pair; the session's end
  // lets go of what is held and takes the window away.
  openCargoTransferDialog(acting, target);
  openCargoTransferDialog(target, acting);
  EXPECT_EQ(cargoDialogActing(), targetShown);
  EXPECT_EQ(actingShown->refCount.load(), actingBefore + 1);
  EXPECT_EQ(targetShown->refCount.load(), targetBefore + 1);
  window = cargoDialogWindow();
  releaseCargoDialog();
  EXPECT_FALSE(windowInGui(window));
  EXPECT_EQ(actingShown->refCount.load(), actingBefore);
  EXPECT_EQ(targetShown->refCount.load(), targetBefore);
}

TEST_F(CargoDialog, TheTransferEntryOpensTheDialogForTheFirstAndTheClickedObject) {
  TestObject* acting = ship();
  TestObject* target = ship();
  select(acting);
  show(target);
  buildContextActionMenu();
  actionLists.front()->pickerById(7)->run(acting, target);
  EXPECT_EQ(cargoDialogActing(), acting->graphics);
  EXPECT_EQ(cargoDialogTarget(), target->graphics);
}

}  // namespace

}  // namespace contextmenutest
