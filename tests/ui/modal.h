// Drives the module's modal windows as a user would, from the event loop the
// module runs: each step waits for a window in front (by objectName or Qt
// class) and acts on it until its action says it is done. A script that is
// not through in time fails and closes whatever is open, so no test hangs.
#pragma once
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>

namespace uitest {

// The module's application object is the process's; made here first so the
// tests can look at its windows.
inline void ensure_application() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

template <typename T = QWidget>
T* child(QWidget* window, const char* id) {
    T* found = window->findChild<T*>(QString::fromLatin1(id));
    if (!found) ADD_FAILURE() << "no control " << id << " in " << window->objectName().toStdString();
    return found;
}
inline void click(QWidget* window, const char* id) {
    if (auto* button = child<QAbstractButton>(window, id)) button->click();
}

class ModalScript {
public:
    using Action = std::function<bool(QWidget*)>;  // true: the step is done

    explicit ModalScript(int timeout_ms = 30000) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { tick(); });
        poll_.start(20);
        QTimer::singleShot(timeout_ms, &poll_, [this] { timed_out_ = true; });
    }
    ~ModalScript() {
        EXPECT_FALSE(timed_out_) << "still waiting for window " << waited_for_.toStdString() << " when time was up";
        EXPECT_TRUE(steps_.empty()) << steps_.size() << " steps not taken";
    }
    ModalScript& then(const char* window, Action action) {
        steps_.push_back({window, std::move(action)});
        return *this;
    }
    // Presses a button of the window in front.
    ModalScript& press(const char* window, const char* id) {
        return then(window, [id](QWidget* w) { return click(w, id), true; });
    }

private:
    struct Step {
        QString window;
        Action action;
    };

    void tick() {
        QWidget* front = QApplication::activeModalWidget();
        if (timed_out_) {
            if (!steps_.empty()) waited_for_ = steps_.front().window + " in front: " + (front ? front->metaObject()->className() + QString(" ") + front->objectName() : QString("none"));
            steps_.clear();
            if (auto* dialog = qobject_cast<QDialog*>(front)) {
                if (auto* stop = dialog->findChild<QAbstractButton*>(QStringLiteral("11065"))) stop->click();
                else dialog->reject();
            }
            return;
        }
        if (busy_ || steps_.empty() || !front || !front->isVisible()) return;
        if (front->objectName() != steps_.front().window && !front->inherits(qPrintable(steps_.front().window)))
            return;
        busy_ = true;
        Step step = steps_.front();
        steps_.pop_front();
        // Acted on from the loop, not from the timer: a click may open a
        // nested modal window while the next steps go on being polled.
        QTimer::singleShot(0, &poll_, [this, window = QPointer<QWidget>(front), step] {
            busy_ = false;
            if (!window || !step.action(window)) steps_.push_front(step);
        });
    }

    QTimer poll_;
    std::deque<Step> steps_;
    bool busy_ = false;
    bool timed_out_ = false;
    QString waited_for_;
};

}  // namespace uitest
