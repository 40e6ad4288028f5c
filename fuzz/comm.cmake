# The service channel's message handler, against the real hub.
sentrova_add_fuzzer(fuzz_comm_svc LIBS sentrova_comm)
