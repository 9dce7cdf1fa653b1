#include "cli/CliApplication.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    cantorel::cli::CliApplication app(std::cout, std::cerr);
    return app.run(args);
}
