// Help topics of the dialogs.
#pragma once
#include <string>
#include "vardobk/vardobk.h"

namespace bk {

// The topic key of a dialog template id; empty for an unknown id.
std::string help_key_for_dialog(int template_id);
// Calls the host's help callback of the running command with the key of the id.
void show_help(int template_id);

// The host's help callback, set only while bkDispatch runs.
void set_help_callback(HelpCallback help);

}  // namespace bk
