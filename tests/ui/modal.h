// Drives the module's modal windows as a user would: each step waits for the
// window in front (by objectName or Qt class) and acts on it until its action
// returns true. A script not through in time fails and closes what is open
// (a progress window by its "Отмена"), so no test hangs.
#pragma once
#include <QtWidgets>
#include <gtest/gtest.h>
#include <deque>
#include <functional>

namespace uitest {

template <typename T = QWidget>
T* child(QWidget* window, const char* id) {
    T* found = window->findChild<T*>(QString::fromLatin1(id));
    if (!found) ADD_FAILURE() << "no control " << id << " in " << window->objectName().toStdString();
    return found;
}
// The process's one application object (the module uses it too), offscreen.
inline void start_application() {
    static int argc = 1;
    static char name[] = "test_ui", *argv[] = {name, nullptr};
    if (!QApplication::instance()) setenv("QT_QPA_PLATFORM", "offscreen", 1), new QApplication(argc, argv);
}
inline bool click(QWidget* window, const char* id) {
    if (auto* button = child<QAbstractButton>(window, id)) button->click();
    return true;
}

class ModalScript {
public:
    using Action = std::function<bool(QWidget*)>;
    explicit ModalScript(int timeout_ms = 30000) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { tick(); });
        poll_.start(20);
        QTimer::singleShot(timeout_ms, &poll_, [this] { late_ = int(steps_.size()), steps_.clear(); });
    }
    ~ModalScript() { EXPECT_TRUE(steps_.empty() && late_ < 0) << "steps left: " << late_ << " when time was up"; }
    ModalScript& then(const char* window, Action action) { return steps_.push_back({window, action}), *this; }

private:
    void tick() {
        QWidget* front = QApplication::activeModalWidget();
        if (late_ >= 0 && front) {
            if (auto* stop = front->findChild<QAbstractButton*>(QStringLiteral("11065"))) stop->click();
            else if (auto* dialog = qobject_cast<QDialog*>(front)) dialog->reject();
        }
        if (busy_ || steps_.empty() || !front || !front->isVisible()) return;
        const auto step = steps_.front();
        if (front->objectName() != step.first && !front->inherits(qPrintable(step.first))) return;
        busy_ = true;
        steps_.pop_front();
        // Acted on from the loop, not the timer: a click may open a nested window.
        QTimer::singleShot(0, &poll_, [this, window = QPointer<QWidget>(front), step] {
            busy_ = false;
            if (!window || !step.second(window)) steps_.push_front(step);
        });
    }

    QTimer poll_;
    std::deque<std::pair<QString, Action>> steps_;
    bool busy_ = false;
    int late_ = -1;  // the steps left when time was up
};

}  // namespace uitest
