# Discovery: the firmware dialog's mDNS response parser and the multicast DNS
# engine's message input behind its wire check.
sentrova_add_fuzzer(fuzz_discovery_qmdns LIBS sentrova_discovery)
sentrova_add_fuzzer(fuzz_discovery_engine LIBS sentrova_discovery)
