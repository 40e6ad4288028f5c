#include "RtlsHubLink.h"

namespace {
RtlsHubLink *g_link = nullptr;
}

RtlsHubLink::~RtlsHubLink()
{
    if (g_link == this)
        g_link = nullptr;
}

RtlsHubLink *RtlsHubLink::current()
{
    return g_link;
}

void RtlsHubLink::setCurrent(RtlsHubLink *link)
{
    g_link = link;
}
