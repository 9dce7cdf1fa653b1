#pragma once

#include <string>
#include <vector>

namespace cantorel::test {

struct ProcessResult {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with arguments and the given extra environment ("NAME=value"), with no
// standard input, and collects its output.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {});

// The path of one of the project's programs in the build tree.
std::string builtProgram(const std::string& name);

} // namespace cantorel::test
