// Built when SDL2 is not found: --live says so.
#include "live/Live.h"

namespace zohost::live {

int runLive(const tool::ToolOptions&, std::ostream&, std::ostream& err) {
    err << "zohost: --live: this zohost was built without SDL2\n";
    return tool::kUsage;
}

}  // namespace zohost::live
