// The case table of the coverage test (binding_coverage_test.cpp): script
// code run as one function per case in the engines it names. A valid case
// (no exception) must finish, and checks its results with the test's
// "void expect(bool, const string &in)"; a misuse case must stop with
// exactly its exception text. Every manifest line must be reached by a
// valid case: called by it, or, for properties and enum values, named by
// it; a type's counting behaviours count as reached by any case naming the
// type.
//
// The test's own globals: empireA() and empireB() (A is the active
// empire), fixtureShip(), fixturePlanet() (A's), fixtureStar(),
// fixtureOddity() (a comet), fixtureSystem() (each an Object@),
// refsOf(const Object@+), fixtureLayout() (A's "Scout"), fixtureEvent() (the
// ship's event on the planet), fixtureMessage() (a peace message from B),
// fixtureSubSystem() (a sub-system instance of "Frame" with its values),
// bareSubSystem() (one of "Probe" without them), fixtureSysRef() (a record
// of the fixture instance), statOfNullName(System@+) (SystemStats' getStat
// with a null name) and, on the server,
// fixtureEffector() (a "Gun" with the one value 2) and fixtureEffectorState().
// The treaty clauses are "note" (tag "pact") and "counted" (options
// "amount", an integer, and "text", a string).
//
// The client-engine cases run a second time in a network client (A is the
// playing empire), once for each protocol version the server may announce
// (6 and 7): the requests each sends to the server must be exactly its
// `requests`, where SHIPREF stands for the fixture ship's object reference
// and SHIPUID for its UID as a raw u32.
#pragma once

#include <vector>

// The shared element methods called on the handle named `x`.
#define GUI_SHARED_CALLS(x)                                                                                 \
  "{ " x ".setToolTip(null); " x ".setSizeBounds(recti()); " x ".bringToFront(); dim2di sz = " x ".getSize(); " x \
  ".setSize(sz); pos2di at = " x ".getPosition(); " x ".setPosition(at); GuiElement@ up = " x               \
  ".getParent(); " x ".setParent(up); " x ".focus(); bool anc = " x ".isAncestor(up); bool tv = " x         \
  ".isTrulyVisible(); " x ".setAlignment(EA_Left, EA_Top, EA_Right, EA_Bottom); recti abs = " x             \
  ".getAbsolutePosition(); " x ".setID(" x ".getID()); " x ".setVisible(" x ".isVisible()); " x             \
  ".setEnabled(" x ".isEnabled()); " x ".setNoclipped(" x ".isNoclipped()); " x ".orphan(false); " x         \
  ".remove(); }"

// The casts of GUI kind T both ways on the handle named `x` (a T@).
#define GUI_KIND_CASTS(T, x)                                                                                     \
  "GuiElement@ e_ = " x "; const GuiElement@ ce_ = e_; " T "@ t_ = e_.to" T "(); const " T "@ ct_ = ce_.to" T \
  "(); @t_ = cast<" T ">(e_); @ct_ = ce_; GuiElement@ back_ = t_.toGuiElement(); const GuiElement@ cback_ = " \
  "ct_.toGuiElement(); @back_ = t_; @cback_ = ct_; "

