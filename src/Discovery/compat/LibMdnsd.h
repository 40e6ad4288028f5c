#pragma once

// libmdnsd's headers are C and use "class" as a member and parameter name.
// The system headers they pull in are included first, untouched, so that the
// rename below only touches libmdnsd's own declarations.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdbool.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <syslog.h>

extern "C" {
#define class dns_class
#include <libmdnsd/mdnsd.h>
#undef class
}
