#include "cli/cli.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    CliIo io{std::cout, std::cerr};
    int status = runCli(std::vector<std::string>(argv + 1, argv + argc), io);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "orbiphon-cli: could not write to standard output\n";
        status = ExitFailed;
    }
    return status;
}
