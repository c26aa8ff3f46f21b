#include "NetworkInterfaces.h"

#include <net/if.h>

namespace NetworkInterfaces {

std::string Name(unsigned index)
{
    char name[IF_NAMESIZE] = {};
    return index != 0 && if_indextoname(index, name) != nullptr ? std::string(name) : std::string();
}

} // namespace NetworkInterfaces
