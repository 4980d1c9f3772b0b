#include "transfer/ftpclient.h"

bool isSendableLoginText(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool isSendableLogin(std::string_view userId, std::string_view password)
{
    return isSendableLoginText(userId) && isSendableLoginText(password);
}

bool isSendableRemoteName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of(std::string_view("\r\n/\0", 4)) == std::string_view::npos;
}
