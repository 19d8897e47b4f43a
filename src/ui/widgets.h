// What every dialog of the module is built from: the two bases that give F1
// to the host's help, buttons named by their ids, texts of the string table
// and the module's icons.
#pragma once
#include <QDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QString>
#include <QTabWidget>
#include <QTreeWidget>
#include <initializer_list>
#include <string>

namespace bk::ui {

inline QString qs(const std::wstring& text) { return QString::fromStdWString(text); }
inline std::wstring ws(const QString& text) { return text.toStdWString(); }
// The text of a string id.
QString str(int id);

void request_help(int template_id);

// A dialog named by its template id; F1 asks the host for the template's
// help topic and is always taken as handled.
class CBasicDlg : public QDialog {
public:
    CBasicDlg(int template_id, const QString& caption, QWidget* parent);
    int template_id() const { return template_id_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int template_id_;
};

// The settings sheet: pages are tabs named by their template ids, and F1
// asks for the help of the page in front.
class CBasicPropertySheet : public QDialog {
public:
    explicit CBasicPropertySheet(QWidget* parent);
    QTabWidget* tabs() const { return tabs_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTabWidget* tabs_;
};

// widget, named by its control id.
template <typename T>
T* named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

// A push button whose objectName is its control id.
QPushButton* make_button(QWidget* parent, int id, const QString& text);
// A "..." button, named by its control id, as narrow as its text allows.
QPushButton* make_browse_button(QWidget* parent, int id);
// The widgets side by side; the one at stretch_index takes the room left.
QHBoxLayout* row_of(std::initializer_list<QWidget*> widgets, int stretch_index = 0);
// "ОК" (1) wired to accept and "Отмена" (2) wired to reject, right-aligned.
QLayout* ok_cancel_row(QDialog* dialog, QPushButton** ok = nullptr);

// A list view in report style: full-row single selection, grid lines, the
// columns titled by string ids, and every cell's text as its tool tip, so
// that a cut-off text can still be read.
void report_list(QTreeWidget* list, std::initializer_list<int> column_ids);
// Each column as wide as its widest text and its title; call after filling.
void fit_columns(QTreeWidget* list);
// As wide as all of list's columns, within the screen; never narrower than now.
void widen_to_columns(QDialog* dialog, QTreeWidget* list);

// A chooser filter of the form "text|pattern;pattern|text|pattern||" in Qt's
// form "text (pattern pattern);;text (pattern)". "*.*" means every file, also
// one whose name has no dot, and becomes "*".
QString qt_filter(const std::wstring& filter);
// The filter that is the text of a string id.
QString qt_filter(int string_id);

// A drawn icon of the module, :/icons/<id>.
QIcon module_icon(int id);

// The QWidget of the process with the host's native window id, if any.
QWidget* host_widget(void* parent);
// When the host's window is not a widget of this process, makes it the
// transient parent of dialog, so the desktop keeps the dialog above it.
void attach_to_host(QWidget* dialog, void* parent);

}  // namespace bk::ui
