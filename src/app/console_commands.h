// The program's console commands: the one table of every command in
// registration order with its help text, and the game, dump and diagnostic
// commands with the readers their arguments share.
//
// Conventions of every handler: a count of arguments counts the pieces after
// the command word; a handler given a count it does not take prints its help
// (Console::printHelp) and does nothing else; messages go out with
// Console::print unless they are "written" (Console::write). Whole numbers
// are read by parseSignedWideInt. The commands that take a decimal value
// take only a whole decimal number (readDecimalNumber) and refuse anything
// else with "  The <n>th argument must be a decimal number", changing
// nothing; a value they clamp is reported as set.
//
// A row without a handler names a command whose work the server cannot do
// yet: it keeps its place and its help text in the table and is not
// registered, so `list` never offers it.
#pragma once

#include <irrString.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "app/base/console.h"

struct ConsoleCommandRow {
  const wchar_t* name;
  ConsoleHandler handler;  // null: not registered
  const wchar_t* help;
};

constexpr std::size_t kConsoleCommandCount = 57;
using ConsoleCommandRows = std::array<ConsoleCommandRow, kConsoleCommandCount>;

// The command table, in registration order.
const ConsoleCommandRows& consoleCommandRows();

// Registers every row that has a handler, in table order. Run once, after
// createConsole and before autoexec.ini is played.
void registerConsoleCommands();

// Reads a signed whole number: digits accumulate, '.' and ',' are skipped,
// a '-' as the very first character negates, any other character ends it
// ("12x" 12, "x" and "" 0). Accumulates in 32 bits and wraps, whatever the
// length of the text.
int32_t parseSignedWideInt(const irr::core::stringw& text);

// True when `name` ends with ".txt" (exact bytes).
bool hasTextExtension(const irr::core::stringc& name);

// A whole decimal number, as the console's commands take one: an optional
// '-' first, then digits with at most one '.' among them, at least one
// digit. Its value (parseDecimalArg) goes to `value`; false, with `value`
// untouched, for anything else ("abc", "nan", "-inf", "1e5", "1,5", "2.5x",
// "-", "").
bool readDecimalNumber(const irr::core::stringw& text, double& value);

// The reading behind readDecimalNumber, in double precision: digits accumulate, one '-'
// as the first character, one '.', ',' skipped; at the end the sign and the
// decimal point apply. Any other character, a second '.' or a later '-'
// ends the reading at once, and the result is then the digits read so far
// as a whole number, without sign or point ("2.5x" reads 25).
double parseDecimalArg(const irr::core::stringw& text);

// The callback lists of the effect system, in dump order.
enum EffectCallbackList : int {
  ECL_EventCalls = 0,
  ECL_EventCallsTemplated,
  ECL_TargetWeightCalls,
  ECL_TargetWeightCallsTemplated,
  ECL_OnFireCalls,
  ECL_OnFireCallsTemplated,
  ECL_TickCalls,
  ECL_TickCallsTemplated,
  ECL_COUNT
};

// The header logged before a list ("Effect event calls, Non templated:\n" ...).
const char* callbackListHeader(EffectCallbackList list);

// Writes each name of `list` as " <name>\n": to the log when `fileName` is
// null, else appended to that file. False when the file cannot be opened.
bool printCallbackList(EffectCallbackList list, const char* fileName);

// The handlers of this file's rows.
void formulaDumpCommand(const ConsoleArgs& args);
void callbackDumpCommand(const ConsoleArgs& args);
void echoCommand(const ConsoleArgs& args);
void layoutDumpCommand(const ConsoleArgs& args);
void forceCrashCommand(const ConsoleArgs& args);
void endGameCommand(const ConsoleArgs& args);
void setSpeedFactorCommand(const ConsoleArgs& args);
void profileCommand(const ConsoleArgs& args);
void profileServerCommand(const ConsoleArgs& args);
void profileScriptsCommand(const ConsoleArgs& args);
void profileNetworkCommand(const ConsoleArgs& args);
void empSettingCommand(const ConsoleArgs& args);
void gameSettingCommand(const ConsoleArgs& args);

// The network's commands (network_commands.cpp).
void connectCommand(const ConsoleArgs& args);
void disconnectCommand(const ConsoleArgs& args);
void hostCommand(const ConsoleArgs& args);
void netSimCommand(const ConsoleArgs& args);

// Chat, names and the players (chat_commands.cpp).
void sayCommand(const ConsoleArgs& args);
void nickCommand(const ConsoleArgs& args);
void playAsCommand(const ConsoleArgs& args);
void playersCommand(const ConsoleArgs& args);
void kickCommand(const ConsoleArgs& args);
void banCommand(const ConsoleArgs& args);

// The remote console (remote_command.cpp): the command text built from the
// arguments after the password as `bind` builds its text (one blank between
// them, an argument holding a blank wrapped in double quotes), and the
// command that sends it to the server with the password (144).
irr::core::stringw remoteCommandText(const ConsoleArgs& args);
void remoteCommand(const ConsoleArgs& args);

// Reads a port: digits accumulate, '.' and ',' are skipped, a '-' is taken
// (and ignored) only as the first character, anything else ends it; the
// number wraps at 16 bits ("13000x" 13000, "" 0).
uint16_t parsePort(const irr::core::stringw& text);

// Where `connect` goes for its argument: with exactly one ':' the address
// before it and the port after it (parsePort); with none, or with two or
// more (an IPv6 form), the whole text and port 12100.
struct ConnectTarget {
  irr::core::stringw address;
  uint16_t port;
};
ConnectTarget splitConnectTarget(const irr::core::stringw& text);
