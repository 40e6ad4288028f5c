# The simulator: its service side (command handler, firmware upload framing)
# and its multicast DNS question reading and answer writing.
sentrova_add_fuzzer(fuzz_sim_service LIBS sentrova_simcore)
sentrova_add_fuzzer(fuzz_sim_dns LIBS sentrova_simcore)
