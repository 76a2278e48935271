// The settings dialog of a map or a mod, built from the XML description
// that the map's file in "Maps/" (or the mod's settings file) carries: a
// panel of settings widgets (settings_widgets.h) on a grid of columns and
// rows. The description can also name the session's map (`default`) and
// describe an `advanced` window of further settings.
//
// Start tags act in this order of names: columns, group, input, select,
// option, range, tag, checkbox, default, advanced, tabs, tab; end tags on
// advanced, tab, tabs and group. Every other element, and text, is ignored;
// names are case-sensitive. An empty element (<group pos="1,0"/>) counts as
// its start and end tag.
//
//   columns  positions="10,200" widths="180,180": the column tables, when
//            both lists have the same number of entries (not 0)
//   group    pos="column,row": offsets added to the cells inside it (the
//            column limited to the last one); its end tag restores the
//            enclosing offsets
//   input    setting tag pos type min max default
//   select   setting tag pos, then option tag value selected="true"
//   range    setting tag pos type min max default smallstep largestep
//   tag      text pos
//   checkbox setting tag pos default="on" on off
//   default  map: the session's map name
//   advanced width height: a window of that size centred on the screen
//            receives the widgets up to its end tag
//   tabs     pos height (rows below the tab buttons), then tab tag
//
// A "pos" is "column,row"; a cell is 20 pixels high, rows 24 apart from
// y = 6. "type" is float mode when it is "float" in any case, integer mode
// otherwise. Missing "min" and "max" are -1e36 and 1e36; the "default" of
// an input may be "rand", a random value in [min, max].
//
// Bad input builds what it can: missing attributes take their defaults,
// numbers are read as far as they go, an unmatched end tag changes nothing.
// Nothing is logged. Main thread only.
#pragma once

#include <IXMLReader.h>
#include <irrString.h>
#include <rect.h>

#include <cstdint>
#include <vector>

#include "ui/setup/settings_widgets.h"

namespace irr::gui {
class IGUIElement;
}

// The bounds an attribute-less "min" and "max" stand for (the float
// nearest to -1e36 and 1e36).
constexpr float kSettingMinimum = -1e36f;
constexpr float kSettingMaximum = 1e36f;

// Where widgets go: the column tables (x positions and widths) and the
// offsets of the enclosing groups (the innermost last; the first entry,
// 0 and 0, is never taken away).
struct SettingsGrid {
  std::vector<int32_t> positions;
  std::vector<int32_t> widths;
  std::vector<int64_t> columnOffsets{0};
  std::vector<int64_t> rowOffsets{0};
};

// The cell of a widget at `pos` ("column,row"): (0, 0, 100, 15) without
// usable column tables; column 0, row 0 without offsets when `pos` is not
// two items; otherwise (position, 24 x row + 6, position + width,
// 24 x row + 26) of column + offset (limited to the last column, a negative
// one counting as too large) and row + offset.
irr::core::recti layoutSettingCell(const irr::core::stringw& pos, const SettingsGrid& grid);

// A rectangle of `width` x `height` centred on the screen (halves rounded
// toward zero).
irr::core::recti centredScreenRect(int32_t width, int32_t height);

// Opens a description through the engine's file system as a wide-character
// XML reader that never reads past the end of the text, however its markup
// is cut off. Null when the file cannot be opened; the caller drops the
// reader.
irr::io::IXMLReader* openSettingsDocument(const irr::core::stringc& path);

// Reads the document to its end and appends every widget made, in document
// order, to `widgets`, with the current parent (the main parent, an
// advanced window or a tab) as its parent. Without an advanced window the
// widgets of an `advanced` section go to the main parent. `hasAdvanced`,
// when given, is set when the document has an `advanced` element. A null
// reader builds nothing.
void buildSettingsDialog(irr::io::IXMLReader* reader, irr::gui::IGUIElement* mainParent,
                         irr::gui::IGUIElement* advancedWindow, SettingsWidgetList& widgets, bool* hasAdvanced);
