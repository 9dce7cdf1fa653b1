#include "cli/CliApplication.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv)
{
    // A reader that closes its end of an output pipe is an output failure, told as one.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    cantorel::cli::CliApplication app(std::cout, std::cerr);
    return app.run(args);
}
