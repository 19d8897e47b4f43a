// The commands of an editable list (add, edit, delete, up, down,
// properties): one action each, named by its command id and carrying its
// keys, shared by the list's toolbar and its context menu, so that a key,
// a button and a menu item always do the same thing and are enabled alike.
#pragma once
#include <QAction>
#include <QObject>
#include <QToolBar>
#include <QTreeWidget>
#include <functional>
#include <initializer_list>
#include <map>
#include <vector>

namespace bk::ui {

inline constexpr int CMD_LIST_ADD = 10501;
inline constexpr int CMD_LIST_EDIT = 10502;
inline constexpr int CMD_LIST_DELETE = 10503;
inline constexpr int CMD_LIST_UP = 32771;
inline constexpr int CMD_LIST_DOWN = 32772;
inline constexpr int CMD_LIST_PROPERTIES = 32773;
// Stands for the separator in a menu's list of commands.
inline constexpr int MENU_SEPARATOR = 0;

class ListCommands : public QObject {
public:
    using Handler = std::function<void(int command)>;

    // The actions of menu (in that order, MENU_SEPARATOR between groups) on
    // list; their keys act while the list has the focus. A right click or
    // the menu key opens the context menu. handler gets every command.
    ListCommands(QTreeWidget* list, std::initializer_list<int> menu, Handler handler);

    // A flat toolbar named toolbar_id with buttons for the given commands
    // (each must be in the menu), tool tips from the menu texts.
    QToolBar* make_toolbar(QWidget* parent, int toolbar_id, std::initializer_list<int> buttons);

    QAction* action(int command) const;
    void set_enabled(int command, bool enabled);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show_menu(const QPoint& at);

    QTreeWidget* list_;
    std::map<int, QAction*> actions_;
    std::vector<int> menu_;
};

}  // namespace bk::ui
