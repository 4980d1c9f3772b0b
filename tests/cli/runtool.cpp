#include "runtool.h"

#include <algorithm>

ToolRun runTool(const std::vector<std::string>& args, const std::string& stdoutPath)
{
    return runProgram(ORBIPHON_CLI, args, processEnvironment(), stdoutPath);
}

bool isOneLineMessage(const std::string& err)
{
    return err.rfind("orbiphon-cli: ", 0) == 0 && std::count(err.begin(), err.end(), '\n') == 1
        && err.back() == '\n';
}
