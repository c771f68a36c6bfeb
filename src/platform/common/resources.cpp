// The program's resources, linked in at build time (the fw_resources target
// writes the arrays from res/). Implements findResource for "MAINICON", the
// icon group as a .ico file. No other resource type or name exists; names are
// compared exactly, not by numeric id.
#include <cstring>

#include "layer.h"

namespace fwlayer {

extern const uint8_t kMainIcon[];
extern const size_t kMainIconSize;

Resource findResource(const char* name) {
    if (name != nullptr && std::strcmp(name, "MAINICON") == 0) return Resource{kMainIcon, kMainIconSize};
    return Resource{nullptr, 0};
}

}  // namespace fwlayer