namespace bindingcoverage {

enum class On { Server, Client, Both };

struct Case {
  On on;
  const char* code;
  const char* exception = nullptr;  // null for a valid case
  // What the case sends in the client engine of a network client: each
  // message's bytes in hex, messages separated by " | "; null for none.
  const char* requests = nullptr;
  // What it sends instead towards protocol version 6, where that differs;
  // null: `requests`.
  const char* requestsTowardsVersion6 = nullptr;
};

inline const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      // --- vector, pos2df, Color ---
      {On::Both, R"(
  vector a(1, 2, 2);
  vector b(3);
  expect(a.x == 1 && a.y == 2 && a.z == 2, "fields");
  expect(a.getLength() == 3 && a.getLengthSQ() == 9, "length");
  expect(a.getDistanceFrom(a) == 0 && a.getDistanceFromSQ(vector(1, 2, 3)) == 1, "distance");
  expect(a.dotProduct(vector(1, 0, 0)) == 1, "dot");
  vector c = a * 2;
  c = c / 2;
  c = c + b - b;
  c *= 2;
  c /= 2;
  c += b;
  c -= b;
  expect(c.x == 1 && c.z == 2, "operators");
  c.set(0, 3, 4);
  c.normalize();
  expect(c.getLength() > 0.99f && c.getLength() < 1.01f, "normalize");
  c.normalize(10);
  expect(c.getLength() > 9.9f, "normalize to a length");)", nullptr},
      {On::Both, R"(
  pos2df origin;
  pos2df at(1.5f, 2);
  expect(origin.x == 0 && at.x == 1.5f && at.y == 2, "pos2df");)", nullptr},
      // --- math value types, screen size, Texture, drawing ---
      {On::Both, R"(
  vector v(2.5f);
  expect(v.x == 2.5f && v.y == 2.5f && v.z == 2.5f, "one value for all three");
  vector w(1, 2, 3);
  w.normalize(0);
  expect(w.x == 0 && w.y == 0 && w.z == 0, "normalize(0) gives zero");
  vector zero(0);
  zero.normalize(5);
  expect(zero.getLengthSQ() == 0, "zero stays zero");
  vector inf = vector(1, 0, 0) / 0;
  expect(inf.x > 1e30f, "a zero divisor gives infinity");
  int width = getScreenWidth();
  int height = getScreenHeight();
  expect(width >= 0 && height >= 0, "screen size");)", nullptr},
      {On::Both, R"(
  quaternion id;
  expect(id.x == 0 && id.y == 0 && id.z == 0 && id.w == 1, "identity");
  quaternion a(1, 2, 3, 4);
  quaternion b = a * 2.0f;
  expect(b.x == 2 && b.w == 8, "scaled");
  quaternion c = a + b;
  expect(c.y == 6 && c.w == 12, "sum");
  c *= 0.5f;
  expect(c.y == 3 && c.w == 6, "scaled in place");
  expect(a * id == a, "product with the identity");
  quaternion r(0.5f, 0.5f, 0.5f, 0.5f);
  // As the engine's own *=: a becomes r * a.
  quaternion product = r * a;
  expect(!(product == a * r), "the order matters");
  quaternion got = (a *= r);
  expect(a == product && got == product && !(a == quaternion(1, 2, 3, 4)), "*= multiplies in place");
  quaternion e;
  e = r;
  expect(e == r && e.dotProduct(quaternion(1, 0, 0, 0)) == 0.5f, "assign and dot");
  const quaternion k(0, 0, 0, 2);
  k.normalize();
  expect(k.w == 1, "a const quaternion normalizes in place");
  quaternion inv(1, 2, 3, 4);
  inv.makeInverse();
  expect(inv.x == -1 && inv.y == -2 && inv.z == -3 && inv.w == 4, "inverse");
  inv.makeIdentity();
  expect(inv == quaternion(), "identity again");
  quaternion s;
  s.slerp(quaternion(), quaternion(0, 0, 1, 0), 0.5f);
  expect(abs(s.z - 0.70710677f) < 0.001f && abs(s.w - 0.70710677f) < 0.001f, "slerp");
  quaternion turn;
  vector from(1, 0, 0);
  vector to(0, 1, 0);
  turn.rotationFromTo(from, to);
  expect(abs(turn.z - 0.70710677f) < 0.001f && abs(turn.w - 0.70710677f) < 0.001f, "rotation from to");
  vector axis(0, 0, 1);
  quaternion half;
  half.fromAngleAxis(3.14159265f, axis);
  expect(abs(half.z - 1) < 0.001f && abs(half.w) < 0.001f, "from angle and axis");
  float angle = 0;
  vector around(0);
  half.toAngleAxis(angle, around);
  expect(abs(angle - 3.14159265f) < 0.001f && abs(around.z - 1) < 0.001f, "to angle and axis");
  vector euler(0);
  quaternion(0, 0, 0.5f).toEuler(euler);
  expect(abs(euler.z - 0.5f) < 0.001f && abs(euler.x) < 0.001f, "Euler constructor and toEuler");
  quaternion set;
  set.set(vector(0, 0, 0.5f));
  expect(set == quaternion(0, 0, 0.5f), "set from a vector");
  set.set(0, 0.5f, 0);
  expect(set == quaternion(0, 0.5f, 0), "set from three");
  set.set(1, 2, 3, 4);
  expect(set.x == 1 && set.y == 2 && set.z == 3 && set.w == 4, "set four");)", nullptr},
      {On::Both, R"(
  pos2di origin;
  expect(origin.x == 0 && origin.y == 0, "default pos2di");
  pos2di a(3, 4);
  pos2di sum = a + pos2di(1, 1);
  pos2di difference = a - pos2di(1, 1);
  expect(sum.x == 4 && sum.y == 5 && difference.x == 2 && difference.y == 3, "pos2di arithmetic");
  a += pos2di(1, 2);
  a -= pos2di(0, 1);
  pos2di b;
  b = a;
  expect(b == pos2di(4, 5) && !(pos2di(1, 1) == pos2di(1, 2)), "pos2di in place, exact");
  expect(pos2df(1, 1) == pos2df(1.0000005f, 1) && !(pos2df(1, 1) == pos2df(1.001f, 1)), "float tolerance");
  pos2df f = pos2df(1, 2) + pos2df(0.5f, 0.5f) - pos2df(1, 1);
  expect(f.x == 0.5f && f.y == 1.5f, "pos2df arithmetic");
  f += pos2df(1, 1);
  f -= pos2df(0.5f, 0.5f);
  pos2df g;
  g = f;
  expect(g == pos2df(1, 2), "pos2df in place");
  dim2di size(10, 20);
  expect(size.width == 10 && size.height == 20, "width first, height second");
  dim2di dsum = size + dim2di(1, 1) - dim2di(2, 2);
  size += dim2di(1, 1);
  size -= dim2di(2, 2);
  dim2di copy;
  copy = size;
  expect(dsum == dim2di(9, 19) && copy == dsum && dim2di() == dim2di(0, 0), "dim2di arithmetic");
  dim2df fsize(1.5f, 2.5f);
  dim2df fsum = fsize + dim2df(1, 1) - dim2df(0.5f, 0.5f);
  fsize += dim2df(1, 1);
  fsize -= dim2df(0.5f, 0.5f);
  dim2df fcopy;
  fcopy = fsize;
  expect(fsum.width == 2 && fsum.height == 3 && fcopy == fsum && dim2df().width == 0, "dim2df arithmetic");)",
       nullptr},
      {On::Both, R"(
  recti bySize(pos2di(5, 5), dim2di(10, 20));
  recti byFour(5, 5, 15, 25);
  expect(bySize.UpperLeftCorner.x == byFour.UpperLeftCorner.x && bySize.UpperLeftCorner.y == byFour.UpperLeftCorner.y &&
         bySize.LowerRightCorner.x == 15 && bySize.LowerRightCorner.y == 25, "by size, by coordinates");
  recti byCorners(pos2di(1, 2), pos2di(3, 4));
  recti none;
  expect(byCorners.LowerRightCorner.y == 4 && none.LowerRightCorner.x == 0, "by corners, empty");
  dim2di size = byFour.getSize();
  expect(byFour.getWidth() == 10 && byFour.getHeight() == 20 && size.width == 10 && size.height == 20, "size");
  expect(byFour.isPointInside(pos2di(15, 25)) && !byFour.isPointInside(pos2di(16, 25)), "corners inclusive");
  recti big(0, 0, 10, 10);
  expect(!big.constrainTo(recti(0, 0, 5, 5)) && big.LowerRightCorner.x == 10 && big.UpperLeftCorner.x == 0,
         "too big: unchanged");
  recti over(5, 0, 13, 4);
  expect(over.constrainTo(recti(0, 0, 10, 10)) && over.UpperLeftCorner.x == 2 && over.LowerRightCorner.x == 10,
         "moved left by 3");
  recti moved;
  moved = byFour;
  moved += pos2di(1, 1);
  expect(moved.UpperLeftCorner.x == 6 && moved.LowerRightCorner.y == 26, "moved");
  moved.upperLeft = pos2di(0, 1);
  expect(moved.UpperLeftCorner.x == 0 && moved.UpperLeftCorner.y == 1, "upperLeft writes UpperLeftCorner");
  moved.UpperLeftCorner.x = 7;
  expect(moved.upperLeft.x == 7, "UpperLeftCorner writes upperLeft");
  rectf fs(pos2df(0.5f, 0.5f), dim2df(2, 3));
  rectf ff(0.5f, 0.5f, 2.5f, 3.5f);
  rectf fc(pos2df(0, 0), pos2df(1, 1));
  rectf fnone;
  dim2df fsize = ff.getSize();
  expect(fs.LowerRightCorner.x == 2.5f && fs.LowerRightCorner.y == 3.5f && fc.LowerRightCorner.x == 1 &&
         fnone.UpperLeftCorner.x == 0, "rectf constructors");
  expect(ff.getWidth() == 2 && ff.getHeight() == 3 && fsize.width == 2 && fsize.height == 3, "rectf size");
  expect(ff.isPointInside(pos2df(2.5f, 3.5f)) && !ff.isPointInside(pos2df(0, 0)), "rectf inside");
  rectf fm;
  fm = ff;
  fm += pos2df(1, 1);
  fm.upperLeft.x = 0;
  expect(fm.UpperLeftCorner.x == 0 && fm.LowerRightCorner.x == 3.5f, "rectf moved, alias");)", nullptr},
      {On::Client, R"(
  const Texture@ unknown = getMaterialTexture("no such material");
  if (unknown !is null) {
    dim2di size = unknown.size;
    recti rect = unknown.rect;
    expect(rect.getWidth() == size.width && rect.getHeight() == size.height, "texture rect");
  }
  const subSystemDef@ def = fixtureSubSystem().type;
  expect(def.getImage() is null, "no image texture");
  pos2di mouse = getMousePosition();
  expect(mouse.x >= 0, "mouse position");
  dim2di text = getTextDimension("text");
  expect(text.width >= 0, "text dimension");
  setDrawClip(recti(0, 0, 10, 10));
  drawLine(pos2di(0, 0), pos2di(1, 1), Color(255, 255, 255, 255));
  drawTexture(unknown, pos2di(0, 0));
  drawTexture(unknown, pos2di(0, 0), recti(0, 0, 1, 1));
  drawTexture(unknown, pos2di(0, 0), recti(0, 0, 1, 1), Color(255, 0, 0, 0), true);
  drawTexture(unknown, recti(0, 0, 2, 2), recti(0, 0, 1, 1));
  drawTexture(unknown, recti(0, 0, 2, 2), recti(0, 0, 1, 1), Color(255, 0, 0, 0), false);
  drawSprite("no bank", 3, pos2di(0, 0));
  drawText("text", recti(0, 0, 10, 10));
  drawText("text", recti(0, 0, 10, 10), Color(255, 0, 0, 0), true, false);
  drawRect(recti(0, 0, 1, 1));
  drawRect(recti(0, 0, 1, 1), Color(255, 0, 0, 0));
  drawRect(recti(0, 0, 1, 1), Color(255, 0, 0, 0), Color(255, 1, 1, 1), true);
  drawRect(recti(0, 0, 1, 1), Color(255, 0, 0, 0), Color(255, 1, 1, 1), Color(0, 0, 0, 0), Color(1, 1, 1, 1));
  drawRectOutline(recti(0, 0, 1, 1), Color(255, 0, 0, 0));
  drawPane(recti(0, 0, 1, 1));
  drawPane(recti(0, 0, 1, 1), Color(255, 0, 0, 0), true);
  clearDrawClip();)", nullptr},
      {On::Both, R"(
  Color c(255, 10, 20, 30);
  expect(c.A == 255 && c.R == 10 && c.G == 20 && c.B == 30, "channels");
  c.R = 40;
  string@ text = c.format();
  expect(text !is null, "format");
  Color half = c.interpolate(Color(255, 0, 0, 0), 1.0f);
  expect(half.R == 40, "interpolate");)", nullptr},

      // --- GUI core: elements, events, scripted elements, animations, callbacks ---
      {On::Client, R"(
  ScriptedGuiHandler@ handler;
  GuiScripted@ made = GuiScripted(recti(0, 0, 10, 10), handler, null);
  expect(made is null, "no element without a handler");
  GuiElement@ e = made;
  const GuiElement@ ce = e;
  if (e !is null) {
    )" GUI_SHARED_CALLS("e") R"(
    GuiScripted@ s = e.toGuiScripted();
    const GuiScripted@ cs = ce.toGuiScripted();
    @s = cast<GuiScripted>(e);
    @cs = ce;
    )" GUI_SHARED_CALLS("s") R"(
    s.setAbsoluteClip();
    GuiElement@ back = s.toGuiElement();
    const GuiElement@ cback = cs.toGuiElement();
    @back = s;
    @cback = cs;
    animate(e, pos2di(1, 2), dim2di(3, 4), 10);
    animate(e, recti(0, 0, 1, 1), recti(2, 2, 3, 3), 0.5f);
    expect(isAnimating(e), "animating");
    stopAnimation(e);
    bindGuiCallback(e, "nowhere::onClick");
  }
  if (handler !is null) {
    handler.draw(e);
    GUIEvent@ g;
    MouseEvent@ m;
    KeyEvent@ k;
    if (g !is null && m !is null && k !is null) {
      EventReturn r = handler.onGUIEvent(e, g);
      r = handler.onMouseEvent(e, m);
      r = handler.onKeyEvent(e, k);
    }
  }
  bindGuiCallback(12345, "nowhere::onClick");
  bindEscapeEvent("coverage", "nowhere::onEscape");
  clearEscapeEvent("coverage");)", nullptr},
      {On::Client, R"(
  GUIEvent@ g;
  if (g !is null) {
    GuiElement@ other = g.Element;
    GuiElement@ caller = g.Caller;
    GUIEventType t = g.EventType;
  }
  MouseEvent@ m;
  if (m !is null) {
    int x = m.x + m.y;
    uint b = m.buttons;
    bool held = m.ctrl || m.shift || m.isLeftPressed() || m.isMiddlePressed() || m.isRightPressed();
    float w = m.wheel;
    MouseEventType t = m.EventType;
  }
  KeyEvent@ k;
  if (k !is null) {
    bool mods = k.alt || k.ctrl || k.shift || k.pressed;
    uint16 c = k.char;
    uint key = k.key;
  }
  expect(EA_Left == EA_Top && EA_Right == EA_Bottom && EA_Center == 2 && EA_Scale == 3, "ElementAlignment");
  expect(BA_Background | BA_ScaleImage | BA_UseAlpha == 7, "ButtonAppearance");
  expect(SBM_Auto == 0 && SBM_Invisible == 1 && SBM_Visible == 2, "ScrollBarMode");
  expect(MVM_Top == 0 && MVM_Side == 1, "MiniViewMode");
  expect(WM_Close | WM_Minimize | WM_Resize | WM_Modal == 15, "WindowMode");
  expect(ER_Pass == 0 && ER_Absorb == 1 && ER_Ignore == 2, "EventReturn");
  expect(MET_LEFT_DOWN == 0 && MET_RIGHT_DOWN == 1 && MET_MIDDLE_DOWN == 2 && MET_LEFT_UP == 3 &&
         MET_RIGHT_UP == 4 && MET_MIDDLE_UP == 5 && MET_MOVED == 6 && MET_WHEEL == 7 && MET_DBL_CLICK == 8 &&
         MET_TRIPLE_CLICK == 9, "MouseEventType");
  int[] codes = {GEVT_Focus_Lost, GEVT_Focus_Gained, GEVT_Mouse_Over, GEVT_Mouse_Left, GEVT_Closed, GEVT_Clicked,
                 GEVT_Right_Clicked, GEVT_Scrolled, GEVT_Checkbox_Toggled, GEVT_Listbox_Changed,
                 GEVT_Listbox_Selected_Again, GEVT_Listbox_Hovered, GEVT_File_Selected, GEVT_File_Select_Canceled,
                 GEVT_MSGBOX_Yes, GEVT_MSGBOX_No, GEVT_MSGBOX_Ok, GEVT_MSGBOX_Cancel, GEVT_EditBox_Enter_Pressed,
                 GEVT_EditBox_Changed, GEVT_Tab_Changed, GEVT_Menu_Item_Selected, GEVT_ComboBox_Changed,
                 GEVT_Spinbox_Changed, GEVT_Table_Changed, GEVT_Table_Header_Changed, GEVT_Table_Selected_Again};
  int[] expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27, 28};
  for (uint i = 0; i < codes.length(); ++i)
    expect(codes[i] == expected[i], "GUIEventType");)", nullptr},
      {On::Client, "animate(null, pos2di(0, 0), dim2di(1, 1), 0);", "Invalid animation speed"},
      {On::Client, "animate(null, pos2di(0, 0), dim2di(1, 1), 1);", "Null GuiElement@"},
      {On::Client, "animate(null, recti(), recti(), 1);", "Null GuiElement@"},
      {On::Client, "isAnimating(null);", "Null GuiElement@"},
      {On::Client, "stopAnimation(null);", "Null GuiElement@"},
      {On::Client, "bindGuiCallback(7, \"\");", "Empty string when binding gui callback"},
      {On::Client, "bindGuiCallback(null, \"f\");", "Null GuiElement@ when binding gui callback"},

      // --- GUI element types: the kinds, lists, tables, menus, windows, focus globals ---
      // (No GUI environment here: every factory gives null, so the calls
      // are compiled but not run; the GUI tests run them.)
      {On::Client, R"(
  int id = reserveGuiID();
  expect(reserveGuiID() == id + 1, "consecutive ids");
  expect(!setGuiFocus(null) && getGuiFocus() is null && !isFocused(null), "no GUI, no focus");
  GuiButton@ b = GuiButton(recti(0, 0, 10, 10), "b", null);
  expect(b is null, "no GUI, no button");
  if (b !is null) {
    )" GUI_KIND_CASTS("GuiButton", "b") R"(
    bool p = b.isPressed();
    b.setPressed(!p);
    b.setText("t");
    b.setImage("m");
    b.setImage(getMaterialTexture("m"));
    b.setPressedImage("m");
    b.setPressedImage(getMaterialTexture("m"));
    b.setImages("m", "n");
    b.setToggleButton(true);
    b.setSprites("bank", 0, 1, 2);
    b.setAppearance(true, BA_Background);
    b.setAppearance(BA_UseAlpha, BA_ScaleImage);
    )" GUI_SHARED_CALLS("b") R"(
  }
  GuiCheckBox@ c = GuiCheckBox(false, recti(0, 0, 10, 10), "c", null);
  if (c !is null) {
    )" GUI_KIND_CASTS("GuiCheckBox", "c") R"(
    c.setChecked(!c.isChecked());
    )" GUI_SHARED_CALLS("c") R"(
  }
  GuiEditBox@ e = GuiEditBox(recti(0, 0, 10, 10), "e", true, null);
  if (e !is null) {
    )" GUI_KIND_CASTS("GuiEditBox", "e") R"(
    e.setText("t");
    string@ text = e.getText();
    e.setColor(Color(255, 0, 0, 0));
    e.clearColor();
    e.setMultiLine(true);
    e.setMarkPos(0, 1);
    )" GUI_SHARED_CALLS("e") R"(
  }
  GuiSpinBox@ s = GuiSpinBox(recti(0, 0, 10, 10), "1", null);
  if (s !is null) {
    )" GUI_KIND_CASTS("GuiSpinBox", "s") R"(
    s.setText("2");
    string@ text = s.getText();
    )" GUI_SHARED_CALLS("s") R"(
  }
  GuiStaticText@ st = GuiStaticText(recti(0, 0, 10, 10), "s", true, false, false, null);
  if (st !is null) {
    )" GUI_KIND_CASTS("GuiStaticText", "st") R"(
    st.setText("t");
    string@ text = st.getText();
    st.setColor(Color(255, 0, 0, 0));
    st.clearColor();
    st.setFont("f");
    st.setTextAlignment(EA_Left, EA_Center);
    )" GUI_SHARED_CALLS("st") R"(
  })", nullptr},
      {On::Client, R"(
  string name = "m";
  GuiImage@ i = GuiImage(pos2di(0, 0), "m", null);
  expect(i is null, "no GUI, no image");
  if (i is null)
    @i = GuiImage(pos2di(0, 0), getMaterialTexture("m"), null);
  if (i !is null) {
    )" GUI_KIND_CASTS("GuiImage", "i") R"(
    i.setImage(name);
    i.setImage(getMaterialTexture("m"));
    i.setScaleImage(true);
    i.setClickThrough(true);
    i.setColor(Color(255, 0, 0, 0));
    )" GUI_SHARED_CALLS("i") R"(
  }
  GuiScrollBar@ sb = GuiScrollBar(recti(0, 0, 10, 10), true, null);
  if (sb !is null) {
    )" GUI_KIND_CASTS("GuiScrollBar", "sb") R"(
    sb.setPos(sb.getPos());
    sb.setMax(sb.getMax());
    sb.setMin(sb.getMin());
    sb.setSmallStep(sb.getSmallStep());
    sb.setLargeStep(sb.getLargeStep());
    sb.setPageSize(4);
    )" GUI_SHARED_CALLS("sb") R"(
  }
  GuiExtText@ x = GuiExtText(recti(0, 0, 10, 10), null);
  if (x !is null) {
    )" GUI_KIND_CASTS("GuiExtText", "x") R"(
    x.setText("#c:red#t");
    x.setAlpha(0.5f);
    x.setShadow(Color(255, 0, 0, 0));
    x.setTextColor(Color(255, 1, 1, 1));
    Color now(0, 0, 0, 0);
    x.getTextColor(now);
    )" GUI_SHARED_CALLS("x") R"(
  }
  GuiPanel@ p = GuiPanel(recti(0, 0, 10, 10), false, SBM_Auto, SBM_Invisible, null);
  if (p !is null) {
    )" GUI_KIND_CASTS("GuiPanel", "p") R"(
    p.fitChildren();
    p.resetScrollPosition();
    pos2di scroll = p.getScrollPos();
    dim2di bounds = p.getScrollBounds();
    p.setScrollPos(scroll);
    )" GUI_SHARED_CALLS("p") R"(
  }
  GuiDraggable@ d = GuiDraggable(recti(0, 0, 10, 10), true, null);
  if (d is null)
    @d = GuiDraggable(recti(0, 0, 10, 10), false, true, null);
  if (d !is null) {
    )" GUI_KIND_CASTS("GuiDraggable", "d") R"(
    )" GUI_SHARED_CALLS("d") R"(
  }
  GuiMiniView@ mv = GuiMiniView(recti(0, 0, 10, 10), null);
  if (mv !is null) {
    )" GUI_KIND_CASTS("GuiMiniView", "mv") R"(
    mv.display_planets = mv.display_units && mv.display_smallunits;
    mv.display_oddities = mv.display_names || mv.display_orbits;
    mv.mode = MVM_Side;
    mv.setSystem(fixtureSystem());
    System@ shown = mv.getSystem();
    mv.update();
    )" GUI_SHARED_CALLS("mv") R"(
  }
  GuiBar@ bar = GuiBar(recti(0, 0, 10, 10), null);
  if (bar !is null) {
    )" GUI_KIND_CASTS("GuiBar", "bar") R"(
    bar.set(Color(255, 0, 0, 0), Color(255, 1, 1, 1), true, 0.5f);
    bar.setColor(Color(255, 0, 0, 0));
    bar.setColors(Color(255, 0, 0, 0), Color(255, 1, 1, 1));
    bar.setPct(0.25f);
    bar.setHoriz(false);
    )" GUI_SHARED_CALLS("bar") R"(
  }
  GuiZoomRegion@ z = GuiZoomRegion(recti(0, 0, 10, 10), 0.5f, 4.0f, null);
  if (z !is null) {
    )" GUI_KIND_CASTS("GuiZoomRegion", "z") R"(
    z.setZoom(z.getZoom() * 2, pos2di(5, 5));
    )" GUI_SHARED_CALLS("z") R"(
  }
  GuiWindow@ w = GuiWindow(recti(0, 0, 10, 10), "w", WM_Close | WM_Minimize | WM_Resize, null);
  if (w !is null) {
    )" GUI_KIND_CASTS("GuiWindow", "w") R"(
    w.setResizable(true);
    w.setWindowsDragMode(false);
    w.setText("t");
    )" GUI_SHARED_CALLS("w") R"(
  })", nullptr},
      {On::Client, R"(
  GuiContextMenu@ m = GuiContextMenu(recti(0, 0, 10, 10), null);
  expect(m is null, "no GUI, no menu");
  if (m !is null) {
    )" GUI_KIND_CASTS("GuiContextMenu", "m") R"(
    uint item = m.addItem("a", 1, true, true, false);
    GuiContextMenu@ sub = m.getSubMenu(item);
    int selected = m.getSelected();
    m.removeItem(0);
    )" GUI_SHARED_CALLS("m") R"(
  }
  GuiListBox@ l = GuiListBox(recti(0, 0, 10, 10), true, null);
  if (l !is null) {
    )" GUI_KIND_CASTS("GuiListBox", "l") R"(
    l.addItem("a");
    l.addItem("b", 2);
    l.setItemID(0, l.getItemID(1));
    l.setItem(0, l.getItem(1));
    l.setSelected(l.getSelected() + int(l.getItemCount()) + l.getHovered());
    l.setItemOverrideColor(0, Color(255, 0, 0, 0));
    l.clearItemOverrideColor(0);
    l.removeItem(0);
    l.clear();
    )" GUI_SHARED_CALLS("l") R"(
  }
  GuiComboBox@ cb = GuiComboBox(recti(0, 0, 10, 10), null);
  if (cb !is null) {
    )" GUI_KIND_CASTS("GuiComboBox", "cb") R"(
    int index = cb.addItem("a");
    cb.setSelected(cb.getSelected() + cb.getItemCount());
    string@ text = cb.getItem(index);
    cb.removeItem(index);
    cb.clear();
    )" GUI_SHARED_CALLS("cb") R"(
  }
  GuiTable@ t = GuiTable(recti(0, 0, 10, 10), true, null);
  if (t !is null) {
    )" GUI_KIND_CASTS("GuiTable", "t") R"(
    t.addColumn("a");
    t.addColumn("b", 0);
    t.addRow();
    t.addRow(0);
    t.setCellColor(0, 0, Color(255, 0, 0, 0));
    t.setCellText(0, 0, "x");
    string@ text = t.getCellText(0, 0);
    t.setSelectedRow(t.getSelectedRow() + t.getRowCount() + t.getColCount());
    t.setColWidth(0, 10);
    bool shown = t.isRowVisible(0);
    t.clearRows();
    t.clear();
    )" GUI_SHARED_CALLS("t") R"(
  })", nullptr},

      // --- Object ---
      {On::Both, R"(
  Object@ o = fixtureShip();
  expect(o.isValid(), "valid");
  o.position = vector(1, 2, 3);
  o.velocity = o.rotation;
  expect(o.position.y == 2 && o.radius >= 0 && o.uid != 0, "fields");
  vector at = o.getPosition();
  string@ name = o.getName();
  expect(name !is null, "name");
  expect(o.getOwner() is empireA(), "owner");)", nullptr},
      {On::Server, R"(
  Object@ o = fixtureOddity();
  o.setOwner(empireB());
  expect(o.getOwner() is empireB(), "new owner");
  o.setOwner(null);)", nullptr},
      {On::Server, R"(
  Object@ ship = fixtureShip();
  Object@ planet = fixturePlanet();
  int before = refsOf(ship);
  planet.damage(ship, 0.25f);
  planet.damage(ship, 0.25f, 0);
  expect(refsOf(ship) == before, "the source's reference is given back");)", nullptr},
      {On::Server, "fixturePlanet().damage(null, 1);", "Null Object@ when damaging an object"},
      {On::Server, "fixturePlanet().damage(null, 1, 0);", "Null Object@ when damaging an object"},

      // --- State and the object's states ---
      {On::Server, R"(
  Object@ o = fixtureShip();
  uint before = o.getStateCount();
  State@ s = o.getState("Coverage");
  expect(o.getStateCount() == before + 1 && o.getState("Coverage") is s, "added once");
  s.val = 10;
  s.max = 12;
  s.required = 1;
  s.inCargo = 0;
  expect(s.getAvailable() == 9 && s.getFreeSpace() == 2 && s.getTotalFreeSpace(o) == 2, "amounts");
  expect(s.add(1, o) == 1 && s.val == 11, "add");
  expect(s.consume(3, o) == 3 && s.val == 8, "consume");
  const Object@ co = o;
  const State@ found = co.getState("Coverage");
  expect(found is s && co.getState("Missing") is null && o.hasState("Coverage") && !o.hasState("Missing"), "found");
  float val = -1, max = -1, required = -1, inCargo = -1;
  expect(o.getStateVals("Coverage", val, max, required, inCargo) && val == 8 && max == 12 && required == 1 &&
         inCargo == 0, "values");
  bool seen = false;
  for (uint i = 0; i < o.getStateCount(); ++i) {
    State@ at = o.getStateN(i);
    const State@ constAt = co.getStateN(i);
    if (o.getStateName(i) == "Coverage")
      seen = at is s && constAt is s;
  }
  expect(seen, "by index");)", nullptr},
      {On::Server, "fixtureShip().getState(\"Coverage\").add(1, null);", "Null Object@ when adding a resource"},
      {On::Server, "fixtureShip().getState(\"Coverage\").consume(1, null);", "Null Object@ when consuming a resource"},
      {On::Both, R"(
  Object@ o = fixtureShip();
  const Object@ co = o;
  const State@ s = co.getState("Damage");
  uint count = o.getStateCount();
  float val = -1, max = -1, required = -1, inCargo = -1;
  bool has = o.hasState("Damage");
  expect(o.getStateVals("Damage", val, max, required, inCargo) == has && (s !is null) == has, "own states");
  if (count > 0) {
    const State@ first = co.getStateN(0);
    expect(first !is null && o.getStateName(0) !is null && first.getAvailable() == first.val + first.inCargo -
           first.required && first.getFreeSpace() == first.max - first.val && first.getTotalFreeSpace(o) >= 0 -
           first.max - first.val, "first");
  })", nullptr},
      {On::Both, "Object@ none; fixtureShip().getStateN(0).getTotalFreeSpace(none);", "Null pointer access"},
      {On::Both, "fixtureShip().getStateN(fixtureShip().getStateCount());", "Accessed storage out-of-bounds"},
      {On::Both, "fixtureShip().getStateName(fixtureShip().getStateCount());", "Accessed storage out-of-bounds"},

      // --- Object: identity, place, statistics, holds ---
      {On::Both, R"(
  Object@ o = fixtureShip();
  expect(o.getMass() > 0, "mass");
  const Object@ co = o;
  const Object@ constParent = co.getParent();
  Object@ parent = o.getParent();
  expect(parent is fixtureSystem() && constParent is parent, "parent");
  o.playSound("boom");
  string@ name = o.getName();
  o.setName("Renamed");
  expect(o.getName() == "Renamed", "renamed");
  if (name != "")
    o.setName(name);
  float used = -1, capacity = -1, bayUsed = -1, bay = -1;
  o.getCargoVals(used, capacity);
  o.getShipBayVals(bayUsed, bay);
  expect(used == 0 && capacity >= 0 && bayUsed == 0 && bay >= 0, "holds");
  bool attacked = o.isUnderAttack();
  Object@ sys = fixtureSystem();
  sys.setStat(empireA(), "Coverage", 2);
  sys.setStat(null, "Coverage", 3);
  expect(sys.getStat(empireA(), "Coverage") == 2 && sys.getStat(null, "Coverage") == 3, "stats");
  expect(o.getStat(empireA(), "Coverage") == 0, "no statistics table");)", nullptr},
      {On::Both, "fixtureShip().setName(\"\");", "Empty strings are not valid object names"},
      // A null name never reaches the statistics natives: the engine stops
      // it first (their "Null string@ when specifying stat" serves C++
      // callers).
      {On::Both, "string@ none; fixtureSystem().setStat(empireA(), none, 1);", "Null pointer access"},
      {On::Both, "string@ none; fixtureSystem().getStat(empireA(), none);", "Null pointer access"},
      {On::Server, R"(
  Object@ o = fixtureOddity();
  o.setGlobalVisibility(true);
  expect(o.getGlobalVisibility(), "visible to all");
  o.setGlobalVisibility(false);
  expect(!o.getGlobalVisibility(), "not any more");
  o.setUnderAttack();  // (the clock's own test: object_members_script_test.cpp)
  o.reparent();
  o.repair(1);
  fixturePlanet().repair(0);
  fixtureShip().repair(0);)", nullptr},
      {On::Client, R"(
  Object@ o = fixtureShip();
  expect(o.makeLink() == "#link:o" + o.uid + "#", "link");)", nullptr},

      // --- build queue ---
      {On::Both, R"(
  Object@ o = fixtureShip();
  const HullLayout@ layout = fixtureLayout();
  o.makeShip(layout);
  o.makeShip(layout, 2);
  expect(o.getConstructionQueueSize() == 3, "three ships");
  expect(o.getConstructionName() == "Scout" && o.getConstructionName(2) == "Scout", "named after the layout");
  expect(o.getConstructionType() !is null && o.getConstructionType(2) !is null, "typed");
  expect(o.getConstructionName(3) is null && o.getConstructionType(3) is null, "past the end");
  expect(o.getConstructionProgress() == 0 && o.getConstructionProgress(2) == 0 && o.getConstructionProgress(3) == 0,
         "progress");
  float paid = -1, total = -1;
  o.getConstructionCost(0, "Nothing", paid, total);
  expect(paid == 0 && total == 0, "unknown cost");
  o.moveConstruction(0, 99);
  o.removeConstruction(0);
  expect(o.getConstructionQueueSize() == 2, "removed");
  o.setRepeatQueue(true);
  expect(o.getRepeatQueue(), "repeating");
  o.setRepeatQueue(false);
  o.undockAll();
  o.clearBuildQueue();)", nullptr,
       "75 SHIPUID 04 05 53 00 63 00 6f 00 75 00 74 00 00 01 | 75 SHIPUID 04 05 53 00 63 00 6f 00 75 00 74 "
       "00 00 02 | 76 SHIPREF 02 00 00 00 00 00 00 00 63 | 76 SHIPREF 03 00 00 00 00 | 76 SHIPREF 05 80 | "
       "76 SHIPREF 05 00 | 75 SHIPUID 05",
       "75 SHIPUID 04 05 53 00 63 00 6f 00 75 00 74 00 | 75 SHIPUID 04 05 53 00 63 00 6f 00 75 00 74 00 | "
       "75 SHIPUID 04 05 53 00 63 00 6f 00 75 00 74 00 | 76 SHIPREF 02 00 00 00 00 00 00 00 63 | 76 SHIPREF "
       "03 00 00 00 00 | 76 SHIPREF 05 80 | 76 SHIPREF 05 00 | 75 SHIPUID 05"},

      // --- movement (the fixture ship has no mover) ---
      {On::Both, R"(
  Object@ o = fixtureShip();
  o.setDestination(vector(1, 2, 3));
  vector to = o.getDestination();
  expect(to.x == 0 && to.y == 0 && to.z == 0, "no mover, no destination");
  expect(o.get_thrust() == 0 && !o.isParked() && o.inOrbitAround() is null, "at rest");
  o.orbitAround(fixtureStar());
  o.setParked(true);
  expect(!o.isParked() && o.inOrbitAround() is null, "nothing to park");)", nullptr, "8b 03 SHIPREF 80"},
      {On::Server, R"(
  Object@ o = fixtureShip();
  o.set_thrust(2);
  expect(o.get_thrust() == 0, "no mobile mover");)", nullptr},

      // --- AIStance ---
      {On::Both, R"(
  Object@ o = fixtureShip();
  AIStance before = o.getStance();
  expect(AIS_Engage == 0 && AIS_HoldPosition == 1 && AIS_HoldFire == 2 && AIS_Defend == 3, "values");
  o.setStance(AIS_HoldFire);
  o.setStance(before);
  expect(o.getStance() == before, "back");)", nullptr, "8b 02 SHIPREF 02 | 8b 02 SHIPREF 00"},

      // --- casts ---
      {On::Both, R"(
  Object@ o = fixtureShip();
  const Object@ co = o;
  int before = refsOf(o);
  {
    HulledObj@ h = o.toHulledObj();
    const HulledObj@ ch = co.toHulledObj();
    HulledObj@ implicit = o;
    const HulledObj@ constImplicit = co;
    expect(h is implicit && ch is constImplicit, "the same ship");
    @o = null;
    expect(refsOf(h) == before + 3, "each cast holds its own reference");
    Object@ back = h.toObject();
    const Object@ constBack = ch.toObject();
    Object@ backImplicit = h;
    const Object@ constBackImplicit = ch;
    @o = back;
  }
  expect(refsOf(o) == before, "back at the start");
  Planet@ p = o;
  expect(p is null && refsOf(o) == before, "a ship is no planet");
  Object@ none = null;
  HulledObj@ noShip = none;
  expect(noShip is null, "null casts to null");)", nullptr},
      {On::Both, R"(
  Object@ o = fixturePlanet();
  const Object@ co = o;
  Planet@ p = o.toPlanet();
  const Planet@ cp = co.toPlanet();
  Planet@ implicit = o;
  const Planet@ constImplicit = co;
  Object@ back = p.toObject();
  const Object@ constBack = cp.toObject();
  Object@ backImplicit = p;
  const Object@ constBackImplicit = cp;
  expect(back is o && implicit is p && constImplicit is cp, "planet");
  expect(o.toStar() is null && o.toHulledObj() is null, "a planet is nothing else");)", nullptr},
      {On::Both, R"(
  Object@ o = fixtureStar();
  const Object@ co = o;
  Star@ s = o.toStar();
  const Star@ cs = co.toStar();
  Star@ implicit = o;
  const Star@ constImplicit = co;
  Object@ back = s.toObject();
  const Object@ constBack = cs.toObject();
  Object@ backImplicit = s;
  const Object@ constBackImplicit = cs;
  expect(back is o && implicit is s && o.toOddity() is null, "star");)", nullptr},
      {On::Both, R"(
  Object@ o = fixtureOddity();
  const Object@ co = o;
  Oddity@ d = o.toOddity();
  const Oddity@ cd = co.toOddity();
  Oddity@ implicit = o;
  const Oddity@ constImplicit = co;
  Object@ back = d.toObject();
  const Object@ constBack = cd.toObject();
  Object@ backImplicit = d;
  const Object@ constBackImplicit = cd;
  expect(back is o && implicit is d, "oddity");
  OddityType kind = d.getOddityType();
  expect(kind == ODT_Comet && ODT_Asteroid != ODT_Comet, "kind");)", nullptr},
      {On::Both, R"(
  Object@ o = fixtureSystem();
  const Object@ co = o;
  System@ s = o.toSystem();
  const System@ cs = co.toSystem();
  System@ implicit = o;
  const System@ constImplicit = co;
  Object@ back = s.toObject();
  const Object@ constBack = cs.toObject();
  Object@ backImplicit = s;
  const Object@ constBackImplicit = cs;
  Galaxy@ notGalaxy = o;
  expect(back is o && implicit is s && notGalaxy is null, "an ordinary system is no galaxy");)", nullptr},
      {On::Both, R"(
  Galaxy@ g = getGalaxy();
  Object@ o = g;
  const Object@ co = o;
  Galaxy@ again = o.toGalaxy();
  const Galaxy@ constAgain = co.toGalaxy();
  Galaxy@ implicit = o;
  const Galaxy@ constImplicit = co;
  System@ asSystem = o;
  Object@ back = g.toObject();
  const Object@ constBack = constAgain.toObject();
  Object@ backImplicit = g;
  const Object@ constBackImplicit = constAgain;
  expect(again is g && implicit is g && asSystem !is null && back is o, "the galaxy is a system too");)", nullptr},

      // --- Planet ---
      {On::Both, R"(
  Planet@ p = fixturePlanet();
  expect(p.getPopulation() > 0 && p.getMaxPopulation() >= 0, "population");)", nullptr},
      {On::Server, R"(
  Planet@ p = fixturePlanet();
  float was = p.getPopulation();
  p.modPopulation(1);
  p.modMaxPopulation(1);
  expect(p.getPopulation() <= p.getMaxPopulation(), "within the limit");)", nullptr},
      // Planets: structures, conditions, governor; PlanetCondition; PlanetStructureList. The server
      // case leaves the fixture planet one structure for the cases after it.
      {On::Server, R"(
  Planet@ p = fixturePlanet();
  const subSystemDef@ plate = getSubSystemDefByName("Plate");
  p.setStructureSpace(2.5);
  expect(p.getMaxStructureCount() == 2, "whole slots");
  p.addStructure(plate);
  p.addStructure(plate);
  expect(p.getStructureCount() == 2 && p.getStructureCount(plate) == 2, "two plates");
  p.removeAllStructures();
  expect(p.getStructureCount() == 0, "none left");
  p.addStructure(plate);
  p.addExtension("NoSuchRing");
  p.addExtension("NoSuchRing", 1, 2, 3);
  expect(p.getMaxStructureCount() == 2, "an unknown extension adds no room");
  p.Conquer(null);
  expect(fixturePlanet().getOwner() is empireA(), "an empire's planet is not taken");
  p.addCondition("Dry");
  p.addCondition("Dry");
  p.addCondition("NoSuchCondition");
  expect(p.getConditionCount() == 2, "listed twice");
  p.removeCondition("Dry");
  p.removeCondition("NoSuchCondition");
  expect(p.getConditionCount() == 1 && p.getCondition(0).get_id() == "Dry", "one removed");
  p.removeCondition("Dry");
  p.setUseGovernor(false);
  p.setGovernorType("default");
  Planet_Desc desc;
  desc.setPlanetType(getPlanetTypeID("Rock"));
  System@ sys = fixtureSystem();
  Planet@ wild = sys.makePlanet(desc);
  Object@ wildObject = wild;
  wild.Conquer(empireB());
  expect(wildObject.getOwner() is empireB(), "taken");
  wild.eradicate();)", nullptr},
      {On::Both, R"(
  Object@ o = fixturePlanet();
  Planet@ p = o;
  const subSystemDef@ plate = getSubSystemDefByName("Plate");
  uint queued = o.getConstructionQueueSize();
  p.buildStructure(plate);
  p.buildStructure(plate, 2);
  expect(o.getConstructionQueueSize() > queued, "queued");
  p.rebuildStructure(0);
  p.removeStructure(0);
  expect(p.getStructureCount(plate) <= p.getStructureCount(), "by definition");
  expect(p.getMaxStructureCount() >= 0, "slots");)", nullptr,
       "75 PLANETUID 01 PLATEID 00 01 | 75 PLANETUID 01 PLATEID 00 02 | 75 PLANETUID 02 00 00 00 00 | "
       "75 PLANETUID 03 00 00 00 00",
       "75 PLANETUID 01 PLATEID | 75 PLANETUID 01 PLATEID | 75 PLANETUID 01 PLATEID | "
       "75 PLANETUID 02 00 00 00 00 | 75 PLANETUID 03 00 00 00 00"},
      {On::Both, R"(
  Planet@ p = fixturePlanet();
  p.setUseGovernor(true);
  expect(p.usesGovernor(), "on");
  p.setGovernorType("mines");
  expect(p.getGovernorType() == "mines", "named");
  p.setUseGovernor(false);
  p.setGovernorType("default");
  expect(p.getPhysicalType() == "" && p.getOrbitRadius() == 0, "no type, no mover");
  expect(p.getConditionCount() == 0 && p.getCondition(0) is null, "no conditions");
  expect(getPlanetConditionCount() == 1 && getPlanetCondition(1) is null, "one in the registry");
  const PlanetCondition@ dry = getPlanetCondition(0);
  expect(dry.get_id() == "Dry" && dry.get_desc() == "Parched", "the condition");)", nullptr,
       "76 PLANETREF 01 80 | 76 PLANETREF 04 05 6d 00 69 00 6e 00 65 00 73 00 | 76 PLANETREF 01 00 | "
       "76 PLANETREF 04 07 64 00 65 00 66 00 61 00 75 00 6c 00 74 00"},
      {On::Both, R"(
  Planet@ p = fixturePlanet();
  PlanetStructureList list;
  list.prepare(p);
  list.prepare(p);
  uint count = list.getCount();
  expect(list.getCount(getSubSystemDefByName("Plate")) <= count, "by definition");
  if (count > 0) {
    const subSystem@ first = list.getStructure(0);
    const SysRef@ state = list.getStructureState(0);
    expect(first !is null && state !is null, "the first structure");
  }
  list.prepare(null);)", nullptr},
      {On::Both, "Planet@ p = fixturePlanet(); p.buildStructure(null);", "Null subSystemDef@ when adding structure build order"},
      {On::Both, "Planet@ p = fixturePlanet(); p.buildStructure(null, 2);", "Null subSystemDef@ when adding structure build order"},
      {On::Server, "Planet@ p = fixturePlanet(); p.addStructure(null);", "Null subSystemDef@ when adding structure"},
      {On::Server, "Planet@ p = fixturePlanet(); p.rebuildStructure(99);", "Accessed structure out-of-range"},
      {On::Server, "Planet@ p = fixturePlanet(); p.removeStructure(99);", "Out of bounds index when removing structure"},
      {On::Both, "PlanetStructureList list; list.getCount();", "PlanetStructureList needs prepared before being used"},
      {On::Both, "PlanetStructureList list; list.prepare(fixturePlanet()); list.getStructureState(list.getCount());",
       "Invalid index when accessing planet structure list"},

      // --- galaxy and lookups ---
      {On::Both, R"(
  Galaxy@ g = getGalaxy();
  expect(g.getSystemCount() == 1 && getSystemCount() == 1, "one system");
  expect(g.getSystem(0) is getSystem(0) && getSystem(0) is fixtureSystem(), "the fixture system");
  expect(objectExists(fixtureShip().uid) && !objectExists(0), "exists");)", nullptr},
      {On::Both, "getGalaxy().getSystem(1);", "Out-of-bounds index when getting galaxy child"},
      {On::Both, "getSystem(1);", "Out-of-bounds index when getting galaxy child"},
      {On::Server, R"(
  Object@ ship = fixtureShip();
  expect(getObjectByID(ship.uid) is ship && getObjectByID(0) is null, "by uid");)", nullptr},
      // (The client sees only what the active empire sees: its own test is
      // in object_members_script_test.cpp.)
      {On::Client, R"(
  Object@ ship = fixtureShip();
  Object@ found = getObjectByID(ship.uid);
  expect((found is null || found is ship) && getObjectByID(0) is null, "by uid");)", nullptr},
      {On::Both, R"(
  Object@ ship = fixtureShip();
  const Object@ constShip = ship;
  System@ sys = ship.getCurrentSystem();
  const System@ constSys = constShip.getCurrentSystem();
  Object@ asObject = sys;
  expect(asObject is fixtureSystem() && constSys is sys, "the ship's system");
  Object@ system = fixtureSystem();
  Object@ itself = system.getCurrentSystem();
  expect(itself is system, "a system is its own");
  Object@ g = getGalaxy();
  expect(g.getCurrentSystem() is null, "the galaxy is in none");)", nullptr},

      // --- system lists ---
      {On::Both, R"(
  System@ sys = fixtureSystem();
  SysObjList list;
  list.prepare(sys);
  list.prepare(sys);
  expect(list.childCount == 0 || list.getChild(0) is fixtureStar(), "the star first");
  SystemStats stats;
  stats.prepare(null);
  stats.prepare(sys);
  if (stats.visible)
    expect(stats.getStat(empireA(), "Never") == 0 && stats.getStat(null, "Never") == 0, "not recorded");
  GalaxySystemList all;
  all.prepare(getGalaxy());
  expect(all.childCount == 1 && all.getChild(0) is sys, "the galaxy's one system");)", nullptr},
      {On::Server, R"(
  System@ sys = fixtureSystem();
  SysObjList list;
  list.prepare(sys);
  expect(list.childCount >= 4 && list.getChild(0) is fixtureStar(), "every child");
  SystemStats stats;
  Object@ g = getGalaxy();
  stats.prepare(g);
  expect(!stats.visible && stats.getStat(empireA(), "Never") == 0, "the server reads unexplored systems");)",
       nullptr},
      {On::Both, "SysObjList list; list.getChild(0);", "SysObjList needs prepared before being used"},
      {On::Both, "SysObjList list; list.prepare(fixtureSystem()); list.getChild(list.childCount);",
       "Out-of-bounds index when getting system child"},
      {On::Both, "SystemStats stats; stats.getStat(empireA(), \"prs\");",
       "SysPresenceList needs prepared before being used"},
      {On::Client, "Object@ g = getGalaxy(); SystemStats stats; stats.prepare(g); stats.getStat(empireA(), \"prs\");",
       "Cannot access stats for unexplored system"},
      // The engine stops a null name first; statOfNullName calls the
      // native with one.
      {On::Both, "string@ none; SystemStats stats; stats.prepare(fixtureSystem()); stats.getStat(null, none);",
       "Null pointer access"},
      {On::Both, "statOfNullName(fixtureSystem());", "Null string@ when specifying stat"},
      {On::Both, "GalaxySystemList all; all.getChild(all.childCount);",
       "Out-of-bounds index when getting galaxy child"},

      // --- system search ---
      {On::Server, R"(
  SysSearchSettings s;
  s.addEmpire(empireA());
  s.addEmpire(empireB(), 3);
  s.addEmpire(null);
  uint number = 9;
  expect(s.empireCount == 2 && s.getEmpire(0) is empireA(), "empires");
  expect(s.getEmpire(1, number) is empireB() && number == 3, "with their numbers");
  expect(s.getEmpire(2) is null && s.getEmpire(2, number) is null && number == 0, "past the end");
  s[3] = 2;
  expect(s[0] == 0 && s[3] == 2, "weights");
  s.setSearchPos(vector(0, 0, 0));
  s.resetSearchPos();
  s.setAvoidSystem(null);
  SysSearchSettings copy;
  copy = s;
  expect(copy.empireCount == 2 && copy[3] == 2 && !copy.searchFinished && copy.getBestSystem() is null, "copied");
  s.clearValues();
  s.clearEmpires();
  expect(s.empireCount == 0 && s[3] == 0, "cleared");
  s.setCallback("coverageScore");
  s.findBestSystem();
  while (!s.searchFinished) {}
  expect(s.getBestSystem() is fixtureSystem(), "the one system");
  if (s.empireCount > 100) {
    SysStats@ none;
    coverageScore(s, none);
  }
}
float coverageScore(SysSearchSettings& s, const SysStats& stats) {
  return 1 + stats.getStat(empireA(), "prs") * 0 + stats.getStat(null, "prs");)", nullptr},
      {On::Server, "SysSearchSettings s; s[4];", "Out-of-bounds when accessing SysSearchSettings value set"},

      // --- Empire ---
      {On::Both, R"(
  Empire@ a = empireA();
  expect(a.getName() == "Red" && a.isValid() == empireA().isValid() && !a.isReserved(), "A");
  expect(!a.isAI() || a.isAI(), "an AI or not");
  expect(a.ID == 1 && a.color.A >= 0, "fields");
  expect(getEmpireCount() >= 2 && getEmpire(0) is a, "list");
  expect(getEmpireByID(1) is a && getActiveEmpire() is a, "lookups");
  a.setSetting("coverage", 2);
  expect(a.getSetting("coverage") == 2, "setting");
  HullLayout@ none = null;)", nullptr,
       // 130: a network client tells its server the setting (2.0).
       "82 08 63 00 6f 00 76 00 65 00 72 00 61 00 67 00 65 00 40 00 00 00"},
      {On::Both, R"(empireB().regScriptData("no_module", "NoClass");)", nullptr},
      {On::Both, "getEmpire(1000);", "Out of bounds when getting empire by index"},
      // Empire in scripts: identity, relations, stats, layouts, traits and
      // messages.
      {On::Both, R"(
  Empire@ a = empireA();
  Empire@ b = empireB();
  expect(a.isAllied(a) && !a.isEnemy(a) && !a.isAllied(b) && !a.isEnemy(null), "relations");
  expect(a.getRaceName() !is null && a.getRaceDescription() !is null && a.getRaceHistory() !is null, "race");
  expect(a.getPlayerName() !is null, "player name");
  const Empire@ constA = a;
  const Emperor@ ruler = constA.getRuler();
  expect(ruler.getName() !is null, "ruler");
  empSysData@ noLevel = null;
  if (noLevel !is null)
    expect(noLevel.type !is null && noLevel.level >= 0, "a level");
  expect(a.getStat("none") == 0 && !a.hasTrait("none") && !a.hasTraitTag("none"), "stat, traits");
  expect(a.getBuildListCount() == 0 && a.getBuildList(0) == "" && a.getBuildList(-1) == "", "build lists");
  expect(a.subSysUnlocked(null) == false, "null definition");
  expect(a.getShipLayoutCnt() == 1 && a.getShipLayout(0) is fixtureLayout(), "layouts");
  expect(a.getShipLayout("Scout") is fixtureLayout() && a.getShipLayout("none") is null, "layout by name");
  a.updateHull("none", 1.0f);
  a.updateHull(fixtureLayout(), fixtureLayout());
  a.toggleObsolete("Scout");
  a.toggleObsolete("Scout");
  expect(!a.hasForeignHull(fixtureLayout()), "own layout");
  expect(a.getLastMessage() is null || a.getMsgDelay() >= 0, "messages");
  a.lastMessage = a.lastMessage;
  System@ system = fixtureSystem();
  SysPresence presence;
  a.getSystemPresence(system, presence);
  expect(presence.us >= 0 && presence.allies == 0 && presence.neutrals >= 0 && presence.enemies >= 0, "presence");
  expect(presence.usStr >= 0 && presence.alliesStr == 0 && presence.neutralsStr >= 0 && presence.enemiesStr >= 0,
         "strength");
  EmpireMessages messages;
  messages.prepare(a);
  if (messages.getCount() > 0) {
    string@ text = messages.getMsg();
    string@ category = messages.getCategory();
    int time = messages.getTime() + messages.getPriority();
  }
  expect(!messages.nextMsg() || messages.getCount() > 1, "message walk");
  messages.prepare(null);
  EmpireTreaties treaties;
  treaties.prepare(a);
  if (treaties.getCount() > 0)
    expect(treaties.getTreaty(0) !is null, "treaty");
  treaties.prepare(null);
  EmpireTraits traits;
  traits.prepare(a);
  expect(traits.getCount() == 0 && !traits.next(), "no traits");
  if (traits.getCount() > 0) {
    Trait@ trait = traits.getTrait();
    expect(trait.id != "" && trait.getName() !is null, "trait");
    expect(trait.getDescription() !is null && trait.getFlavor() !is null, "trait texts");
  })", nullptr},
      {On::Client, R"(
  Empire@ a = getActiveEmpire();
  uint count = a.getSubSysDataCnt();
  expect(a.getSubSysData(count) is null, "past the end");
  if (count > 0) {
    const empSysData@ level = a.getSubSysData(0);
    expect(level.type !is null && level.level >= 0, "level");
  })", nullptr},
      {On::Server, R"(
  Empire@ a = empireA();
  Empire@ b = empireB();
  a.postMessage("coverage");
  a.postMessage("coverage", "custom", 2);
  expect(a.getLastMessage() == "coverage" && a.getMsgDelay() >= 0, "posted");
  a.addVisibility(b);
  expect(a.hasVisibility(b), "sees");
  a.removeVisibility(b);
  expect(!a.hasVisibility(b), "no longer");
  a.setShipSet(a.getShipSet());
  a.addResearch(5);
  a.modResearchRate(0);
  expect(a.getResearchRate() >= 0, "rate");
  Emperor@ ruler = a.getRuler();
  a.addStat("coverage", 4);
  expect(a.consumeStat("coverage", 10) == 4 && a.getStat("coverage") == 0, "stats");
  a.updateSubSystems();
  a.addTrait("none");
  a.removeTrait("none");
  expect(b.getShipLayoutCnt() == 0, "another empire's layouts");
  HullLayout@ copy = b.acquireForeignHull(fixtureLayout());
  expect(copy !is null && b.hasForeignHull(fixtureLayout()), "foreign layout");)", nullptr},
      {On::Client, "empireB().getShipLayoutCnt();", "Attempted to access a non-client empire in client code."},
      {On::Both, "empireA().getShipLayout(1000);", "Accessed out-of-bounds ship layout"},
      {On::Both, "EmpireTraits t; t.getTrait();", "Attempted to access invalid trait list"},
      {On::Both, "EmpireTraits t; t.prepare(empireA()); t.getTrait();",
       "Attempted to access invalid trait in trait list"},
      {On::Both, "SysPresence p; empireA().getSystemPresence(null, p);",
       "Null solarSystem@ when getting system presence"},
      {On::Both, "EmpireMessages m; m.getMsg();", "Attempted to access invalid message list"},
      {On::Both, "EmpireMessages m; m.prepare(empireB()); while (m.nextMsg()) {} m.getCategory();",
       "Attempted to access invalid message in message list"},
      {On::Both, "EmpireTreaties t; t.getTreaty(0);", "Attempted to access invalid treaty list"},
      {On::Both, "EmpireTreaties t; t.prepare(empireA()); t.getTreaty(t.getCount());",
       "Attempted to access out-of-bounds treaty in treaty list"},

      // --- diplomacy ---
      {On::Both, R"(
  DiploTopic[] topics = {DT_Accept, DT_Alliance, DT_Appease, DT_Count, DT_Greetings, DT_Peace, DT_Reject,
                         DT_Request, DT_Demand, DT_Trade, DT_Treaty, DT_War};
  DiploMood[] moods = {DM_Neutral, DM_Angry, DM_Happy, DM_Demanding, DM_Begging};
  DiploAttitude[] attitudes = {DA_Neutral, DA_Passive, DA_Aggressive};
  DiploMsg@ message = fixtureMessage();
  expect(message.getTopic() == DT_Peace, "topic");
  message.setResponse(true);
  message.finish();
  empireA().sendMessage(empireB(), DT_War, DM_Neutral, DA_Neutral);
  empireA().sendMessage(empireB(), DT_Greetings, DM_Happy, DA_Passive, "hello");)", nullptr,
       // 132: the playing empire A (1), B (2), the topic (u32); a war
       // declaration's "is an answer" bit (0).
       "84 01 02 00 00 00 06 00 | 84 01 02 00 00 00 00"},

      // --- treaties ---
      {On::Both, R"(
  TreatyFactory empty;
  TreatyFactory factory(empireA(), empireB());
  Treaty@ treaty = factory.treaty;
  expect(treaty !is null && treaty.getFromEmpire() is empireA() && treaty.getToEmpire() is empireB(), "sides");
  Clause@ clause = treaty.addClause("counted", false);
  expect(clause !is null && treaty.clauseCount == 1, "a clause");
  expect(clause.id == "counted" && clause.name == "Counted" && clause.icon !is null, "clause texts");
  expect(!clause.isOffensive() && !clause.isReversed() && clause.optionCount == 2, "clause");
  ClauseOption@ amount = clause.getOption(0);
  amount = 5;
  expect(amount.toInt() == 5 && amount.name == "amount", "integer option");
  ClauseOption@ text = clause.getOption(1);
  text = "words";
  expect(text.toString() == "words", "string option");
  amount = 2.5f;
  expect(amount.toFloat() >= 2, "float option");
  const Clause@ constClause = clause;
  const ClauseOption@ constOption = constClause.getOption(0);
  const Treaty@ constTreaty = treaty;
  expect(constTreaty.getClause(0) is clause && treaty.getClause(0) is clause, "clause by index");
  expect(!treaty.hasTag("pact"), "no tag yet");
  expect(treaty.isProposed(), "a new treaty is in its proposed state");
  expect(!treaty.isActive(), "not active");
  treaty.removeClause(0);
  Clause@ note = treaty.addClause("note", false);
  expect(treaty.hasTag("pact"), "the note's tag");
  treaty.removeClause(note);
  @note = treaty.addClause("note", false);
  ClauseDesc@ noDesc = null;
  factory.clear();
  factory.prepare(empireA(), empireB());
  factory.treaty.addClause("note", false);
  factory.propose();)", nullptr,
       // 133 proposal: A (1) to B (2), one clause "note", not reversed.
       "85 00 01 02 01 02 00 6e 00 6f 00 74 00 65 00"},
      {On::Server, R"(
  ClauseState[] states = {CS_NOCHANGE, CS_ENDED, CS_FAILED};
  expect(empireA().setEnemy(empireB(), true) && empireA().setAllied(empireB(), true), "relations");
  empireA().setAllied(empireB(), false);)", nullptr},
      {On::Both, "TreatyFactory factory; factory.propose();", "No active treaty to propose"},
      {On::Both, R"(
  TreatyFactory factory(empireA(), empireB());
  factory.treaty.addClause("note", false).getOption(0);)", "Out-of-bounds index when getting clause option"},

      // --- clause descriptors ---
      {On::Both, R"(
  expect(getClauseDescCount() == 2, "count");
  const ClauseDesc@ counted = getClauseDesc(0);
  const ClauseDesc@ note = getClauseDesc("note");
  expect(counted.id == "counted" && getClauseDesc(1) is note, "by index, in id order");
  expect(note.name !is null && note.desc !is null && note.summary !is null && note.icon !is null, "texts");
  expect(!note.offensive, "offensive");
  expect(getClauseDesc("none") is null, "unknown id");)", nullptr},
      {On::Both, "getClauseDesc(getClauseDescCount());", "Out-of-bounds index when getting clause descriptor"},

      // --- treaty lists and empire objects ---
      {On::Both, R"(
  TreatyList list;
  list.prepare(empireA());
  DiploMsg@ first = list.getMessage();
  expect(list.advanceMessage() || list.getMessage() is null, "walk");
  list.retract(empireA());
  list.setAcceptance(empireA(), true);
  expect(list.getTreaty(list.getTreatyCount()) is null, "past the count");
  expect(list.getProposedTreaty(empireA()) is null, "itself");
  list.getProposedTreaty(empireB());
  list.prepare(null);
  expect(list.getMessage() is null && !list.advanceMessage() && list.getTreatyCount() == 0, "unprepared");)",
       nullptr},
      {On::Both, R"(
  EmpireObjects objects;
  objects.prepare(empireA());
  uint seen = 0;
  do {
    if (objects.getObject() !is null)
      ++seen;
  } while (objects.nextObject());
  expect(seen == objects.getCount() && objects.getCount() > 0, "one walk");
  expect(objects.getObject() is null && !objects.nextObject(), "the end");
  expect(empireA().getFleetCommander(empireA().getFleetsCount()) is null, "past the fleets");
  expect(empireA().getFleetCommander("none") is null, "no such fleet");)", nullptr},
      {On::Both, "EmpireObjects objects; objects.getObject();", "Attempted to access invalid object list"},

      // --- research ---
      {On::Both, R"(
  ResearchWeb web;
  web.prepare(empireA());
  web.setActiveTech("none");
  web.setActiveTech("none", 1);)", nullptr},
      {On::Server, R"(
  ResearchWeb web;
  web.prepare(empireA());
  web.setResearchRate(1.5);)", nullptr},
      {On::Both, R"(ResearchWeb web; web.setActiveTech("none");)", "ResearchWeb needs prepared before use"},
      {On::Both, R"(ResearchWeb web; int link; web.getActiveTech(link);)", "ResearchWeb needs prepared before use"},
      // The research API over the technologies Optics (visible, one link)
      // and Lenses (hidden).
      {On::Both, R"(
  const WebItemDesc@ optics = getWebItemDesc("Optics");
  expect(optics !is null && getWebItemDesc(0) is optics && getWebItemDescCount() == 2, "lookups");
  expect(getWebItemDesc(getWebItemDescCount()) is null && getWebItemDesc("none") is null, "absent");
  expect(optics.id == "Optics" && optics.name == "Optics" && optics.desc !is null && optics.icon !is null, "texts");
  expect(optics.position.x == 2.5f && optics.position.y == -1, "position");
  expect(optics.linkCount == 1 && optics.hasTag("Light") && !optics.hasTag(null), "links and tags");
  expect(optics.getLinkName(3) == "Hunch" && optics.getLinkName(0) == "Guess", "link names");
  expect(optics.getTieCount() == 0 && optics.getTieLevel(0) == 0 && optics.getTie(0) is null, "no ties");
  ResearchWeb web;
  web.prepare(empireA());
  expect(web.getVisibleCount() >= 1 && web.getResearchRate() >= 0, "counts");
  expect(web.isTechVisible("Optics") && web.isTechVisible(optics) && !web.isTechVisible("none"), "visible");
  web.setActiveTech(optics);
  int link = 5;
  expect(web.getActiveTech(link) is web.getItem(optics) && link == -1, "level target");
  web.setActiveTech(optics, 0);
  const WebItem@ item = web.getActiveTech(link);
  expect(item is web.getItem("Optics") && link == 0, "link target");
  float level, progress, cost, most;
  item.getLevels(level, progress, cost, most);
  expect(level == item.level && level >= 1 && item.descriptor is optics, "levels");
  float paid = 1, linkCost = 1;
  item.getLinkLevels(5, paid, linkCost);
  expect(paid == 0 && linkCost == 0, "past the links");
  item.getLinkLevels(0, paid, linkCost);
  expect(linkCost > 0, "a link");
  expect(item.getLinkEnd(5) is null, "no such link");
  item.getLinkEnd(0);
  // Scripts hold items through const handles; the other form serves
  // handles of their own.
  WebItem@ editable;
  if (editable !is null)
    editable.getLinkEnd(0);)", nullptr},
      {On::Server, R"(
  ResearchWeb web;
  web.prepare(empireA());
  expect(!web.addPoints("none", 1) && !web.addPoints(null, 1), "unknown technologies");
  web.markAsVisible("none");)", nullptr},
      {On::Client, R"(
  ResearchWeb web;
  web.prepare(empireA());
  expect(web.getItem("Optics").getPossibleLinkEnd(5) is null, "no such link");)", nullptr},

      // --- sub-systems ---
      {On::Both, R"(
  uint count = getSubSystemCount();
  const subSystemDef@ plate = getSubSystemDefByName("Plate");
  expect(count == 3 && plate !is null && plate.getName() == "Plate", "definition");
  expect(getSubSystemDef(0) !is null && getSubSystemDefByID(plate.ID) is plate, "lookups");
  expect(getSubSystemDefByName("None") is null, "unknown");
  subSystem@ instance = fixtureSubSystem();
  expect(!instance.hasVariable("None") && instance.getVariable("None") == 0, "variables");
  expect(!instance.hasCost("None") && instance.getCost("None") == 0, "costs");)", nullptr},
      {On::Server, R"(
  SubSystemEvalMode[] modes = {SSVM_Costs, SSVM_Consumes, SSVM_Requires, SSVM_Hints, SSVM_Provisions};
  subSystem@ instance = fixtureSubSystem();
  instance.setVariable("None", 1);
  instance.setCost("None", 1);)", nullptr},
      {On::Both, "getSubSystemDef(getSubSystemCount());", "Accessed invalid Sub System Definition index"},
      {On::Both, "getSubSystemDefByID(123456);", "Invalid subSystemDef ID"},
      // A null name never reaches the lookup by name: the engine stops it
      // first ("Null string@ accessing sub system definition list" serves
      // C++ callers).
      {On::Both, "string@ none; getSubSystemDefByName(none);", "Null pointer access"},
      {On::Both, R"(
  const subSystemDef@ plate = getSubSystemDefByName("Plate");
  const subSystemDef@ probe = getSubSystemDefByName("Probe");
  expect(plate.getDescription() == "", "description");
  expect(probe.hasTag("Probe") && !plate.hasTag("Probe"), "tags");
  expect(plate.canBuildOn(fixtureShip()) && !plate.canBuildOn(null), "build test");
  const WebItemDesc@ tie = plate.getTie(0);
  WebItem@ item = null;
  expect(plate.getTieCount() == 0 && plate.getTieLevel(0) == 0 && tie is null && item is null, "no ties");
  expect(getSubSystemReferenceName(plate.ID) == "Plate" && getSubSystemReferenceName(1) is null, "registry name");)",
       nullptr},
      {On::Client, R"(
  const subSystemDef@ probe = getSubSystemDefByName("Probe");
  expect(probe.getHintCount() == 1 && probe.getHintName(0) == "Heat" && probe.getHintName(1) is null, "hints");)",
       nullptr},
      {On::Both, R"(
  subSystem@ s = fixtureSubSystem();
  expect(s.type is getSubSystemDef(0), "type");
  s.size = 4;
  s.level = 3;
  s.maxHP = 5;
  s.mass = 6;
  expect(s.size == 4 && s.level == 3 && s.maxHP == 5 && s.mass == 6, "built-ins");
  expect(s.getVariable("{L}") == 3 && s.getVariableCount() == 4 && s.getVariable(0) == 4, "variables");
  s.scale = 2;
  expect(s.scale == 2, "scale");
  SubSystemFactory f;
  expect(f.generateSubSystems(getSubSystemDefByName("Probe"), null) && f.linked is null, "generated");
  subSystem@ p = f.active;
  expect(p.getCostCount() == 1 && p.getCost(0) == 2, "costs");
  expect(p.hasConsume("Power") && p.getConsume("Power") == 0.5f && p.getConsume(0) == 0.5f
         && p.getConsumeCount() == 1, "consumption");
  expect(p.hasRequire("Crew") && p.getRequire("Crew") == 2 && p.getRequire(0) == 2 && p.getRequireCount() == 1,
         "requirements");
  expect(p.hasHint("Heat") && p.getHint("Heat") == 4 && p.getHint(0) == 4 && p.getHintCount() == 1, "hints");
  Planet@ planet = fixturePlanet();
  f.objectScale = 2;
  f.objectSizeFactor = 3;
  f.activeScale = 1;
  f.linkedScale = 1;
  f.prepare(planet);
  f.prepare(null);
  SubSystemFactory g;
  g.compare(f, true);
  expect(g.hintDeltaCount == 5 && g.getHintDeltaName(0) == "Crew" && g.getHintDelta(0) == 2, "deltas");
  f.clearSubSystems();
  expect(f.active is null, "cleared");)", nullptr},
      {On::Server, R"(
  subSystem@ s = fixtureSubSystem();
  s.setVariable(0, 4);
  s.setVariable("Size", 4);
  SubSystemFactory f;
  f.generateSubSystems(getSubSystemDefByName("Probe"), null);
  subSystem@ p = f.active;
  p.setCost(0, 3);
  p.setCost("Metals", 3);
  p.setConsume(0, 1);
  p.setConsume("Power", 1);
  p.setRequire(0, 1);
  p.setRequire("Crew", 1);
  p.setHint(0, 1);
  p.setHint("Heat", 1);
  expect(p.getCost(0) == 3 && p.getConsume(0) == 1 && p.getRequire(0) == 1 && p.getHint(0) == 1, "set");
  Object@ ship = fixtureShip();
  p.trigger("none", ship, ship, 1, 2);)", nullptr},
      {On::Both, R"(
  SysRef@ r = fixtureSysRef();
  r.HP = 7;
  r.val1 = 1;
  r.val2 = 2;
  expect(r.HP == 7 && r.val1 == 1 && r.val2 == 2, "fields");
  SysState[] states = {SS_Active, SS_Disabled, SS_Destroyed};
  expect(r.getState() == SS_Active && r.system is fixtureSubSystem(), "state and instance");)", nullptr},
      {On::Both, "getSubSystemDef(0).hasTag(\"\");", "subSystemDef tags can never be empty strings"},
      {On::Both, "float hp = bareSubSystem().maxHP;", "SubSystem Variable list not yet initialized"},
      {On::Both, "bareSubSystem().getCostCount();", "SubSystem Cost list not yet initialized"},
      {On::Both, "bareSubSystem().getConsume(0);", "SubSystem Consume list not yet initialized"},
      {On::Both, "bareSubSystem().getRequire(\"Crew\");", "SubSystem Require list not yet initialized"},
      {On::Both, "bareSubSystem().getHintCount();", "SubSystem Hint list not yet initialized"},
      {On::Both, "fixtureSubSystem().getVariable(4);", "SubSystem Variable out of range"},
      {On::Both, R"(
  SubSystemFactory f;
  f.generateSubSystems(getSubSystemDefByName("Probe"), null);
  f.active.getCost(1);)", "SubSystem Cost out of range"},
      {On::Both, R"(
  SubSystemFactory f;
  f.generateSubSystems(getSubSystemDefByName("Probe"), null);
  f.active.getConsume(1);)", "SubSystem Consume out of range"},
      {On::Both, R"(
  SubSystemFactory f;
  f.generateSubSystems(getSubSystemDefByName("Probe"), null);
  f.active.getRequire(1);)", "SubSystem Require out of range"},
      {On::Both, R"(
  SubSystemFactory f;
  f.generateSubSystems(getSubSystemDefByName("Probe"), null);
  f.active.getHint(f.active.getHintCount());)", "SubSystem Hint out of range"},
      {On::Both, "SubSystemFactory f; f.getHintDeltaName(0);", "Out-of-bounds index when getting HintName"},
      {On::Both, "SubSystemFactory f; f.getHintDelta(f.hintDeltaCount);", "Out-of-bounds index when getting HintValue"},

      // --- the active hull ---
      {On::Both, R"(
  clearActiveHull();
  addSysToActiveHull(getSubSystemDefByName("Frame"), 1, pos2df(0, 0));
  addSysToActiveHull(getSubSystemDefByName("Plate"), 1, pos2df(1, 0), 0);
  setActiveHullScale(2);
  setActiveHullMetaData(3);
  setActiveHullTargetScale(0, 1);
  setActiveHullTargetDamage(0, 1);
  setActiveHullTargetScale(0, 1, true);
  setActiveHullTargetDamage(0, 1, true);
  setActiveHullOrbitTargets(true);
  setActiveHullAllowTargets(true, false);
  setActiveHullDepositTargets(false, true);
  setActiveHullAllowFetch(true);
  expect(finalizeActiveHull("Coverage"), "finalized");)", nullptr,
       // 127: the new layout "Coverage" of A, with its two sub-systems.
       "7f 01 3f ff ff ff 02 6d 65 72 46 3f 80 00 00 7f ff 7f ff 74 65 6c 50 3f 80 00 00 9f ff 7f ff 08 43 00 6f "
       "00 76 00 65 00 72 00 61 00 67 00 65 00 05 00 00 00 00 00 00 20 0f c0 40 40 00 00 00 00 00 00 00 20 0f c0 "
       "40 40 40 40 40 00 00 40 40 00 00 00"},
      {On::Both, "setActiveHullScale(0);", "Attempted to set a hull scale <= 0"},
      {On::Both, "addSysToActiveHull(null, 1, pos2df(0, 0));", "Added null subSystemDef@ to layout"},

      // --- hull layouts, their statistics and the temporary hull ---
      {On::Both, R"(
  const HullLayout@ l = fixtureLayout();
  expect(l.getName() == "Scout" && l.getSubSysCnt() == 1 && l.getSubSys(0) !is null, "name and systems");
  expect(l.getSubSysPos(0).x == 0 && l.getSubSysPos(0).y == 0 && l.getSubSysLink(0) == -1, "place and link");
  float low = 1, high = 1;
  bool exclusive = true;
  expect(!l.getTargetScales(low, high) && !l.getTargetScales(low, high, exclusive), "no scale range");
  expect(!l.getTargetDamage(low, high) && !l.getTargetDamage(low, high, exclusive), "no damage range");
  expect(low == 0 && high == 0 && !exclusive, "ranges written");
  bool first = false, second = false;
  l.getAllowTargets(first, second);
  expect(first && second, "allowed targets");
  l.getDepositTargets(first, second);
  expect(!first && second, "deposit targets");
  expect(l.orbits && !l.allowFetch, "flags");
  expect(l.hasSystemWithTag("Hull") && !l.hasSystemWithTag("Armor"), "tags");
  expect(l.scale == 1 && l.metadata == 0 && l.owner is empireA() && !l.obsolete, "properties");
  l.updateThreshold = 20;
  expect(l.updateThreshold == 20, "threshold set");
  HullStats@ s = l.getStats();
  expect(s.spaceTotal == 100 && s.spaceTaken == 0, "space");
  expect(s.getCostCnt() == 0 && s.getCost("Metals") == 0, "no costs");
  for (uint i = 0; i < s.getCostCnt(); ++i)
    expect(s.getCost(s.getCostName(i)) == s.getCost(i), "cost by name");
  expect(s.getHintCnt() == 2 && s.getHintName(0) == "HP" && s.getHint(1) == s.getHint("Mass"), "hints");)",
       nullptr,
       // 135: the threshold of "Scout", 20.0.
       "87 01 05 53 00 63 00 6f 00 75 00 74 00 41 a0 00 00"},
      {On::Both, "fixtureLayout().getSubSys(1);", "Out of bounds index when getting subSystem@ from hullLayout"},
      {On::Both, "fixtureLayout().getSubSysPos(1);",
       "Out of bounds index when getting SubSystem position from hullLayout"},
      {On::Both, "fixtureLayout().getSubSysLink(1);", "Out of bounds index when getting link index from hullLayout"},
      {On::Both, "fixtureLayout().hasSystemWithTag(\"\");", "hull tags can never be empty strings"},
      {On::Both, "fixtureLayout().getStats().getCostName(0);", "Out of bounds index when getting hull cost name"},
      {On::Both, "fixtureLayout().getStats().getCost(0);", "Out of bounds index when getting hull cost"},
      {On::Both, "HullStats@ s = fixtureLayout().getStats(); s.getHintName(s.getHintCnt());",
       "Out of bounds index when getting hull cost name"},
      {On::Both, "HullStats@ s = fixtureLayout().getStats(); s.getHint(s.getHintCnt());",
       "Out of bounds index when getting hull cost"},
      {On::Client, R"(
  addSubSysToTempHull(getSubSystemDefByName("Frame"), 1, pos2df(0, 0));
  addSubSysToTempHull(getSubSystemDefByName("Plate"), 1, pos2df(1, 0), 0);
  const HullLayout@ t = finalizeTempHull(4);
  expect(t !is null && getTempHullError() is null && t.scale == 2 && t.getSubSysCnt() == 2, "made");
  expect(t.getSubSysLink(1) == -1, "no link without alter hooks");
  setTempHullTargetScale(1, 2);
  setTempHullTargetDamage(3, 4);
  setTempHullTargetScale(1, 2, true);
  setTempHullTargetDamage(3, 4, true);
  setTempHullOrbitTargets(false);
  setTempHullAllowTargets(false, true);
  setTempHullDepositTargets(true, false);
  setTempHullAllowFetch(true);
  float low = 0, high = 0;
  bool exclusive = false;
  expect(t.getTargetScales(low, high, exclusive) && low == 1 && high == 2 && exclusive, "scale range");
  expect(t.getTargetDamage(low, high) && low == 3 && high == 4, "damage range");
  expect(!t.orbits && t.allowFetch, "flags");
  expect(finalizeTempHull(1) is null && getTempHullError() !is null, "nothing pending");
  float used = -1, total = -1;
  getTempHullSpace(used, total);
  expect(used == 0 && total == 0, "no space pair");
  freeTempHull();)", nullptr},
      {On::Client, "addSubSysToTempHull(null, 1, pos2df(0, 0));",
       "Null subSystemDef@ when adding system to temp HullLayout"},
      {On::Client, "addSubSysToTempHull(null, 1, pos2df(0, 0), 0);",
       "Null subSystemDef@ when adding system to temp HullLayout"},

      // --- the IRC chat window (no GUI here: opening it only logs) ---
      {On::Client, R"(
  closeIRC();
  expect(!hasIRC(), "no chat window");
  openIRC();
  closeIRC();
  expect(!hasIRC(), "closed again");)"},

      // --- GUI-side script globals (no scene here: the camera has no node) ---
      {On::Both, R"(
  string@ none = null;
  expect(combine(none, none, none) == "", "empty, not null");
  expect(combine("a", none, "c", "d") == "acd", "four");
  expect(combine("a", "b", "c", "d", "e") == "abcde", "five");
  expect(!get_shigatsu() && !isServer(), "no April-1 start, no server");
  bool client = isClient();)", nullptr},
      {On::Client, R"(
  Object@ ship = fixtureShip();
  setCameraFocus(ship);
  setCameraFocus(null);
  expect(getCameraFocus() is null, "no focus");
  cameraZoomTo(ship, false, true);
  cameraZoomTo(null, false, false);
  cameraResetView();
  recti r;
  expect(!getApparentPos(r), "no focus to show");
  selectObject(ship);
  addSelectedObject(ship);
  deselectObject(ship);
  expect(!isSelected(ship), "no graphics to select");
  selectObject(null);
  setSubSelection(getSubSelection());
  expect(getSelectedObjectCount() == 0 && getSelectionId() > 0, "empty selection");
  expect(getCurrentTime() < 24 * 60, "minutes of a day");
  expect(getCurrentGameTime() >= 0, "game time");
  float speed = getGameSpeedFactor();
  setGameSpeedFactor(2);
  expect(getGameSpeedFactor() == 2 && getRealGameSpeedFactor() == 2, "speed");
  pauseGame(true);
  pauseGame();
  pauseGame();
  pauseGame(false);
  expect(getGameSpeedFactor() == 2, "resumed");
  setGameSpeedFactor(speed);
  requestObjectSync(null);
  expect(refsOf(ship) > 0, "still held");)", nullptr},
      {On::Server, R"(
  createGalaxyGasSprite("gas", 1, vector(0, 0, 0), Color(255, 255, 255, 255), 0);
  System@ picked = getRandomSystem();
  expect(picked !is null, "the one system");)", nullptr},

      // --- effects and effectors ---
      {On::Both, R"(
  Event@ event = fixtureEvent();
  expect(event.obj is fixtureShip() && event.target is fixturePlanet(), "objects");
  event.damage = 3;
  expect(event.time == 3, "damage is the time field");
  event.custom = 1;
  event.flags = 2;
  EventState[] states = {ESC_NOCHANGE, ESC_DISABLE, ESC_SKIP};
  event.state = ESC_SKIP;
  expect(event.state == ESC_SKIP, "state");
  event.state = ESC_NOCHANGE;
  SysRef@ source = event.source;
  SysRef@ dest = event.dest;
  expect(source is null && dest is null, "no sub-systems");)", nullptr},
      {On::Server, R"(
  const Effector@ gun = fixtureEffector();
  expect(gun[0] == 2, "value");
  gun.trigger(fixtureEvent());
  EffectorState@ state = fixtureEffectorState();
  state.val1 = 1;
  state.val2 = state.val1;)", nullptr},
      {On::Server, "fixtureEffector()[1];", "Index out-of-bounds when accessing Effector"},
      {On::Server, "fixtureEffector().trigger(null);", "Null Event@ when triggering effector"},
      {On::Both, R"(
  TemplateArg arg;
  TemplateArg copy(arg);
  copy = arg;
  expect(arg.evaluate() == 0 && arg.getString() is null, "a number 0");)", nullptr},

      // --- map scripts ---
      {On::Server, R"(
  Color hot = getBlackBodyColor(6000);
  Orbit_Desc orbit;
  orbit.Radius = 100;
  orbit.Eccentricity = 0;
  orbit.Mass = 1;
  orbit.MassRadius = 1;
  orbit.Yaw = 0;
  orbit.Pitch = 0;
  orbit.IsStatic = true;
  orbit.Offset = vector(0, 0, 0);
  orbit.PosInYear = 0;
  orbit.DaysPerYear = 100;
  orbit.setCenter(fixtureStar());
  orbit.clear();
  Orbit_Desc orbitCopy;
  orbitCopy = orbit;
  Planet_Desc planetDesc;
  planetDesc.PlanetRadius = 5;
  planetDesc.PlanetMass = 5;
  planetDesc.RandomConditions = false;
  planetDesc.setOrbit(orbit);
  planetDesc.setPlanetType(getPlanetTypeID("Rock"));
  planetDesc.clearOrbit();
  Planet_Desc planetCopy;
  planetCopy = planetDesc;
  System@ sys = fixtureSystem();
  Planet@ planet = sys.makePlanet(planetDesc);
  planet.addRandomCondition();
  Star_Desc starDesc;
  starDesc.Temperature = 5000;
  starDesc.Radius = 10;
  starDesc.Brightness = 1;
  starDesc.setOrbit(orbit);
  starDesc.clearOrbit();
  Star_Desc starCopy;
  starCopy = starDesc;
  Star@ star = sys.makeStar(starDesc);
  Oddity_Desc oddityDesc;
  oddityDesc.id = "comet";
  oddityDesc.setFloat("a", 1);
  expect(oddityDesc.getFloat("a", 0) == 1, "float");
  oddityDesc.setVector("v", vector(1, 0, 0));
  expect(oddityDesc.getVector("v", vector(0, 0, 0)).x == 1, "vector");
  oddityDesc.reset();
  oddityDesc.clear();
  Oddity_Desc oddityCopy;
  oddityCopy = oddityDesc;
  sys.makeOddity(oddityDesc);
  System_Desc systemDesc;
  systemDesc.Position = vector(5000, 0, 0);
  systemDesc.AutoStar = false;
  systemDesc.StartRadius = 100;
  System_Desc systemCopy;
  systemCopy = systemDesc;
  makeSystem(getGalaxy(), systemDesc);
  getGalaxy().createSystem(systemDesc);
  Hull_Desc hullDesc;
  hullDesc.hull = fixtureLayout();
  @hullDesc.Owner = empireA();
  hullDesc.Position = vector(1, 1, 1);
  Hull_Desc hullCopy;
  hullCopy = hullDesc;
  sys.makeShip(hullDesc);)", nullptr},
      {On::Server, "getPlanetTypeID(null);", "null string@ passed to getPlanetTypeID"},

      // --- orders (OrderList, Order, OrderType, TransferMode) ---
      {On::Server, R"(
  int[] kinds = {OrdT_Unspecified, OrdT_Move, OrdT_Goto, OrdT_Attack, OrdT_Defend, OrdT_Deposit, OrdT_Colonize,
                 OrdT_Dock, OrdT_Transfer, OrdT_Remove_Struct, OrdT_Trade_Local, OrdT_Work, OrdT_Use_Tool,
                 OrdT_Fetch, OrdT_Repeat, OrdT_Collect, OrdT_Retrofit, OrdT_Guard, OrdT_Scuttle};
  expect(kinds[18] == 18, "order kinds");
  TransferMode from = TM_From;
  int[] modes = {TM_Amount, TM_All_Amount, TM_Percent, from};
  OrderList l;
  expect(!l.prepare(null), "null");
  expect(l.prepare(fixtureShip()), "prepared");
  l.giveMoveOrder(vector(1, 2, 3), false);
  l.giveGotoOrder(fixtureSystem(), true);
  l.giveGotoOrder(fixturePlanet(), true, 5);
  l.giveAttackOrder(fixturePlanet(), true);
  l.giveDockOrder(fixturePlanet(), true);
  l.giveRetrofitOrder(fixturePlanet(), true);
  l.giveTransferOrder(fixturePlanet(), "Ore", modes[0] + modes[3], 5, true);
  l.giveUseToolOrder("Gun", fixturePlanet(), false, true, true);
  l.giveOrder("Defend", null, null, false);
  expect(l.getOrderCount() == 9, "queued");
  Order@ front = l.getOrder(0);
  OrderType kind = front.getType();
  expect(kind == OrdT_Defend && front.isAutomation() && front.getName() !is null, "front");
  expect(l.getOrder(1).getType() == OrdT_Move && !l.getOrder(1).isAutomation(), "move");
  l.clearOrder();
  l.clearOrders(false);
  l.refreshAutomation();
  expect(l.getOrderCount() == 0, "cleared");
  l.makeFleet();
  expect(l.isFleetCommander() && l.isInFleet() && l.getFleetSize() == 1 && l.getFleetName() !is null, "fleet");
  expect(!l.joinFleet(fixturePlanet()), "the planet commands no fleet");
  l.leaveFleet();
  expect(!l.isInFleet(), "left");
  l.makeFleet();
  l.forfeitFleetCommand();
  expect(!l.isFleetCommander() && l.getFleetSize() == 0 && l.getFleetName() is null, "forfeited");
  l.clearOrders(true);)", nullptr},
      {On::Client, R"(
  OrderList l;
  expect(!l.prepare(null), "null");
  expect(l.prepare(fixtureShip()), "prepared");
  for (uint i = 0; i < l.getOrderCount(); ++i) {
    Order@ o = l.getOrder(i);
    expect(o.getName() !is null || o.isAutomation(), "order");
  }
  l.forfeitFleetCommand();
  OrderList p;
  p.prepare(fixturePlanet());
  p.makeFleet();
  expect(p.isFleetCommander() && p.isInFleet() && p.getFleetSize() == 1 && p.getFleetName() !is null, "fleet");
  expect(l.joinFleet(fixturePlanet()) && l.isInFleet() && !l.isFleetCommander(), "joined");
  l.leaveFleet();
  expect(!l.isInFleet(), "left");
  expect(getSelectedObject() is null && getSelectedObject(0) is null, "nothing selected");)", nullptr},
      // --- context action menu (no menu is built here: nothing opens) ---
      {On::Client, R"(
  int before = refsOf(fixtureShip());
  rightClickMenu(fixtureShip(), fixturePlanet());
  rightClickMenu(fixtureShip(), fixtureShip());
  rightClickMenu(null, null);
  expect(refsOf(fixtureShip()) == before, "the handles' references given back");)", nullptr},
      {On::Both, "OrderList l; l.getOrderCount();", "OrderList needs to be prepare()d with a valid object first"},
      {On::Both, "OrderList l; l.getOrder(0);", "OrderList needs to be prepare()d with an object first"},
      {On::Both, "OrderList l; l.prepare(fixtureShip()); l.getOrder(l.getOrderCount());",
       "Out-of-bounds index when accessing order list"},
      {On::Server, "OrderList l; l.giveGotoOrder(null, false);", "Null Object@ when giving goto order"},
      {On::Server, "OrderList l; l.giveGotoOrder(null, false, 1);", "Null Object@ when giving goto order"},
      {On::Server, "OrderList l; l.giveTransferOrder(null, \"Ore\", 0, 1, false);",
       "Null Object@ when giving transfer order"},
      {On::Server, "OrderList l; l.giveDockOrder(null, false);", "Null Object@ when giving dock order"},
      {On::Server, "OrderList l; l.giveRetrofitOrder(null, false);", "Null Object@ when giving retrofit order"},
      {On::Server, "OrderList l; l.giveAttackOrder(null, false);", "Null Object@ when giving attack order"},
      {On::Both, "OrderList l; l.prepare(fixtureShip()); l.joinFleet(null);", "Null Object@ when adding to a fleet"},

      // --- ships and fleets ---
      {On::Both, R"(
  HulledObj@ s = fixtureShip();
  expect(s.getSubSystemCount() == 1, "count");
  expect(s.getSubSystem(s.getSubSystemCount()) is null && s.getSubSystem(0) !is null, "records");
  // A record of another object starts the scan from the first record.
  expect(s.getDamagedSystem(fixtureSysRef()) is s.getDamagedSystem(null), "foreign record");
  expect(s.get_thrust() == 0, "no mover");
  expect(s.getHull() is fixtureLayout(), "layout");
  expect(s.inOrbitAround() is null, "not circling");
  expect(s.getFleet() is null, "no fleet");)", nullptr},
      {On::Server, R"(
  HulledObj@ s = fixtureShip();
  s.ceaseFire();
  s.forceActivate();
  s.set_thrust(2);
  int refs = refsOf(s);
  expect(s.damageSystem(null, s, 5) == 5, "no record");
  expect(s.damageSystem(fixtureSysRef(), s, 5, 1) == 5, "another's record");
  expect(refsOf(s) == refs, "own source");
  expect(spawnShip(empireA(), fixtureLayout(), null, vector(0, 0, 0)) is null, "no system");
  System@ sys = fixtureSystem();
  HulledObj@ spawned = spawnShip(empireA(), fixtureLayout(), sys, vector(1, 0, 0));
  expect(spawned !is null && spawned.getHull() is fixtureLayout(), "spawned");
  spawned.toObject().destroy(true);)", nullptr},
      {On::Server, "HulledObj@ s = fixtureShip(); s.damageSystem(s.getSubSystem(0), null, 5);",
       "Null Object@ when damaging an object"},
      {On::Client, "HulledObj@ s = fixtureShip(); s.ceaseFire();", nullptr, "8b 04 SHIPREF"},
      // A network client makes no fleet: the rest runs where one is made.
      {On::Both, R"(
  FleetFormation wall = FF_Wall;
  expect(wall == 0 && FF_Box == 1 && FF_Escort == 2, "formations");
  Empire@ a = empireA();
  Object@ o = fixtureShip();
  HulledObj@ s = o;
  uint before = a.getFleetCount();
  expect(empireB().createFleet(o) is null && a.createFleet(fixturePlanet()) is null, "refused");
  Fleet@ f = a.createFleet(o);
  if (f is null) {
    expect(a.getFleetCount() == before, "nothing made");
    return;
  }
  expect(a.getFleetCount() == before + 1 && a.getFleet(before) is f, "listed");
  expect(s.getFleet() is f && f.getCommander() is o, "commander");
  f.setName("Home");
  expect(f.getName() == "Home", "renamed");
  f.addMember(o);
  f.removeMember(null);
  expect(f.getMemberCount() == 0 && f.getMember(0) is null, "no members");
  f.setFormation(FF_Wedge);
  expect(f.getFormation() == FF_Wedge, "formation");
  f.giveUpCommand();
  expect(s.getFleet() is null && f.getCommander() is null && a.getFleetCount() == before, "given up");)", nullptr},

      // --- destruction (last: the ships are gone from the next tick) ---
      {On::Server, R"(
  System@ sys = fixtureSystem();
  Hull_Desc desc;
  desc.hull = fixtureLayout();
  @desc.Owner = empireA();
  desc.Position = vector(5, 5, 5);
  Object@ loud = sys.makeShip(desc);
  Object@ quiet = sys.makeShip(desc);
  loud.destroy();
  quiet.destroy(true);
  quiet.destroy(false);
  expect(loud.isValid() && quiet.isValid(), "marked only");)", nullptr},

      // --- last: the fixture layout goes out of date ---
      {On::Both, R"(
  HullLayout@ l = fixtureLayout();
  l.set_obsolete();
  expect(l.obsolete, "obsolete");)", nullptr},
  };
  return table;
}

