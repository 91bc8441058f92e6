// The desktop program: the Qt application around the main window.
#pragma once

namespace tracora::app {

// Whether a window can be shown: a display server is named in the environment.
bool DisplayAvailable();

// Runs the desktop program until its window closes; returns the exit code.
int RunDesktop(int argc, char** argv);

}  // namespace tracora::app
