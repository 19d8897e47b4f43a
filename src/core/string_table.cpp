#include "core/string_table.h"

#include <algorithm>
#include <iterator>

#include "rkit/text.h"

namespace bk {
namespace {

struct StringEntry {
    int id;
    const wchar_t* text;
};

// Sorted by id: load_string searches it by halves.
constexpr StringEntry kStrings[] = {
    {ids::KEEP_WEEK, L"неделя"},
    {ids::KEEP_MONTH, L"месяц"},
    {ids::KEEP_3_MONTHS, L"3 месяца"},
    {ids::KEEP_YEAR, L"год"},
    {ids::COL_BACKUP_FILE, L"Файл резервной копии"},
    {ids::COL_CREATED, L"Время создания"},
    {ids::COL_KEEP_TIME, L"Срок хранения"},
    {ids::COL_COMPUTER, L"Компьютер"},
    {ids::COL_COMMENT, L"Комментарий"},
    {ids::COL_WORKPLACE, L"р.м."},
    {ids::COL_USER, L"Пользователь"},
    {ids::COL_DATABASE, L"База данных"},
    {ids::KEEP_FOREVER_TEXT, L"вечно"},
    {ids::KEEP_EXPIRED_TEXT, L"истек"},
    {ids::KEEP_DAYS_TEXT, L"%d дней"},
    {ids::CHOOSE_OTHER_FILE, L"<выбрать другой...>"},
    {ids::ARCHIVE_FILE_FILTER, L"Архивы %s|%s|Все файлы|*.*||"},
    {ids::COL_FILE, L"Файл"},
    {ids::COL_REASON, L"Причина"},
    {ids::COL_SYSTEM_ERROR, L"Системная ошибка"},
    {ids::COL_FOLDER, L"Папка"},
    {ids::COL_INCLUDE, L"Включая файлы"},
    {ids::COL_EXCLUDE, L"Исключая файлы"},
    {ids::ALL_MASKS_TEXT, L"<все>"},
    {ids::NO_MASKS_TEXT, L"<никакие>"},
    {ids::CHOOSE_BACKUP_FOLDER, L"Выбор папки хранения"},
    {ids::SETTINGS_CAPTION, L"Настройки резервного копирования"},
    {ids::CHOOSE_REMOVABLE_FOLDER, L"Выбор папки на сменном носителе"},
    {ids::ADD_ROW_TEXT, L"<добавить...>"},
    {ids::CMD_ADD, L"Добавить"},
    {ids::CMD_EDIT, L"Изменить"},
    {ids::CMD_DELETE, L"Удалить"},
    {ids::NEW_FILE_GROUP, L"Новая группа файлов"},
    {ids::EDIT_FILE_GROUP, L"Изменение группы файлов"},
    {ids::NO_FILE_GROUPS, L"Не задано ни одной группы файлов для сохранения."},
    {ids::NO_KEEP_TIME, L"Не задан срок хранения."},
    {ids::NOT_EXISTS_TEXT, L"<не существует>"},
    {ids::CHOOSE_RELATIVE_PATH, L"Выбор относительного пути"},
    {ids::BACKUP_TITLE, L"Выполняется создание резервной копии..."},
    {ids::RESTORE_TITLE, L"Выполняется восстановление из резервной копии..."},
    {ids::APP_CAPTION, L"Резервное копирование"},
    {ids::STATUS_COPYING_TO_REMOVABLE, L"Копирование на внешний носитель..."},
    {ids::CMD_MOVE_UP, L"Вверх"},
    {ids::CMD_MOVE_DOWN, L"Вниз"},
    {ids::COL_TASK_DATABASE, L"База данных"},
    {ids::COMMENT_ON_ENTER, L"Автоматически: при входе в программу"},
    {ids::COMMENT_ON_EXIT, L"Автоматически: при выходе из программы"},
    {ids::COMMENT_BY_CLOCK, L"Автоматически: по часам"},
    {ids::DATABASE_FILE_FILTER, L"Файлы баз данных (*.shp, *.dcf)|*.shp;*.dcf||"},
    {ids::CMD_PROPERTIES, L"Свойства..."},
    {ids::NEW_SINGLE_FILE, L"Новый одиночный файл"},
    {ids::EDIT_SINGLE_FILE, L"Изменение одиночного файла"},
    {ids::PERMIT_ALL, L"всем"},
    {ids::PERMIT_NOBODY, L"никому"},
    {ids::PERMIT_ONLY, L"только"},
    {ids::EXE_FILE_FILTER, L"Исполняемые файлы (*.exe)|*.exe||"},
    {ids::NO_ARCHIVER, L"Не выбран архиватор."},
    {ids::BAD_ARCHIVER_PATH, L"Путь к архиватору %s указан неправильно: '%s'."},
    {ids::ALL_FILES_FILTER, L"Все файлы|*.*||"},
    {ids::MACRO_ROOT_DIR, L"ТЕК_ДИР"},
    {ids::MACRO_EXE_DIR, L"ПРОГ_ДИР"},
    {ids::MACRO_DBF_DIR, L"ДИР_DBF"},
    {ids::MACRO_TOP_DIR, L"ДИР_ТИПОП"},
    {ids::MACRO_FLT_DIR, L"ДИР_ФИЛЬТРОВ"},
    {ids::MACRO_BLW_DIR, L"ДИР_БЛАНКОВ"},
    {ids::MACRO_BAR_DIR, L"ДИР_АРХИВОВ"},
    {ids::MACRO_VDL_DIR, L"ДИР_БИБЛ"},
    {ids::MACRO_SRC_DIR, L"ДИР_ИСХТЕКСТОВ"},
    {ids::MACRO_VDX_DIR, L"ДИР_ВЫВОДА"},
    {ids::MACRO_DB_DIR, L"ДИР_БАЗЫ"},
    {ids::MACRO_COMMON_DIR, L"ОБЩ_ДИР"},
    {ids::MACRO_SHP_FILE, L"ТЕК_SHP"},
    {ids::MACRO_REK_FILE, L"ТЕК_REK"},
    {ids::MACRO_OPR_FILE, L"ТЕК_OPR"},
    {ids::MACRO_SHP_DIR, L"ТЕК_SHP_ДИР"},
    {ids::MACRO_REK_DIR, L"ТЕК_REK_ДИР"},
    {ids::MACRO_OPR_DIR, L"ТЕК_OPR_ДИР"},
    {ids::ERR_BASIC_FOLDER, L"Ошибка получения базовой папки %s."},
    {ids::ERR_LOAD_SETTINGS, L"Ошибка загрузки настроек резервного копирования из файла: '%s'."},
    {ids::ERR_SAVE_SETTINGS, L"Ошибка сохранения настроек резервного копирования в файл: '%s'."},
    {ids::ERR_LOAD_CATALOGUE, L"Ошибка загрузки списка резервных копий из файла: '%s'."},
    {ids::BAD_SETTINGS_BACKUP, L"Неправильные настройки, создание резервной копии невозможно."},
    {ids::BAD_SETTINGS_RESTORE, L"Неправильные настройки, восстановление из резервной копии невозможно."},
    {ids::NO_BACKUP_INFO, L"Не удалось получить информацию о резервной копии из архива '%s'.\nПроверка версии программы будет пропущена."},
    {ids::VERSION_MISMATCH, L"Внимание! Обнаружено несоответствие версии программы.\nТекущая версия: %s.\nВерсия резервной копии: %s.\n\nВосстановление из этой резервной копии может привести к неправильным результатам. "},
    {ids::REMOVABLE_NO_SPACE, L"Недостаточно места на сменном носителе '%s'.\n\tТребуется: %s\n\tСвободно: %s\n\nОсвободите место или отмените копирование."},
    {ids::UNIT_BYTES, L"байт"},
    {ids::UNIT_KB, L"Кб"},
    {ids::UNIT_MB, L"Мб"},
    {ids::UNIT_GB, L"Гб"},
    {ids::UNIT_TB, L"Тб"},
    {ids::REMOVABLE_NO_ACCESS, L"Нет доступа к сменному носителю '%s'.\nВставьте носитель или отмените копирование."},
    {ids::STATUS_PREPARING_BACKUP, L"Подготовка файлов для резервного копирования..."},
    {ids::STATUS_UPDATING_CATALOGUE, L"Обновление списка резервных копий..."},
    {ids::STATUS_COPYING_FILES, L"Копирование файлов..."},
    {ids::STATUS_PREPARING_EXTRACT, L"Подготовка к распаковке файлов..."},
    {ids::STATUS_COMPRESSING, L"Сжатие файла:"},
    {ids::STATUS_EXTRACTING, L"Извлечение файла:"},
    {ids::INVALID_MASK_IN_LIST, L"Недопустимые символы в маске '%s',\nсодержащейся в списке: '%s'."},
    {ids::STATUS_SEARCH_STARTED, L"Поиск файлов..."},
    {ids::STATUS_SEARCHING_FOLDER, L"Поиск файлов в папке:"},
    {ids::STATUS_EXCLUSIONS, L"Обработка исключений для файлов..."},
    {ids::DATABASE_MISMATCH, L"Внимание! Обнаружено несоответствие имени базы данных.\nТекущая база данных: %s.\nБаза данных в резервной копии: %s.\n\nВосстановление из этой резервной копии может привести к неправильным результатам. "},
    {ids::BAD_GROUP_MASK, L"Для группы файлов задана неправильная маска: '%s'."},
    {ids::ERR_CREATE_FOLDER, L"Ошибка создания папки: '%s'."},
    {ids::ERR_COPY_FILE, L"Ошибка копирования файла: '%s'."},
    {ids::ERR_MOVE_FILE, L"Ошибка перемещения файла: '%s'."},
    {ids::RESTORE_DONE, L"Восстановление резервной копии из файла '%s' успешно завершено."},
    {ids::RESTORE_PROBLEMS, L"При восстановлении из архива '%s' возникли следующие проблемы:"},
    {ids::ERR_COPY_TO_REMOVABLE, L"Ошибка копирования архива на сменный носитель: '%s'."},
    {ids::ERR_REMOVABLE_FREE_SPACE, L"Ошибка получения свободного места на сменном носителе: '%s'."},
    {ids::ERR_ABSOLUTE_PATH, L"Невозможно получить полный путь.\n\tБазовый путь: '%s'.\n\tОтносительный путь: '%s'."},
    {ids::ERR_RELATIVE_PATH, L"Невозможно получить относительный путь.\n\tБазовый путь: '%s'.\n\tПолный путь: '%s'."},
    {ids::COMPONENTS_NOT_USED, L"<компоненты не используются: сохранять всегда>"},
    {ids::COL_COMPONENT_ID, L"Идентификатор"},
    {ids::COL_COMPONENT_TEXT, L"Отображаемый текст"},
    {ids::ARCHIVE_NOT_FOUND, L"Файл архива '%s' не найден."},
    {ids::TASKS_FOR_DATABASE, L"Для текущей базы данных заданий: %d"},
    {ids::NO_TASKS_FOR_DATABASE, L"Нет заданий для текущей базы данных."},
    {ids::ONE_TASK_FOR_DATABASE, L"Одно задание для текущей базы данных."},
    {ids::CMD_CREATE_TASK, L"Создать задание..."},
    {ids::CMD_EDIT_TASK, L"Изменить задание..."},
    {ids::CLOUD_CONNECTING, L"Устанавливается соединение с хранилищем в Интернет..."},
    {ids::CLOUD_DOWNLOADING, L"Скачивание файла из Интернет"},
    {ids::CLOUD_UPLOADING, L"Загрузка файла в Интернет"},
    {ids::CLOUD_NOT_SET, L"Параметры облачного хранилища не заданы."},
    {ids::CLOUD_CUSTOM, L"Другой"},
    {ids::CLOUD_UPLOAD_FAILED, L"Не удалось загрузить файл в облачное хранилище%s.\n\nСетевая ошибка: %d\n%s."},
    {ids::CLOUD_NO_PASSWORD, L"При разрешенной загрузке в облачное хранилище не задан пароль на странице \"Архиватор\"!"},
    {ids::ERR_FILE_LOCATION, L"Ошибка получения расположения файла %s."},
    {ids::ERR_FILE_NOT_SAVED, L"Файл не сохранен в архиве: '%s' (%s)."},
    {ids::ERR_FOLDER_NOT_READ, L"Не удалось прочитать папку: '%s' (%s). Ее файлы не сохранены."},
    {ids::BACKUP_INCOMPLETE, L"Резервная копия '%s' создана, но сохранены не все файлы."},
    {ids::ERR_NO_ARCHIVE_MADE, L"Архиватор завершил работу без ошибок, но не создал архив '%s'."},
    {ids::ERR_CATALOGUE_LOCKED, L"Список резервных копий занят другой программой дольше %d секунд (файл блокировки '%s'). Резервная копия не создана."},
    {ids::ERR_ARCHIVE_INCOMPLETE, L"Архив '%s' неполон: кроме описания резервной копии, в нем нет файлов."},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; }),
              "the string table must stay sorted by id");

}  // namespace

std::wstring load_string(int id) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const StringEntry& e, int key) { return e.id < key; });
    if (it == std::end(kStrings) || it->id != id) return {};
    return it->text;
}

std::wstring FormatArg::text() const {
    if (const auto* s = std::get_if<std::wstring>(&value_)) return *s;
    return std::to_wstring(std::get<long long>(value_));
}

std::wstring format_message(std::wstring_view pattern, std::initializer_list<FormatArg> args) {
    std::wstring out;
    out.reserve(pattern.size());
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        wchar_t c = pattern[i];
        if (c != L'%' || i + 1 == pattern.size()) {
            out += c;
            continue;
        }
        wchar_t kind = pattern[i + 1];
        if (kind == L'%') {
            out += L'%';
            ++i;
        } else if (kind == L's' || kind == L'd') {
            if (next != args.end()) out += (next++)->text();
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring format_string(int id, std::initializer_list<FormatArg> args) {
    return format_message(load_string(id), args);
}

std::string format_string_narrow(int id, std::initializer_list<FormatArg> args) {
    // Exception messages travel in the system's "ANSI" text, charset 1.
    return rkit::wide_to_char(format_string(id, args), rkit::text_encoding(1));
}

}  // namespace bk