// Scripts that must build, or must not, in each engine.
struct BuildCase {
  const char* code;
  bool server;
  bool client;
};

inline const std::vector<BuildCase>& buildCases() {
  static const std::vector<BuildCase> table = {
      // Damage is the server's alone.
      {"void f(Object@ o) { o.damage(o, 10); }", true, false},
      // A const handle casts only to const handles.
      {"void f(const Object@ o) { const HulledObj@ h = o; const Planet@ p = o.toPlanet(); }", true, true},
      {"void f(const Object@ o) { HulledObj@ h = o; }", false, false},
      {"void f(const Object@ o) { HulledObj@ h = o.toHulledObj(); }", false, false},
      {"void f(const Object@ o) { Galaxy@ g = cast<Galaxy>(o); }", false, false},
      {"void f(Object@ o) { Galaxy@ g = cast<Galaxy>(o); System@ s = o; }", true, true},
      // Accessors read and write as fields.
      {"void f(Event@ e) { EventState s = e.state; e.state = s; }", true, true},
      {"void f(Clause@ c) { uint n = c.optionCount; const string@ id = c.id; }", true, true},
      {"void f(TreatyFactory@ t) { Treaty@ treaty = t.treaty; }", true, true},
      // Clause descriptors are read-only to scripts.
      {"void f() { getClauseDesc(0).offensive = true; }", false, false},
      {"void f() { ClauseDesc@ d = getClauseDesc(0); }", false, false},
      // Sub-systems: the hint list and the image of a definition are the
      // client's; values change and effectors fire on the server alone.
      {"void f(const subSystemDef@ d) { uint n = d.getHintCount(); string@ s = d.getHintName(0); }", false, true},
      {"void f(const subSystemDef@ d) { d.getImage(); }", false, true},
      // Textures and drawing are the client's; both have the value types.
      {"void f() { const Texture@ t = getMaterialTexture(\"x\"); }", false, true},
      {"void f(const Texture@ t) { dim2di d = t.size; }", false, true},
      {"void f() { dim2di d = getTextDimension(\"x\"); }", false, true},
      {"void f() { drawRect(recti(0, 0, 1, 1)); setDrawClip(recti()); clearDrawClip(); }", false, true},
      {"void f() { int w = getScreenWidth() + getScreenHeight(); quaternion q; rectf r; dim2df d; }", true, true},
      // The rectangles and vectors have no comparison, nothing converts.
      {"void f() { bool b = recti() == recti(); }", false, false},
      {"void f() { bool b = rectf() == rectf(); }", false, false},
      {"void f() { pos2df p = pos2di(1, 1); }", false, false},
      {"void f() { rectf r = recti(); }", false, false},
      {"void f() { quaternion q; q = -q; }", false, false},
      {"void f(subSystem@ s) { s.setVariable(0, 1); }", true, false},
      {"void f(subSystem@ s) { s.setCost(0, 1); }", true, false},
      {"void f(subSystem@ s) { s.setConsume(0, 1); }", true, false},
      {"void f(subSystem@ s) { s.setRequire(0, 1); }", true, false},
      {"void f(subSystem@ s) { s.setHint(0, 1); }", true, false},
      {"void f(subSystem@ s, Object@ o) { s.trigger(\"x\", o, o, 0, 0); }", true, false},
      {"void f() { SubSystemEvalMode m = SSVM_Costs; }", true, false},
      // Lists of the default array type.
      {"void f() { Object@[] list; list.insertLast(null); int[] n = {1, 2}; }", true, true},
  };
  return table;
}

}  // namespace bindingcoverage
