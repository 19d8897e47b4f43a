// The progress window of a worker task. It is the task's IWorkerStatus: the
// worker writes its status and reads the cancel flag under their own locks,
// the window polls them every 200 ms, and the worker's questions are shown by
// the window's thread while the worker waits for the answer.
#pragma once
#include <QBasicTimer>
#include <QLabel>
#include <QProgressBar>
#include <atomic>
#include <functional>
#include <mutex>

#include "core/worker_status.h"
#include "ui/widgets.h"

namespace bk::ui {

class CWaitDlg final : public CBasicDlg, public IWorkerStatus {
public:
    CWaitDlg(QWidget* parent, const QString& headline);

    // Runs work on a worker thread and shows the window until the first tick
    // after the thread has ended.
    void run(const std::function<void(IWorkerStatus&)>& work);

    bool canceled() override;
    TaskStatus get_status() override;
    void set_status(const TaskStatus& status) override;
    int ask(const std::wstring& text, uint32_t type) override;

protected:
    // The user cannot close the window: only the end of the worker does.
    void reject() override {}
    void accept() override {}
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void refresh();

    QProgressBar* bar_;
    QLabel* message_;
    QLabel* headline_;
    QBasicTimer timer_;
    std::atomic<bool> worker_ended_{false};
    std::mutex cancel_lock_;
    bool cancel_ = false;
    std::mutex status_lock_;
    TaskStatus status_;
};

}  // namespace bk::ui
