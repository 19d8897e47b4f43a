#include "settings/host_profile.h"

#include "core/host_params.h"
#include "rkit/text.h"
#include "xml/xml.h"

namespace bk {

const std::vector<const char*>& host_profile_keys() {
    static const std::vector<const char*> keys = [] {
        std::vector<const char*> all;
        for (const BasicFolderKey& folder : basic_folder_keys()) all.push_back(folder.key);
        for (const FileLocationKey& file : file_location_keys()) all.push_back(file.key);
        all.insert(all.end(), {"exe_fname", "network", "ver_type", "ver_family", "workplace", "username",
                               "db_exclusive_acc"});
        return all;
    }();
    return keys;
}

HostProfile read_host_profile_from(HostParamCallback params) {
    HostProfile profile;
    for (const char* key : host_profile_keys()) {
        std::wstring value;
        if (read_param(params, key, value)) profile[key] = value;
    }
    return profile;
}

void write_host_profile(const std::wstring& path, const HostProfile& profile) {
    XmlDocument doc = create_document();
    XmlNode root = create_root(doc);
    for (const auto& [key, value] : profile) {
        XmlNode param = add_element(root, L"param");
        write_attr(param, L"name", rkit::char_to_wide(key));
        write_attr(param, L"node_value", value);
    }
    save_document(doc, path);
}

HostProfile read_host_profile(const std::wstring& path) {
    HostProfile profile;
    XmlDocument doc = load_document(path);
    for (const XmlNode& param : child_elements(document_element(doc))) {
        std::wstring name, value;
        require_attr(param, L"name", name);
        read_attr(param, L"node_value", value);
        profile[rkit::wide_to_char(name)] = value;
    }
    return profile;
}

}  // namespace bk
