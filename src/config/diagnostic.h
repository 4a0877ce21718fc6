// Diagnostic lines of the configuration and INI parsing. The user never sees them; the viewer
// sends them to standard output, the command-line tool to standard error.
#pragma once

#include <ostream>
#include <string_view>

namespace qelv::core {

// Writes "<source file>(line:<n>) <message>\n", naming the place in this program that
// noticed the problem (the caller's file and line by default).
void writeDiagnostic(std::ostream& out, std::string_view message,
                     const char* file = __builtin_FILE(), int line = __builtin_LINE());

}  // namespace qelv::core
