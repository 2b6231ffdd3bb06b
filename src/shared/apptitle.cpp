#include "apptitle.h"

#include "textutil.h"

std::string ApplicationTitleFromPath(const std::string &executablePath)
{
    std::string name = executablePath.substr(executablePath.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    if (name.empty())
        return name;
    std::string rest = name.substr(1);
    LowerInPlace(rest);
    return name.front() + rest;
}
