#include "tasks/user_interface.h"

#include <atomic>

#include "tasks/headless_ui.h"

namespace bk {
namespace {

std::atomic<IUserInterface*> installed{nullptr};

int button_of(uint32_t type, int index) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return index == 0 ? IDOK : IDCANCEL;
        case MB_ABORTRETRYIGNORE: return index == 0 ? IDABORT : index == 1 ? IDRETRY : IDIGNORE;
        case MB_YESNOCANCEL: return index == 0 ? IDYES : index == 1 ? IDNO : IDCANCEL;
        case MB_YESNO: return index == 0 ? IDYES : IDNO;
        case MB_RETRYCANCEL: return index == 0 ? IDRETRY : IDCANCEL;
        default: return IDOK;
    }
}

}  // namespace

int unattended_answer(uint32_t type) {
    if ((type & MB_TYPEMASK) == MB_RETRYCANCEL) return IDCANCEL;
    int index = 0;
    if ((type & MB_DEFMASK) == MB_DEFBUTTON2) index = 1;
    if ((type & MB_DEFMASK) == MB_DEFBUTTON3) index = 2;
    return button_of(type, index);
}

IUserInterface& user_interface() {
    static HeadlessUserInterface headless;
    IUserInterface* ui = installed.load();
    return ui ? *ui : headless;
}

void set_user_interface(IUserInterface* ui) { installed.store(ui); }

}  // namespace bk
