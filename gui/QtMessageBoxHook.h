#pragma once

namespace tavrin {

// Routes the core's message boxes to Qt: a modal box on the main thread; a
// worker that asks waits until the operator dismissed it. Call on the main
// thread after the application object exists.
void InstallQtMessageBoxHook();

}  // namespace tavrin
