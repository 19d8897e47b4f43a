// The user interface of a machine without a display: progress and messages
// go to standard error, questions get their unattended answer.
#pragma once
#include "tasks/user_interface.h"

namespace bk {

class HeadlessUserInterface : public IUserInterface {
public:
    int message_box(void* parent, const std::wstring& text, uint32_t type) override;
    void run_with_progress(void* parent, const std::wstring& headline,
                           const std::function<void(IWorkerStatus&)>& work) override;
};

}  // namespace bk
