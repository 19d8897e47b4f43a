#include "ui/list_commands.h"

#include <QKeyEvent>
#include <QMenu>

#include "core/string_table.h"
#include "ui/widgets.h"

namespace bk::ui {
namespace {

struct CommandLook {
    int command;
    int text_id;
    int icon_id;
    QList<QKeySequence> keys;
};

// The task list has no up and down; it reaches properties with Ctrl+F4.
const CommandLook& look_of(int command) {
    static const CommandLook looks[] = {
        {CMD_LIST_ADD, ids::CMD_ADD, 10013, {Qt::Key_Insert, Qt::Key_F7}},
        {CMD_LIST_EDIT, ids::CMD_EDIT, 10012, {Qt::Key_F4}},
        {CMD_LIST_DELETE, ids::CMD_DELETE, 10011, {Qt::Key_Delete, Qt::Key_F8}},
        {CMD_LIST_UP, ids::CMD_MOVE_UP, 10025, {QKeySequence(Qt::CTRL | Qt::Key_PageUp)}},
        {CMD_LIST_DOWN, ids::CMD_MOVE_DOWN, 10024, {QKeySequence(Qt::CTRL | Qt::Key_PageDown)}},
        {CMD_LIST_PROPERTIES, ids::CMD_PROPERTIES, 10028, {QKeySequence(Qt::CTRL | Qt::Key_F4)}},
    };
    for (const CommandLook& look : looks)
        if (look.command == command) return look;
    return looks[0];
}

}  // namespace

ListCommands::ListCommands(QTreeWidget* list, std::initializer_list<int> menu, Handler handler)
    : QObject(list), list_(list), menu_(menu) {
    for (const int command : menu_) {
        if (command == MENU_SEPARATOR) continue;
        const CommandLook& look = look_of(command);
        auto* action = new QAction(module_icon(look.icon_id), str(look.text_id), list);
        action->setObjectName(QString::number(command));
        action->setShortcuts(look.keys);
        // The keys belong to the list: Delete in an edit field of the page deletes text, not a row.
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, this, [handler, command] { handler(command); });
        list->addAction(action);
        actions_[command] = action;
    }
    list->installEventFilter(this);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, &ListCommands::show_menu);
}

QToolBar* ListCommands::make_toolbar(QWidget* parent, int toolbar_id, std::initializer_list<int> buttons) {
    auto* toolbar = new QToolBar(parent);
    toolbar->setObjectName(QString::number(toolbar_id));
    toolbar->setIconSize(QSize(16, 16));
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const int command : buttons)
        if (QAction* found = action(command)) toolbar->addAction(found);
    return toolbar;
}

QAction* ListCommands::action(int command) const {
    const auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
}

void ListCommands::set_enabled(int command, bool enabled) {
    if (QAction* found = action(command)) found->setEnabled(enabled);
}

bool ListCommands::eventFilter(QObject* watched, QEvent* event) {
    // The keys reach the list itself when the shortcut map passes them by (a
    // window the desktop has not activated, a host's own key handling): the
    // list translates them as its accelerator table would.
    if (watched != list_ || event->type() != QEvent::KeyPress) return false;
    const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
    for (const auto& [command, action] : actions_) {
        if (!action->shortcuts().contains(pressed)) continue;
        if (action->isEnabled()) action->trigger();
        return true;
    }
    return false;
}

void ListCommands::show_menu(const QPoint& at) {
    QMenu menu(list_);
    for (const int command : menu_) {
        if (command == MENU_SEPARATOR) menu.addSeparator();
        else menu.addAction(action(command));
    }
    // From the keyboard Qt reports the middle of the list; the current row is where the user looks.
    QPoint where = at;
    if (const QTreeWidgetItem* current = list_->currentItem(); current && !list_->underMouse())
        where = list_->visualItemRect(current).center();
    menu.exec(list_->viewport()->mapToGlobal(where));
}

}  // namespace bk::ui
