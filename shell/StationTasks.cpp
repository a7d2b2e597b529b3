#include "shell/TaskKinds.h"

namespace tavrin {

// The composition of the station's tasks: each joins the chain here.
TTaskKinds StationTaskKinds()
{
    TTaskKinds kinds;
    return kinds;
}

}  // namespace tavrin
