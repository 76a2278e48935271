// The argument checker that the native effect functions share: it runs when
// an effect file binds a hook to a template function and decides whether
// the hook may bind.
//
//   more parameters than the maximum  warning "<file>(<line>) warning: <name>()
//                                     takes <count> template parameters, not <n>";
//                                     the extra ones are kept and ignored
//   fewer than the minimum            error "... error: <name>() requires <count>
//                                     template parameters"; refused
//   a resource parameter of another   error "... error: <name>() requires parameter
//   kind                              <i> be type 'State Name'"; refused (the
//                                     first such parameter is reported)
//
// checkArgumentList is the same check for any argument list (the effector
// functions use it with their own kinds and log level).
#pragma once

#include <cstdint>

#include "core/log.h"
#include "design/effects/effects.h"

// What a function accepts: its name and parameter count as the messages
// give them, and the 1-based parameters that must name a resource (0 ends
// the list).
struct ArgumentRule {
  const char* name;
  const char* countText;
  irr::u32 minimum;
  irr::u32 maximum;
  irr::u32 resourceParameters[2];
};

// The check itself, for any argument list whose elements carry a `kind`:
// a resource parameter must be of `resourceKind`, named `resourceKindName`
// in the message; `warningAsError` logs the warning at the error level.
template <class ArgList>
bool checkArgumentList(const ArgumentRule& rule, const ArgList& args, uint32_t resourceKind,
                       const char* resourceKindName, bool warningAsError, const char* file, int line) {
  const irr::u32 count = args.size();
  if (count > rule.maximum)
    (warningAsError ? logError : logWarning)("%s(%i) warning: %s() takes %s template parameters, not %u\n", file, line,
                                             rule.name, rule.countText, count);
  if (count < rule.minimum) {
    logError("%s(%i) error: %s() requires %s template parameters\n", file, line, rule.name, rule.countText);
    return false;
  }
  for (irr::u32 parameter : rule.resourceParameters) {
    if (parameter == 0)
      break;
    if (args[parameter - 1].kind != resourceKind) {
      logError("%s(%i) error: %s() requires parameter %i be type '%s'\n", file, line, rule.name,
               static_cast<int>(parameter), resourceKindName);
      return false;
    }
  }
  return true;
}

template <const ArgumentRule& rule>
bool checkArguments(const TemplateArgList& args, const char* file, int line) {
  return checkArgumentList(rule, args, TAK_StateName, templateArgKindName(TAK_StateName), false, file, line);
}
