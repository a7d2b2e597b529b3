#include "base/platform/SystemFolders.h"

namespace tavrin {

std::string SystemColorProfileFolder()
{
#ifdef _WIN32
    return "C:\\Windows\\System32\\spool\\drivers\\color";
#else
    return "/usr/share/color/icc";
#endif
}

}  // namespace tavrin
