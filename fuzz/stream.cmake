# The location stream's decoders.
sentrova_add_fuzzer(fuzz_stream_tlv LIBS sentrova_stream)
sentrova_add_fuzzer(fuzz_stream_jsonlines LIBS sentrova_stream)
sentrova_add_fuzzer(fuzz_stream_jsonparsers LIBS sentrova_stream)
