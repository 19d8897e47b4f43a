/* The command line of the backup executable, vdbackup: the values it carries
 * and the parser that reads them. libvardobk.so writes these command lines
 * when it hands work to vdbackup; vdbackup (and the module itself, reading a
 * scheduled task back) parses them with WinappParseCommandLine.
 *
 * Switches start with "/" or "-":
 *   first plain argument  full path of the host program
 *   /Q                    written by the module into every command line
 *   /P=pid                the host process that started vdbackup
 *   /B /R /S /Z           mode 1 backup, 2 restore, 3 settings, 4 end of work
 *   /T=days /O /C="..."   keep time (-1 forever), once a day, comment
 *   /D="..." /E="a;b"     database path, components left out
 *   /U="..." /W=n         user name, workplace
 *   /A="..."              archive to restore from
 *   /X /K1="..." /K2=...  the host's own arguments follow, in order
 *   /F="..." /G="..."     kept for the executable's own use
 *   /? /H /h              help */
#ifndef VARDOBK_COMMAND_LINE_H
#define VARDOBK_COMMAND_LINE_H

#include <cstdint>
#include <string>
#include <vector>

#include "vardobk/vardobk.h"

namespace bk {

/* Values of IBkCommandLineInfo::mode. */
inline constexpr int32_t CMDLINE_MODE_NONE = 0;
inline constexpr int32_t CMDLINE_MODE_BACKUP = 1;       /* /B */
inline constexpr int32_t CMDLINE_MODE_RESTORE = 2;      /* /R */
inline constexpr int32_t CMDLINE_MODE_SETTINGS = 3;     /* /S */
inline constexpr int32_t CMDLINE_MODE_END_OF_WORK = 4;  /* /Z */

/* The values of one command line. The order of the virtual operations is
 * part of the interface: do not reorder, only append. */
class BK_EXPORT IBkCommandLineInfo {
public:
    IBkCommandLineInfo();
    /* Copying copies nothing: the interface has no data. */
    IBkCommandLineInfo(const IBkCommandLineInfo& other);
    IBkCommandLineInfo& operator=(const IBkCommandLineInfo& other);
    virtual ~IBkCommandLineInfo();

    virtual bool help() const = 0;
    virtual std::wstring user() const = 0;
    virtual int32_t workplace() const = 0;
    virtual std::wstring database() const = 0;
    virtual std::wstring program() const = 0;
    virtual int32_t mode() const = 0;
    virtual void set_help(bool value) = 0;
    virtual void set_user(const std::wstring& value) = 0;
    virtual void set_workplace(int32_t value) = 0;
    virtual void set_database(const std::wstring& value) = 0;
    virtual void set_program(const std::wstring& value) = 0;
    virtual void set_mode(int32_t value) = 0;
    virtual uint32_t process_id() const = 0;
    virtual int32_t keep_time() const = 0;
    virtual bool once_a_day() const = 0;
    virtual std::wstring comment() const = 0;
    virtual std::wstring excluded_components() const = 0;
    virtual std::wstring archive() const = 0;
    virtual std::wstring value_f() const = 0;
    virtual std::wstring value_g() const = 0;
    virtual bool pass_args() const = 0;
    virtual const std::vector<std::wstring>& extra_args() const = 0;
    virtual bool quiet() const = 0;
    virtual void set_process_id(uint32_t value) = 0;
    virtual void set_keep_time(int32_t value) = 0;
    virtual void set_once_a_day(bool value) = 0;
    virtual void set_comment(const std::wstring& value) = 0;
    virtual void set_excluded_components(const std::wstring& value) = 0;
    virtual void set_archive(const std::wstring& value) = 0;
    virtual void set_value_f(const std::wstring& value) = 0;
    virtual void set_value_g(const std::wstring& value) = 0;
    /* A new copy of this object; the caller owns it. */
    virtual IBkCommandLineInfo* clone() const = 0;
    /* Takes one argument: text without its leading "/" or "-" when is_switch. */
    virtual void parse_param(const std::wstring& text, bool is_switch, bool last) = 0;
};

class BK_EXPORT BkCommandLineInfoImpl : public IBkCommandLineInfo {
public:
    BkCommandLineInfoImpl();
    BkCommandLineInfoImpl(const BkCommandLineInfoImpl& other);
    BkCommandLineInfoImpl& operator=(const BkCommandLineInfoImpl& other);
    ~BkCommandLineInfoImpl() override;

    bool help() const override;
    std::wstring user() const override;
    int32_t workplace() const override;
    std::wstring database() const override;
    std::wstring program() const override;
    int32_t mode() const override;
    void set_help(bool value) override;
    void set_user(const std::wstring& value) override;
    void set_workplace(int32_t value) override;
    void set_database(const std::wstring& value) override;
    void set_program(const std::wstring& value) override;
    void set_mode(int32_t value) override;
    uint32_t process_id() const override;
    int32_t keep_time() const override;
    bool once_a_day() const override;
    std::wstring comment() const override;
    std::wstring excluded_components() const override;
    std::wstring archive() const override;
    std::wstring value_f() const override;
    std::wstring value_g() const override;
    bool pass_args() const override;
    const std::vector<std::wstring>& extra_args() const override;
    bool quiet() const override;
    void set_process_id(uint32_t value) override;
    void set_keep_time(int32_t value) override;
    void set_once_a_day(bool value) override;
    void set_comment(const std::wstring& value) override;
    void set_excluded_components(const std::wstring& value) override;
    void set_archive(const std::wstring& value) override;
    void set_value_f(const std::wstring& value) override;
    void set_value_g(const std::wstring& value) override;
    IBkCommandLineInfo* clone() const override;
    /* Unknown switches are ignored; a number that does not parse leaves the
     * old value. Never throws but for lack of memory. */
    void parse_param(const std::wstring& text, bool is_switch, bool last) override;

private:
    bool help_ = false;
    std::wstring user_;
    int32_t workplace_ = -1;
    std::wstring database_;
    std::wstring program_;
    int32_t mode_ = CMDLINE_MODE_NONE;
    uint32_t process_id_ = 0;
    int32_t keep_time_ = 0;
    bool once_a_day_ = false;
    std::wstring comment_;
    std::wstring excluded_components_;
    std::wstring archive_;
    std::wstring value_f_;
    std::wstring value_g_;
    bool pass_args_ = false;
    std::vector<std::wstring> extra_args_;
    bool quiet_ = false;
};

/* A new BkCommandLineInfoImpl with its defaults, allocated by the library;
 * delete it through the virtual destructor. */
BK_EXPORT IBkCommandLineInfo* factoryBkCommandLineInfo();

/* Splits command_line by the Windows rules, skips the program name and hands
 * every further argument to info.parse_param. An argument is a switch when it
 * starts with "/" or "-", except an absolute path such as "/opt/vd/prog": an
 * argument starting with "/" that has another "/" before its first "=" (or
 * anywhere, when it has no "=") is a plain argument. */
BK_EXPORT void WinappParseCommandLine(const std::wstring& command_line, IBkCommandLineInfo& info);


}  // namespace bk

#endif
