// The error of the XML layer's platform calls: a result code and a
// system-style message. It deliberately does not derive from std::exception,
// so that the translation into messages can tell it apart.
#pragma once
#include <cstdint>
#include <string>

namespace bk {

class com_error {
public:
    // E_FAIL, the code of a failure that has no better one.
    static constexpr int32_t e_fail = static_cast<int32_t>(0x80004005u);

    explicit com_error(int32_t hresult, std::wstring message = {})
        : hresult_(hresult), message_(std::move(message)) {}
    int32_t hresult() const { return hresult_; }
    // The system message text; may be empty.
    const std::wstring& error_message() const { return message_; }

private:
    int32_t hresult_;
    std::wstring message_;
};

}  // namespace bk
