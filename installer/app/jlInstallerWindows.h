// The installer's few windows on the desktop: SDL message boxes for the
// question and the errors, zenity for the folder chooser, and a small SDL
// window that says to wait while the loops are decoded. Everything runs on
// the one thread of the program. A box that cannot be shown counts as "No".
#pragma once
#include "installer/jlDemoInstaller.h"

// SDL video should be initialised first; without it the waiting window is
// left out and the boxes still try to appear.
JLInstallerUi JL_DesktopInstallerUi();
