// The options dialog's Keys page: a table of every built-in key action with
// the key that triggers it. A second click on a row arms it ("Press Any
// Key"); the next key pressed becomes that action's key in place of its
// first one and controls.cfg is written at once. Escape cancels. Every key,
// Shift, Control and Alt included, can be bound this way.
//
// Rows follow the action table's name order; an action's label is the
// localised text of "#" + its name ("#" + its name where the locale has
// none). An action with several keys shows and replaces its first.
#pragma once

#include <IGUIElement.h>
#include <IGUITable.h>
#include <irrString.h>

// The page's element. It owns the table and gets the events the table does
// not use.
class keyReceiver : public irr::gui::IGUIElement {
 public:
  keyReceiver(irr::gui::IGUIEnvironment* environment, irr::gui::IGUIElement* parent,
              const irr::core::recti& rectangle);

  bool OnEvent(const irr::SEvent& event) override;

  irr::gui::IGUITable* table() const { return table_; }
  // The action whose key is awaited; empty when none is.
  const irr::core::stringw& captureName() const { return captureName_; }

 private:
  irr::gui::IGUITable* table_ = nullptr;
  irr::core::stringw captureName_;
};

// Puts the page on `tab` (the rectangle (4, 4, 492, 310)) and returns it; the
// tab owns it (without a tab, the GUI's root). Null when there is no GUI
// environment.
keyReceiver* createKeyBindingPage(irr::gui::IGUIElement* tab);
