#include "settings/settings_file.h"

#include "xml/xml.h"

namespace bk {
namespace {

void write_cloud(const XmlNode& e, const CloudSettings& cloud) {
    write_attr(e, L"service", cloud.service);
    // Only a server of the user's own has an address worth keeping.
    if (cloud.service == CLOUD_SERVICE_CUSTOM) write_attr(e, L"url", cloud.url);
    write_attr(e, L"login", cloud.login);
    write_attr(e, L"password", cloud.password);
    write_attr(e, L"eternal_only", cloud.eternal_only ? 1 : 0);
}

void write_group(const XmlNode& e, const FileGroup& group) {
    write_attr(e, L"basic_folder", group.basic_folder);
    write_attr(e, L"relative_path", group.relative_path);
    write_attr(e, L"include_mask", group.include_mask);
    write_attr(e, L"exclude_mask", group.exclude_mask);
    if (!group.extract_folder.empty()) write_attr(e, L"extract_folder", group.extract_folder);
    write_attr(e, L"flags", group_flags_to_letters(group.flags));
    write_attr(e, L"comment", group.comment);
    write_list(add_element(e, L"components"), group.components);
}

void write_file(const XmlNode& e, const SingleFile& file) {
    write_attr(e, L"path", file.path);
    if (!file.extract_folder.empty()) write_attr(e, L"extract_folder", file.extract_folder);
    write_attr(e, L"comment", file.comment);
    write_list(add_element(e, L"components"), file.components);
}

void write_auto(const XmlNode& e, const AutoParams& params) {
    write_attr(e, L"comment", params.comment);
    write_attr(e, L"keeptime", params.keeptime);
    write_attr(e, L"once_a_day", (params.flags & AUTO_ONCE_A_DAY) ? 1 : 0);
    write_attr(e, L"db_exclusive_access", (params.flags & AUTO_DB_EXCLUSIVE) ? 1 : 0);
    write_list(add_element(e, L"excl_comp"), params.excl_comp);
}

void write_permissions(const XmlNode& e, const PermissionLists& lists) {
    write_list(add_element(e, L"workplaces"), lists.workplaces);
    write_list(add_element(e, L"logins"), lists.logins);
    write_list(add_element(e, L"workstations"), lists.workstations);
}

void write_archiver(const XmlNode& e, const ArchiverSettings& archiver) {
    write_attr(e, L"archiver", archiver.archiver);
    write_attr(e, L"compress_level", archiver.compress_level);
    write_attr(e, L"exe_path", archiver.exe_path);
    write_attr(e, L"common_options", archiver.common_options);
    write_attr(e, L"compress_options", archiver.compress_options);
    write_attr(e, L"extract_options", archiver.extract_options);
    write_attr(e, L"password", archiver.password);
}

// A flag bit from a 0/1 attribute; a missing attribute leaves the bit.
void read_flag(const XmlNode& e, std::wstring_view name, uint32_t bit, uint32_t& flags) {
    int32_t value = 0;
    if (read_attr(e, name, value)) flags = value ? (flags | bit) : (flags & ~bit);
}

void read_cloud(const XmlNode& e, CloudSettings& cloud) {
    read_attr(e, L"service", cloud.service);
    if (cloud.service == CLOUD_SERVICE_CUSTOM) read_attr(e, L"url", cloud.url);
    read_attr(e, L"login", cloud.login);
    read_attr(e, L"password", cloud.password);
    int32_t eternal = 0;
    if (read_attr(e, L"eternal_only", eternal)) cloud.eternal_only = eternal != 0;
}

// A list child replaces the vector only when the file has it.
template <class T>
void read_list_child(const XmlNode& parent, std::wstring_view name, std::vector<T>& values) {
    if (XmlNode list = child_element(parent, name)) read_list(list, values);
}

void read_group(const XmlNode& e, FileGroup& group) {
    read_attr(e, L"basic_folder", group.basic_folder);
    read_attr(e, L"relative_path", group.relative_path);
    read_attr(e, L"include_mask", group.include_mask);
    read_attr(e, L"exclude_mask", group.exclude_mask);
    read_attr(e, L"extract_folder", group.extract_folder);
    std::wstring flags;
    if (read_attr(e, L"flags", flags)) group.flags = group_flags_from_letters(flags);
    read_attr(e, L"comment", group.comment);
    read_list_child(e, L"components", group.components);
}

void read_file(const XmlNode& e, SingleFile& file) {
    read_attr(e, L"path", file.path);
    read_attr(e, L"extract_folder", file.extract_folder);
    read_attr(e, L"comment", file.comment);
    read_list_child(e, L"components", file.components);
}

void read_component(const XmlNode& e, Component& component) {
    read_attr(e, L"name", component.name);
    read_attr(e, L"display_text", component.display_text);
}

void read_auto(const XmlNode& e, AutoParams& params) {
    read_attr(e, L"comment", params.comment);
    read_attr(e, L"keeptime", params.keeptime);
    read_flag(e, L"once_a_day", AUTO_ONCE_A_DAY, params.flags);
    read_flag(e, L"db_exclusive_access", AUTO_DB_EXCLUSIVE, params.flags);
    read_list_child(e, L"excl_comp", params.excl_comp);
}

void read_permissions(const XmlNode& e, PermissionLists& lists) {
    read_list_child(e, L"workplaces", lists.workplaces);
    read_list_child(e, L"logins", lists.logins);
    read_list_child(e, L"workstations", lists.workstations);
}

void read_archiver(const XmlNode& e, ArchiverSettings& archiver) {
    read_attr(e, L"archiver", archiver.archiver);
    read_attr(e, L"compress_level", archiver.compress_level);
    read_attr(e, L"exe_path", archiver.exe_path);
    read_attr(e, L"common_options", archiver.common_options);
    read_attr(e, L"compress_options", archiver.compress_options);
    read_attr(e, L"extract_options", archiver.extract_options);
    read_attr(e, L"password", archiver.password);
}

// An element read by reader when the file has it.
template <class T, class Reader>
void read_element(const XmlNode& root, std::wstring_view name, T& target, Reader reader) {
    if (XmlNode e = child_element(root, name)) reader(e, target);
}

// A container replaces its vector when present: every child element, whatever
// its name, is one record that starts empty.
template <class T, class Reader>
void read_container(const XmlNode& root, std::wstring_view name, std::vector<T>& records, Reader reader) {
    XmlNode container = child_element(root, name);
    if (!container) return;
    std::vector<XmlNode> children = child_elements(container);
    records.clear();
    records.reserve(children.size());
    for (const XmlNode& child : children) reader(child, records.emplace_back());
}

template <class T, class Writer>
void write_container(const XmlNode& root, std::wstring_view name, std::wstring_view item,
                     const std::vector<T>& records, Writer writer) {
    XmlNode container = add_element(root, name);
    for (const T& record : records) writer(add_element(container, item), record);
}

}  // namespace

void write_settings_file(const std::wstring& path, const BackupSettings& s) {
    XmlDocument doc = create_document();
    XmlNode root = create_root(doc);
    write_value(root, L"backup_folder", s.backup_folder);
    write_value(root, L"removable_path", s.removable_path);
    write_cloud(add_element(root, L"cloud_settings"), s.cloud);
    write_value(root, L"filename_template", s.filename_template);
    write_value(root, L"backup_cmdline", s.backup_cmdline);
    write_value(root, L"expired_limit", s.expired_limit);
    write_value(root, L"default_keeptime", s.default_keeptime);
    write_value(root, L"last_at_week_keeptime", s.last_at_week_keeptime);
    write_value(root, L"last_at_month_keeptime", s.last_at_month_keeptime);
    write_container(root, L"file_groups", L"group", s.file_groups, write_group);
    write_container(root, L"single_files", L"file", s.single_files, write_file);
    write_container(root, L"components", L"component", s.components, [](const XmlNode& e, const Component& c) {
        write_attr(e, L"name", c.name);
        write_attr(e, L"display_text", c.display_text);
    });
    write_auto(add_element(root, L"enter_param"), s.enter_param);
    write_auto(add_element(root, L"exit_param"), s.exit_param);
    write_auto(add_element(root, L"timer_param"), s.timer_param);
    write_value(root, L"save_hour", s.save_hour);
    write_value(root, L"options", options_to_letters(s.options));
    write_permissions(add_element(root, L"include_permission"), s.include_permission);
    write_permissions(add_element(root, L"exclude_permission"), s.exclude_permission);
    write_archiver(add_element(root, L"archiver_settings"), s.archiver);
    save_document(doc, path);
}

void read_settings_file(const std::wstring& path, BackupSettings& s) {
    XmlDocument doc = load_document(path);
    XmlNode root = document_element(doc);
    read_value(root, L"backup_folder", s.backup_folder);
    read_value(root, L"removable_path", s.removable_path);
    read_element(root, L"cloud_settings", s.cloud, read_cloud);
    read_value(root, L"filename_template", s.filename_template);
    read_value(root, L"backup_cmdline", s.backup_cmdline);
    read_value(root, L"expired_limit", s.expired_limit);
    read_value(root, L"default_keeptime", s.default_keeptime);
    read_value(root, L"last_at_week_keeptime", s.last_at_week_keeptime);
    read_value(root, L"last_at_month_keeptime", s.last_at_month_keeptime);
    read_container(root, L"file_groups", s.file_groups, read_group);
    read_container(root, L"single_files", s.single_files, read_file);
    read_container(root, L"components", s.components, read_component);
    read_element(root, L"enter_param", s.enter_param, read_auto);
    read_element(root, L"exit_param", s.exit_param, read_auto);
    read_element(root, L"timer_param", s.timer_param, read_auto);
    read_value(root, L"save_hour", s.save_hour);
    std::wstring options;
    if (read_value(root, L"options", options)) s.options = options_from_letters(options);
    read_element(root, L"include_permission", s.include_permission, read_permissions);
    read_element(root, L"exclude_permission", s.exclude_permission, read_permissions);
    read_element(root, L"archiver_settings", s.archiver, read_archiver);
}

}  // namespace bk
