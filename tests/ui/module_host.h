// A host window and libvardobk.so driven through its exports on the
// offscreen platform, with the windows it opens answered by a script.
#pragma once
#include <QtTest>
#include <QtWidgets>

#include "app/test_host.h"
#include "ui/modal.h"

namespace uitest {

using namespace cmdtest;
using Script = ModalScript;

inline std::vector<std::string> help_asked;
inline void BK_CALL on_help(const char* key) { help_asked.push_back(key); }

inline Script::Action press(const char* id) { return [=](QWidget* w) { return click(w, id); }; }
inline Script::Action box_says(const std::wstring& text, const char* answer) {
    return [=](QWidget* w) {
        EXPECT_EQ(static_cast<QMessageBox*>(w)->text().toStdWString(), text);
        return click(w, answer);
    };
}

class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { start_application(); }
    void SetUp() override { window.show(); }  // the host's main window, known to the module by its native id
    // bkDispatch while the script answers the windows; the module's first message.
    std::pair<uint32_t, std::string> run(int32_t command, const Script&, uint32_t flags = BKF_INTERACTIVE) {
        const uint32_t result =
            bkDispatch(command, reinterpret_cast<void*>(window.winId()), flags, TestHost::callback(), on_help);
        std::string text(256, '\0');
        text.resize(static_cast<size_t>(std::max(0, bkLastError(0, text.data(), 256))));
        return {result, text};
    }

    TestHost host;
    QWidget window;
};
using Result = std::pair<uint32_t, std::string>;

}  // namespace uitest
