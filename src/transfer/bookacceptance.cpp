#include "transfer/bookacceptance.h"

#include <sys/stat.h>

std::string bookCopyProblem(const std::string& path, long long announced)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return "the copy could not be read back";
    const long long size = static_cast<long long>(status.st_size);
    if (announced >= 0 && size != announced)
        return "received " + std::to_string(size) + " bytes, the server announced "
               + std::to_string(announced);
    if (size != DeviceBookFileSize)
        return "the copy holds " + std::to_string(size) + " bytes, not the "
               + std::to_string(DeviceBookFileSize) + " of an address book";
    return {};
}
