// The module's user interface on a desktop. This header is free of Qt, so
// that the module can install the interface without seeing Qt itself.
#pragma once
#include "tasks/user_interface.h"

namespace bk::ui {

// DISPLAY or WAYLAND_DISPLAY is set, or a Qt platform is forced (offscreen in tests).
bool display_present();

// The Qt dialogs and message boxes. Commands call it on the host's
// user-interface thread; the first dialog makes the process's QApplication
// when the host has none.
IUserInterface& qt_user_interface();

// F1 in a dialog calls handler with the dialog's template id (the module
// turns it into the help key for the host's callback).
using HelpHandler = void (*)(int template_id);
void set_help_handler(HelpHandler handler);

}  // namespace bk::ui
