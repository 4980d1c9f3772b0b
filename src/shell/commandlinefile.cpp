#include "shell/commandlinefile.h"

#include "base/filedescriptor.h"
#include "base/text.h"

#include <algorithm>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>

bool isReadableFile(const std::string& path)
{
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    return file && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode);
}

CommandLineFile commandLineFile(const std::vector<std::string>& arguments)
{
    std::string path;
    for (std::size_t i = 0; i < arguments.size(); ++i)
        path += (i == 0 ? "" : " ") + arguments[i];
    path.erase(std::remove(path.begin(), path.end(), '"'), path.end());
    if (path.empty() || !isReadableFile(path))
        return {};

    CommandLineFile file;
    file.path = std::filesystem::absolute(path).lexically_normal().string();
    const std::size_t dot = file.path.rfind('.');
    const std::string extension =
        upperCase(dot == std::string::npos ? file.path : file.path.substr(dot));
    if (extension == ".CPE")
        file.kind = CommandLineFileKind::AddressBook;
    else if (extension == ".OBL")
        file.kind = CommandLineFileKind::GatewayList;
    else
        file.kind = CommandLineFileKind::Unrecognised;
    return file;
}
