#include "ui/widgets.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QHelpEvent>
#include <QToolTip>
#include <QStyledItemDelegate>
#include <QSvgRenderer>
#include <QWindow>
#include <algorithm>
#include <atomic>

#include "core/string_table.h"
#include "ui/desktop.h"

namespace bk::ui {
namespace {

std::atomic<HelpHandler> help_handler{nullptr};

// Qt's item views have no grid lines of their own: each cell draws its right
// and bottom edge.
class GridDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        // The label tip: the whole text of a cell too narrow for it.
        if (event->type() == QEvent::ToolTip && index.isValid()) {
            const QString text = index.data(Qt::DisplayRole).toString();
            if (option.fontMetrics.horizontalAdvance(text) + 24 > view->visualRect(index).width())
                QToolTip::showText(event->globalPos(), text, view);
            else
                QToolTip::hideText();
            return true;
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
};

}  // namespace

void set_help_handler(HelpHandler handler) { help_handler.store(handler); }

void request_help(int template_id) {
    if (const HelpHandler handler = help_handler.load()) handler(template_id);
}

QString str(int id) { return qs(load_string(id)); }

CBasicDlg::CBasicDlg(int template_id, const QString& caption, QWidget* parent)
    : QDialog(parent), template_id_(template_id) {
    setObjectName(QString::number(template_id));
    setWindowTitle(caption);
}

void CBasicDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        request_help(template_id_);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

CBasicPropertySheet::CBasicPropertySheet(QWidget* parent) : QDialog(parent), tabs_(new QTabWidget(this)) {
    setObjectName(QStringLiteral("setup_sheet"));
    setWindowTitle(str(ids::SETTINGS_CAPTION));
    tabs_->setUsesScrollButtons(false);  // every page's caption in sight, as on a property sheet
}

void CBasicPropertySheet::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        // The page in front knows its own topic.
        if (QWidget* page = tabs_->currentWidget()) request_help(page->objectName().toInt());
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QPushButton* make_button(QWidget* parent, int id, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    return button;
}

QPushButton* make_browse_button(QWidget* parent, int id) {
    QPushButton* button = make_button(parent, id, QStringLiteral("..."));
    button->setMaximumWidth(button->fontMetrics().horizontalAdvance(button->text()) * 3 + 16);
    return button;
}

QHBoxLayout* row_of(std::initializer_list<QWidget*> widgets, int stretch_index) {
    auto* row = new QHBoxLayout;
    int index = 0;
    for (QWidget* widget : widgets) row->addWidget(widget, index++ == stretch_index ? 1 : 0);
    return row;
}

QLayout* ok_cancel_row(QDialog* dialog, QPushButton** ok_out) {
    auto* row = new QHBoxLayout;
    QPushButton* ok = make_button(dialog, 1, QStringLiteral("ОК"));
    QPushButton* cancel = make_button(dialog, 2, QStringLiteral("Отмена"));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    if (ok_out) *ok_out = ok;
    return row;
}

void report_list(QTreeWidget* list, std::initializer_list<int> column_ids) {
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->setIconSize(QSize(16, 16));
    list->setItemDelegate(new GridDelegate(list));
    QStringList titles;
    for (const int id : column_ids) titles << str(id);
    list->setHeaderLabels(titles);
}

void fit_columns(QTreeWidget* list) {
    for (int column = 0; column < list->columnCount(); ++column) list->resizeColumnToContents(column);
}

void widen_to_columns(QDialog* dialog, QTreeWidget* list) {
    // Wider than the screen helps nobody: past that the list scrolls and the tips tell the rest.
    const QScreen* screen = dialog->screen() ? dialog->screen() : QGuiApplication::primaryScreen();
    const int most = screen ? screen->availableGeometry().width() * 9 / 10 : dialog->width();
    const QMargins margins = dialog->layout() ? dialog->layout()->contentsMargins() : QMargins();
    const int wanted = list->header()->length() + 2 * list->frameWidth() +
                       list->verticalScrollBar()->sizeHint().width() + margins.left() + margins.right();
    dialog->resize(std::max(dialog->width(), std::min(wanted, most)), dialog->height());
}

QString qt_filter(const std::wstring& filter) {
    // Programs here have no ".exe", and "*.*" would miss names without a dot:
    // both stand for every file, in the shown text as well.
    static const QRegularExpression shown_patterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    const QStringList parts = qs(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const bool any = pattern.trimmed() == QLatin1String("*.*") ||
                             pattern.trimmed().compare(QLatin1String("*.exe"), Qt::CaseInsensitive) == 0;
            const QString mapped = any ? QStringLiteral("*") : pattern.trimmed();
            if (!patterns.contains(mapped)) patterns << mapped;
        }
        QString text = parts[i];
        text.remove(shown_patterns);
        filters << QStringLiteral("%1 (%2)").arg(text, patterns.join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

QString qt_filter(int string_id) { return qt_filter(load_string(string_id)); }

QIcon module_icon(int id) {
    // Drawn from the SVG at each size, so no image plug-in is needed.
    QSvgRenderer renderer(QStringLiteral(":/icons/%1").arg(id));
    QIcon icon;
    if (!renderer.isValid()) return icon;
    for (const int size : {16, 24, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QWidget* host_widget(void* parent) {
    if (!parent) return nullptr;
    return QWidget::find(static_cast<WId>(reinterpret_cast<quintptr>(parent)));
}

void attach_to_host(QWidget* dialog, void* parent) {
    if (!parent || dialog->parentWidget()) return;
    QWindow* foreign = QWindow::fromWinId(static_cast<WId>(reinterpret_cast<quintptr>(parent)));
    if (!foreign) return;
    static_cast<QObject*>(foreign)->setParent(dialog);  // gone with the dialog
    dialog->winId();  // the dialog needs its own window to be transient for another
    if (QWindow* own = dialog->windowHandle()) own->setTransientParent(foreign);
}

}  // namespace bk::ui
