#include "cli/cli.h"
#include "transfer/curlftpclient.h"

#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // A reader that went away (`| head -1`) must not kill a batch in the middle of a transfer.
    ::signal(SIGPIPE, SIG_IGN);
    if (!initialiseCurl()) {
        std::cerr << "orbiphon-cli: the FTP library could not start\n";
        return ExitFailed;
    }
    CliIo io{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    int status = runCli(std::vector<std::string>(argv + 1, argv + argc), io);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "orbiphon-cli: could not write to standard output\n";
        status = ExitFailed;
    }
    releaseCurl();
    return status;
}
