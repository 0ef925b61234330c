#pragma once
// Finding a plug-in's parameters by name or index and setting them from text
// the way a user writes it: in the parameter's own units, converted through
// the plug-in's own opcodes, or as a normalised value.

#include "tools/vsthost.h"

#include <string>

namespace vsthost {

// Names match case-insensitively (surrounding blanks ignored); a number that
// names no parameter is taken as an index. A name shared by several
// parameters is refused as ambiguous.
bool FindParameter(Plugin& plugin, const std::string& nameOrIndex, int* index, std::string* error);

// A plain value in the parameter's units. Tried in turn:
//  1. effString2Parameter, when the plug-in answers it (non-zero);
//  2. the display texts across the range, for a text such as "On" or "Hall";
//  3. a number searched by bisection on effGetParamDisplay, for displays
//     that show numbers ("-6.0", "2.5 kHz" reads as 2.5: the display's units).
// When nothing fits, the parameter keeps its value and *error says why.
bool SetParameterPlain(Plugin& plugin, int index, const std::string& text, std::string* error);
// A normalised value, 0 to 1.
bool SetParameterNormalised(Plugin& plugin, int index, const std::string& text, std::string* error);

// Number parsing that ignores the process locale: the whole text when
// `whole`, else its leading number (trailing units allowed). False when there
// is no finite number.
bool ParseNumber(const std::string& text, bool whole, double* value);

}  // namespace vsthost
