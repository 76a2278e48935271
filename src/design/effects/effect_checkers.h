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
#pragma once

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

template <const ArgumentRule& rule>
bool checkArguments(const TemplateArgList& args, const char* file, int line) {
  const irr::u32 count = args.size();
  if (count > rule.maximum)
    logWarning("%s(%i) warning: %s() takes %s template parameters, not %u\n", file, line, rule.name,
               rule.countText, count);
  if (count < rule.minimum) {
    logError("%s(%i) error: %s() requires %s template parameters\n", file, line, rule.name, rule.countText);
    return false;
  }
  for (irr::u32 parameter : rule.resourceParameters) {
    if (parameter == 0)
      break;
    if (args[parameter - 1].kind != TAK_StateName) {
      logError("%s(%i) error: %s() requires parameter %i be type '%s'\n", file, line, rule.name,
               static_cast<int>(parameter), templateArgKindName(TAK_StateName));
      return false;
    }
  }
  return true;
}
