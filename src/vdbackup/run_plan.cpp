#include "run_plan.h"

#include <stdexcept>

#include "rkit/path.h"
#include "rkit/text.h"

namespace vdbackup {
namespace {

std::string utf8(const std::wstring& text) { return rkit::wide_to_char(text); }

}  // namespace

std::wstring profile_path(const bk::IBkCommandLineInfo& info) {
    std::wstring named = info.value_f();
    if (named.empty()) return rkit::concat_path(rkit::get_current_dir(), bk::HOST_PROFILE_NAME);
    std::wstring absolute;
    return rkit::get_absolute_path(rkit::get_current_dir(), named, absolute) ? absolute : named;
}

void check_usage(const bk::IBkCommandLineInfo& info) {
    const int32_t mode = info.mode();
    if (info.help() || (mode >= bk::CMDLINE_MODE_BACKUP && mode <= bk::CMDLINE_MODE_END_OF_WORK)) return;
    throw usage_error("vdbackup: no mode given (/B, /R, /S or /Z); /? shows the usage");
}

RunPlan plan_run(const bk::IBkCommandLineInfo& info, const bk::HostProfile& profile) {
    RunPlan plan;
    if (info.help()) {
        plan.show_help = true;
        return plan;
    }
    for (const auto& [key, value] : profile) plan.params[key] = utf8(value);

    // The command line speaks for this run where it names the database, the
    // user or the workplace.
    if (!info.database().empty()) {
        const auto network_it = plan.params.find("network");
        const bool network = network_it != plan.params.end() && network_it->second == "1";
        plan.params[network ? "db_path" : "shp_path"] = utf8(info.database());
    }
    if (!info.user().empty()) plan.params["username"] = utf8(info.user());
    if (info.workplace() >= 0) plan.params["workplace"] = std::to_string(info.workplace());

    switch (info.mode()) {
        case bk::CMDLINE_MODE_BACKUP:
            plan.command = BK_CMD_BACKUP;
            plan.params["batch"] = "1";
            // A keep time of 0 is no keep time: without /T= the batch
            // backup keeps its own default, forever, rather than a record
            // that runs out the day it is made.
            if (info.keep_time() != 0)
                plan.params["batch_keeptime"] = std::to_string(info.keep_time());
            else
                plan.params.erase("batch_keeptime");
            plan.params["batch_once_a_day"] = info.once_a_day() ? "1" : "0";
            plan.params["batch_comment"] = utf8(info.comment());
            plan.params["batch_excl_comp"] = utf8(info.excluded_components());
            break;
        case bk::CMDLINE_MODE_RESTORE:
            plan.command = BK_CMD_RESTORE;
            plan.wait_for_pid = info.process_id();
            plan.params["batch"] = "1";
            plan.params["batch_archive"] = utf8(info.archive());
            if (info.pass_args() && !info.program().empty()) {
                plan.restart.push_back(info.program());
                for (const auto& arg : info.extra_args()) plan.restart.push_back(arg);
            }
            break;
        case bk::CMDLINE_MODE_SETTINGS:
            plan.command = BK_CMD_SETTINGS;
            break;
        case bk::CMDLINE_MODE_END_OF_WORK:
            // The host has ended: the settings decide whether a backup on
            // leaving is due, as if the host had asked on its way out.
            plan.command = BK_CMD_BACKUP;
            plan.wait_for_pid = info.process_id();
            plan.flags = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_LEAVING);
            break;
        default:
            check_usage(info);
    }
    return plan;
}

std::string usage_text() {
    return "Резервное копирование: программа создания и восстановления резервных копий.\n"
           "Backup executable: makes and restores backups of the accounting data.\n"
           "\n"
           "vdbackup \"ПРОГРАММА\" /B [/T=ДНИ] [/O] [/C=\"КОММЕНТАРИЙ\"] [/E=\"A;B\"] [/D=\"БАЗА\"] [/U=\"ИМЯ\"] [/W=N]\n"
           "    создать резервную копию / make a backup:\n"
           "    /T= срок хранения в днях, -1 или без /T= навсегда / keep time in days, -1 or none: forever\n"
           "    /O  не более одной копии в день / at most one backup a day\n"
           "    /C= комментарий / comment    /E= исключаемые компоненты / components left out\n"
           "    /D= база данных / database   /U= пользователь / user   /W= рабочее место / workplace\n"
           "vdbackup \"ПРОГРАММА\" /R /A=\"АРХИВ\" [/P=PID] [/X /K1=\"АРГ\" ...]\n"
           "    восстановить из архива, дождавшись завершения процесса PID, затем запустить\n"
           "    программу снова (/X) / restore from the archive after process PID has ended,\n"
           "    then start the program again (/X)\n"
           "vdbackup \"ПРОГРАММА\" /Z [/P=PID]\n"
           "    резервная копия при выходе из программы, если она нужна по настройкам /\n"
           "    the backup on leaving the program, when the settings ask for one\n"
           "vdbackup /S    настройки резервного копирования / backup settings\n"
           "vdbackup /?, -h, --help    эта справка / this help\n"
           "vdbackup --version         версия / version\n"
           "\n"
           "Параметры программы берутся из vdbackup_host.xml в рабочей папке (или из файла /F=).\n"
           "The host's parameters come from vdbackup_host.xml in the working folder (or the /F= file).\n"
           "Каждый запуск добавляет строку в vdbackup.log в папке резервных копий.\n"
           "Every run adds a line to vdbackup.log in the backup folder.\n"
           "Код завершения / exit code: 0 выполнено / done, 1 ничего не сделано или отменено /\n"
           "    nothing done or canceled, 2 ошибка / failed, 64 неверная командная строка / usage error.\n";
}

}  // namespace vdbackup
