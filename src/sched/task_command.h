// What a stored task runs, as both stores keep it: a program and its
// arguments, started in a working folder.
#pragma once
#include <string>
#include <vector>

namespace sched {

struct TaskCommand {
    std::wstring directory;  // empty: wherever the starter is
    std::wstring application;
    std::vector<std::wstring> arguments;
    friend bool operator==(const TaskCommand&, const TaskCommand&) = default;
};

// The arguments of a command line without its program name, split by the
// Windows rules, and joined back by them (quoted only where a blank, a tab,
// a double quote or emptiness needs it).
std::vector<std::wstring> split_parameters(const std::wstring& parameters);
std::wstring join_parameters(const std::vector<std::wstring>& arguments);
// The program name first, then the arguments.
std::wstring join_command(const std::wstring& application, const std::vector<std::wstring>& arguments);

}  // namespace sched
