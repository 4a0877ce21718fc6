#include "config/diagnostic.h"

namespace qelv::core {

void writeDiagnostic(std::ostream& out, std::string_view message, const char* file, int line) {
    std::string_view name = file;
    if (const auto slash = name.find_last_of('/'); slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    out << name << "(line:" << line << ") " << message << '\n';
}

}  // namespace qelv::core
