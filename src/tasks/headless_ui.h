// The user interface of a machine without a display: progress and messages
// go to standard error, questions get their unattended answer, and a dialog
// in which the user must choose fails the command (dialog_unavailable).
#pragma once
#include "tasks/user_interface.h"

namespace bk {

class HeadlessUserInterface : public IUserInterface {
public:
    int message_box(void* parent, const std::wstring& text, uint32_t type) override;
    void run_with_progress(void* parent, const std::wstring& headline,
                           const std::function<void(IWorkerStatus&)>& work) override;
    bool backup_dialog(void* parent, const std::vector<Component>& components, AutoParams& params) override;
    std::optional<std::wstring> restore_dialog(void* parent, const RestoreDialogInput& input) override;
    // The heading and one line per problem, as the warnings list would show them.
    void restore_warnings(void* parent, const std::wstring& archive,
                          const std::vector<RestoreProblem>& problems) override;
    bool settings_sheet(void* parent, SetupContext& context) override;
};

}  // namespace bk
