#pragma once

#include "protocol/NetworkSettings.h"

#include <QtGlobal>

#include <arpa/inet.h>

// Host-order address from dotted text; the tests write every address as people read it.
inline quint32 Host(const char* dotted)
{
    in_addr address{};
    if (inet_pton(AF_INET, dotted, &address) != 1) {
        qFatal("bad address in test: %s", dotted);
    }
    return ntohl(address.s_addr);
}

// Settings in wire order, as the dialog and the node list hold them.
inline NetworkSettings Settings(qint32 dhcp, const char* ip, const char* mask, const char* gateway)
{
    NetworkSettings settings;
    settings.SetDhcp(dhcp);
    settings.SetIpAddress(htonl(Host(ip)));
    settings.SetSubnetMask(htonl(Host(mask)));
    settings.SetGateway(htonl(Host(gateway)));
    return settings;
}
