#include "app/help.h"

#include <map>

namespace bk {
namespace {

HelpCallback current_help = nullptr;

}  // namespace

std::string help_key_for_dialog(int template_id) {
    static const std::map<int, const char*> keys = {
        {10001, "h8.bk.dlg.setup.files"},    {10002, "h8.bk.dlg.backup"},
        {10003, "h8.bk.dlg.restore"},        {10004, "h8.bk.dlg.setup.auto"},
        {10005, "h8.bk.dlg.setup.permis"},   {10006, "h8.bk.dlg.filegroup"},
        {10016, "h8.bk.dlg.wait"},           {10017, "h8.bk.dlg.setup.archiver"},
        {10018, "h8.bk.dlg.restore_warnings"}, {10019, "h8.bk.dlg.fntemplate"},
        {10020, "h8.bk.dlg.sel_comp"},       {10021, "h8.bk.dlg.comp_list"},
        {10023, "h8.bk.dlg.component"},      {10024, "h8.bk.dlg.setup.sheduler"},
        {10026, "h8.bk.dlg.sheduler_task"},  {10029, "h8.bk.dlg.cloud"},
        {10031, "h8.bk.dlg.filegroup_or_file"}, {10032, "h8.bk.dlg.singlefile"},
        {10033, "h8.bk.dlg.setup.keeptime"},
    };
    auto it = keys.find(template_id);
    return it == keys.end() ? std::string() : std::string(it->second);
}

void show_help(int template_id) {
    if (current_help) current_help(help_key_for_dialog(template_id).c_str());
}

void set_help_callback(HelpCallback help) { current_help = help; }

}  // namespace bk
