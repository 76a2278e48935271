// The empire record of a saved game: one per empire, in the order of the
// global empire list, after the common strings section (the record refers
// to it for stat, setting and message category names).
//
// Layout (little-endian; wide and narrow strings, string references and
// named-value lists as core/save_stream.h and core/common_strings.h write
// them; "vN" marks a field present from format version N on):
//
//   field               layout
//   name                wide string, never empty
//   race name           wide string (v35)
//   race description    wide string (v35)
//   race history        wide string (v35)
//   ID                  empire ID (4 bytes before v12)
//   flags               u8: bit 0 player-controlled, bit 1 valid,
//                       bit 2 reserved
//   colour              u32 ARGB
//   ship set            wide string (v19)
//   own bit             u32 (v35); older saves give the empire the next
//                       free own bit as both its own bit and its mask
//   visibility mask     u32 (v35)
//   research web        the web's record (empire/research/research_web.h)
//   emperor name        wide string
//   stats               named-value list
//   settings            named-value list
//   hull layouts        u16 H, then H times: the layout's record
//                       (design/hull_list.h) and its name (wide string)
//   obsolescence        (v10) H times: layout name, u8 obsolete flag and,
//                       when the flag is set, the successor's name (empty
//                       when there is none)
//   foreign layouts     (v29) u16 F, then F times: source empire ID (u8),
//                       source layout name, name of this empire's copy;
//                       written in ascending (source ID, source name)
//   build lists         u16 B, then B times: the build-list record
//                       (design/build/build_rules.h) and the list's name
//   messages            u16 M, then M times: text (wide string); from v33
//                       also category (string reference), priority (i32)
//                       and time (i32)
//   last message time   f64
//   relations           u16 R, then R times: other empire's ID (empire ID),
//                       allied (u8), enemy (u8); written in ascending ID
//   traits              (v35) u16 T, then T trait ids in ascending order
//   treaties            per treaty this empire proposed the byte 1 and the
//                       treaty's record (empire/treaty.h): the standing
//                       ones in list order, then the pending proposals in
//                       ascending ID of the other empire; then the byte 255.
//                       Any other marker is refused. Each treaty read
//                       queues the step that files it on both empires
//   script AI           u8 0; or u8 1, module name and class name (narrow
//                       strings), u32 N and N bytes of the AI's XML (N is 0
//                       when the AI wrote fewer than 5 bytes)
//
// References to other empires (relations, foreign layouts) and the AI's
// restoration from its XML wait for the whole saved game: loadEmpire queues
// them as post-load steps (core/post_load.h). A load that fails leaves steps
// queued that point at the abandoned empire: the loader then empties the
// queue (clearPostObjectTreeSteps) before it deletes the empire.
#pragma once

#include "core/save_stream.h"

class empire;

constexpr SaveFileError kSaveErrorInvalidEmpireName{3, "Invalid Empire Name"};
constexpr SaveFileError kSaveErrorInvalidHullName{3, "Invalid hull name. Cannot create valid save file."};
constexpr SaveFileError kSaveErrorMassDataEOF{4, "Unexpected end of file within mass data"};
constexpr SaveFileError kSaveErrorInvalidTreaty{5, "Invalid treaty identifier"};
constexpr SaveFileError kSaveErrorInvalidRelationEmpire{5, "Invalid empire referenced in empire relations"};
constexpr SaveFileError kSaveErrorEmpiresList{5, "Error in empires list"};

// Writes the record of `emp`. The common strings section must be written
// already. Throws {3, "Invalid hull name. Cannot create valid save file."}
// when a layout is listed under a name other than its own while another
// entry carries its own name (it would be read back under that name),
// {5, "Invalid Common String reference"} for a name the section lacks, and
// {5, "Too many entries for the save file"} for a list beyond 65,535
// entries. Runs the AI's "void save(XMLWriter@)" on the calling thread.
void saveEmpire(SaveStream& stream, empire* emp);

// Reads one record into a new empire, which the caller registers. Queues
// its relation, foreign-layout and AI steps. Throws {3, "Invalid Empire
// Name"}, {4, "Unexpected EOF"}, {4, "Unexpected end of file within mass
// data"}, {5, "Invalid Common String reference"}, {5, "Invalid treaty
// identifier"}, {5, "Error in empires list"} (a save before version 35 with
// more empires than own bits) and the errors of the layout, web and build
// list records; the empire under construction is then deleted.
empire* loadEmpire(SaveStream& stream);

// After every empire of a saved game is read: the own bit that the next
// empire takes (nextVisibilityBit) becomes the one above the highest own bit
// a listed empire holds (1 when none holds one, 0 once bit 31 is held).
void continueOwnBitsAfterLoad();
