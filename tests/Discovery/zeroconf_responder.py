#!/usr/bin/python3
"""Publishes one instance of the masters' service with python3-zeroconf, an
independent multicast DNS responder, so discovery is tested against what a
general responder sends. Prints READY once the service is registered and runs
until it is terminated."""
import argparse
import signal
import socket
import sys

import zeroconf._core
import zeroconf._services.info
import zeroconf._utils.name
from zeroconf import IPVersion, ServiceInfo, Zeroconf

# The masters' service name carries an underscore inside ("_svc_sentrova"),
# which RFC 6335 forbids and zeroconf refuses when it registers a service.
# Real masters use it all the same, so the check is relaxed here.
def _lenient_service_type_name(type_, *, strict=True):
    return zeroconf._utils.name.service_type_name(type_, strict=False)


zeroconf._core.service_type_name = _lenient_service_type_name
zeroconf._services.info.service_type_name = _lenient_service_type_name

SERVICE = "_svc_sentrova._tcp.local."


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--label", required=True, help="instance label in front of the service name")
    parser.add_argument("--address", required=True, help="IPv4 address to publish and to answer from")
    parser.add_argument("--server", help="host name the SRV record points to (default: the instance name)")
    args = parser.parse_args()

    name = f"{args.label}.{SERVICE}"
    info = ServiceInfo(SERVICE, name, port=8784, properties={"fw": "1.00"},
                       addresses=[socket.inet_aton(args.address)], server=args.server or name)
    zc = Zeroconf(interfaces=[args.address], ip_version=IPVersion.V4Only)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        zc.register_service(info, allow_name_change=False)
        print("READY", flush=True)
        signal.pause()
    finally:
        zc.close()


if __name__ == "__main__":
    main()
