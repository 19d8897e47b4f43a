#include "ui/wait_dlg.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <thread>

#include "core/string_table.h"
#include "tasks/user_interface.h"
#include "ui/message_box.h"

namespace bk::ui {

CWaitDlg::CWaitDlg(QWidget* parent, const QString& headline)
    : CBasicDlg(10016, str(ids::APP_CAPTION), parent),
      bar_(new QProgressBar(this)),
      message_(new QLabel(this)),
      headline_(new QLabel(headline, this)) {
    headline_->setObjectName(QStringLiteral("11038"));
    headline_->setAlignment(Qt::AlignCenter);
    message_->setObjectName(QStringLiteral("11039"));
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->setFixedHeight(2 * message_->fontMetrics().lineSpacing() + 4);
    bar_->setObjectName(QStringLiteral("11041"));
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    QSizePolicy keep_place = bar_->sizePolicy();  // the window must not jump when the bar comes and goes
    keep_place.setRetainSizeWhenHidden(true);
    bar_->setSizePolicy(keep_place);
    QPushButton* cancel = make_button(this, 11065, QStringLiteral("Отмена"));
    cancel->setAutoDefault(false);  // Enter must not press it
    connect(cancel, &QPushButton::clicked, this, [this] {
        std::lock_guard guard(cancel_lock_);
        cancel_ = true;
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headline_);
    layout->addWidget(message_);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(cancel);
    row->addStretch(1);
    layout->addLayout(row);
    setMinimumWidth(400);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    refresh();
}

void CWaitDlg::run(const std::function<void(IWorkerStatus&)>& work) {
    std::thread worker([&] {
        work(*this);
        worker_ended_ = true;
    });
    timer_.start(200, this);
    QDialog::exec();
    worker.join();
}

bool CWaitDlg::canceled() {
    std::lock_guard guard(cancel_lock_);
    return cancel_;
}

TaskStatus CWaitDlg::get_status() {
    std::lock_guard guard(status_lock_);
    return status_;
}

void CWaitDlg::set_status(const TaskStatus& status) {
    std::lock_guard guard(status_lock_);
    status_ = status;
}

int CWaitDlg::ask(const std::wstring& text, uint32_t type) {
    // The box belongs to the window's thread; the worker waits for the answer.
    int answer = unattended_answer(type);
    QMetaObject::invokeMethod(
        this, [&] { answer = show_message_box(this, text, type); }, Qt::BlockingQueuedConnection);
    return answer;
}

void CWaitDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter: event->accept(); return;
        default: CBasicDlg::keyPressEvent(event);
    }
}

void CWaitDlg::closeEvent(QCloseEvent* event) { event->ignore(); }

void CWaitDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        CBasicDlg::timerEvent(event);
        return;
    }
    refresh();
    if (worker_ended_) {
        timer_.stop();
        QDialog::done(IDCANCEL);
    }
}

void CWaitDlg::refresh() {
    const TaskStatus status = get_status();
    message_->setText(qs(status.text));
    if (status.progress >= 0) bar_->setValue(status.progress);
    bar_->setVisible(status.progress >= 0);
    repaint();
}

}  // namespace bk::ui
