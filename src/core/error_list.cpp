#include "core/error_list.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "core/com_error.h"
#include "rkit/text.h"

namespace bk {
namespace {

struct ErrorList {
    std::mutex lock;
    std::vector<std::string> messages;
};

// Constructed on first use and never destroyed, so that a worker thread still
// reporting during unload finds the list alive.
ErrorList& errors() {
    static auto* list = new ErrorList;
    return *list;
}

}  // namespace

void add_error(const std::string& text) {
    auto& list = errors();
    std::lock_guard guard(list.lock);
    list.messages.push_back(text);
}

void add_error_wide(const std::wstring& text) { add_error(rkit::wide_to_char(text)); }

std::string exception_message(std::exception_ptr e) {
    try {
        if (e) std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return ex.what();
    } catch (const com_error& ex) {
        std::string text = rkit::wide_to_char(ex.error_message());
        return text.empty() ? "unknown COM error" : text;
    } catch (...) {
    }
    return "unknown error";
}

void add_exception_message(std::exception_ptr e) { add_error(exception_message(e)); }

void clear_errors() {
    auto& list = errors();
    std::lock_guard guard(list.lock);
    list.messages.clear();
}

int32_t error_count() {
    auto& list = errors();
    std::lock_guard guard(list.lock);
    return static_cast<int32_t>(list.messages.size());
}

int32_t copy_error(int32_t index, char* buffer, int32_t size) {
    auto& list = errors();
    std::lock_guard guard(list.lock);
    if (index < 0) return static_cast<int32_t>(list.messages.size());
    if (static_cast<size_t>(index) >= list.messages.size()) return -1;
    const std::string& text = list.messages[static_cast<size_t>(index)];
    if (buffer && size > 0) {
        // strncpy semantics: pad a short message with NULs up to size, leave a
        // long one unterminated.
        size_t n = std::min(text.size(), static_cast<size_t>(size));
        std::memcpy(buffer, text.data(), n);
        std::memset(buffer + n, 0, static_cast<size_t>(size) - n);
    }
    return static_cast<int32_t>(text.size());
}

}  // namespace bk
