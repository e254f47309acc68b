# Hardening goals: the whole native suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threads tests under ThreadSanitizer, the
# fuzz targets (corpus replay, then a bounded run) and a coverage report.
#   make asan | tsan | fuzz | coverage
# FUZZ_SECONDS sets the length of the fuzz run. Each goal configures its own
# tree every time, so a change of flags here always reaches it.

HARDENING_JOBS ?= 2
FUZZ_SECONDS ?= 75
# The VST entry points get most of the time; the adapters are thinner, and
# the CLAP plug-in's state reader thinner still.
ADAPTER_FUZZ_SECONDS ?= $(shell expr $(FUZZ_SECONDS) / 5)
CLAP_FUZZ_SECONDS ?= $(shell expr $(FUZZ_SECONDS) / 5)
CLAP_STATE_FUZZ_SECONDS ?= $(shell expr $(FUZZ_SECONDS) / 10)
HOST_FUZZ_SECONDS ?= $(shell expr $(FUZZ_SECONDS) - $(ADAPTER_FUZZ_SECONDS) - $(CLAP_FUZZ_SECONDS) - $(CLAP_STATE_FUZZ_SECONDS))
# The renderer's reading of files: each input goes through libsndfile and
# TagLib several times, so fewer runs a second; its own share of time.
RENDER_FUZZ_SECONDS ?= 30
# libsndfile 1.2.0 never finishes opening some WAV headers with an odd LIST
# chunk (sndfile-info hangs on them too). The renderer cannot interrupt it,
# so such an input ends the run, reported as a skip that names the file;
# a crash or a leak still fails.
RENDER_FUZZ_TIMEOUT ?= 20
RENDER_FUZZ_HANG_REPORT = for input in $(BUILD)/fuzz/render-timeout-*; do [ -e "$$input" ] || continue; \
	  echo "SKIP: render fuzzing: stopped early at an input libsndfile does not finish opening ($$input)"; done
# The libraries' leaks in their own error paths, by name; never ours.
RENDER_FUZZ_LEAKS := LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/render/library_leaks.txt:print_suppressions=0
SANITIZE_FLAGS := -fno-sanitize-recover=all -fno-omit-frame-pointer -g
export ASAN_OPTIONS := detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS := print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS := halt_on_error=1:second_deadlock_stack=1

.PHONY: asan tsan fuzz coverage

asan:
	CXX=g++ cmake -S . -B $(BUILD)/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCROSSFEED_TOOLS=OFF \
	  "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined,float-cast-overflow $(SANITIZE_FLAGS)"
	cmake --build $(BUILD)/asan -j $(HARDENING_JOBS)
	@mkdir -p $(CHECK_LOGS)
	cd $(BUILD)/asan && ctest --output-on-failure -j 2 $(call ctest_report,asan)

tsan:
	CXX=g++ cmake -S . -B $(BUILD)/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCROSSFEED_TOOLS=OFF \
	  "-DCMAKE_CXX_FLAGS=-fsanitize=thread $(SANITIZE_FLAGS)"
	cmake --build $(BUILD)/tsan -j $(HARDENING_JOBS) --target hardening_tests clap_tests
	$(BUILD)/tsan/bin/hardening_tests --gtest_filter='Threads.*'
	$(BUILD)/tsan/bin/clap_tests --gtest_filter='*AudioThread*'

# New inputs go to a scratch folder; the committed corpus is only read.
fuzz:
	CXX=clang++ cmake -S . -B $(BUILD)/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCROSSFEED_FUZZ=ON \
	  -DCROSSFEED_TESTS=OFF -DCROSSFEED_TOOLS=ON \
	  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined $(SANITIZE_FLAGS)"
	cmake --build $(BUILD)/fuzz -j $(HARDENING_JOBS) --target host_calls_fuzzer adapter_calls_fuzzer \
	  clap_calls_fuzzer clap_state_fuzzer render_files_fuzzer
	$(BUILD)/fuzz/bin/host_calls_fuzzer -runs=0 fuzz/corpus
	rm -rf $(BUILD)/fuzz/found && mkdir -p $(BUILD)/fuzz/found
	$(BUILD)/fuzz/bin/host_calls_fuzzer -max_total_time=$(HOST_FUZZ_SECONDS) -max_len=2048 -print_final_stats=1 \
	  -artifact_prefix=$(BUILD)/fuzz/ $(BUILD)/fuzz/found fuzz/corpus
	rm -rf $(BUILD)/fuzz/found-adapters && mkdir -p $(BUILD)/fuzz/found-adapters
	$(BUILD)/fuzz/bin/adapter_calls_fuzzer -max_total_time=$(ADAPTER_FUZZ_SECONDS) -max_len=2048 -print_final_stats=1 \
	  -artifact_prefix=$(BUILD)/fuzz/adapters- $(BUILD)/fuzz/found-adapters
	rm -rf $(BUILD)/fuzz/found-clap && mkdir -p $(BUILD)/fuzz/found-clap
	$(BUILD)/fuzz/bin/clap_calls_fuzzer -max_total_time=$(CLAP_FUZZ_SECONDS) -max_len=2048 -print_final_stats=1 \
	  -artifact_prefix=$(BUILD)/fuzz/clap- $(BUILD)/fuzz/found-clap
	rm -rf $(BUILD)/fuzz/found-clap-state && mkdir -p $(BUILD)/fuzz/found-clap-state
	$(BUILD)/fuzz/bin/clap_state_fuzzer -max_total_time=$(CLAP_STATE_FUZZ_SECONDS) -max_len=64 -print_final_stats=1 \
	  -artifact_prefix=$(BUILD)/fuzz/clap-state- $(BUILD)/fuzz/found-clap-state fuzz/clap/state-corpus
	$(RENDER_FUZZ_LEAKS) $(BUILD)/fuzz/bin/render_files_fuzzer -runs=0 fuzz/render/corpus
	rm -rf $(BUILD)/fuzz/found-render $(BUILD)/fuzz/render-timeout-* && mkdir -p $(BUILD)/fuzz/found-render
	$(RENDER_FUZZ_LEAKS) $(BUILD)/fuzz/bin/render_files_fuzzer -max_total_time=$(RENDER_FUZZ_SECONDS) -max_len=8192 \
	  -print_final_stats=1 -close_fd_mask=3 -artifact_prefix=$(BUILD)/fuzz/render- $(BUILD)/fuzz/found-render \
	  -timeout=$(RENDER_FUZZ_TIMEOUT) -timeout_exitcode=0 fuzz/render/corpus
	@$(RENDER_FUZZ_HANG_REPORT)

coverage:
	CXX=g++ cmake -S . -B $(BUILD)/coverage -DCMAKE_BUILD_TYPE=Debug -DCROSSFEED_TOOLS=OFF \
	  "-DCMAKE_CXX_FLAGS=--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_MODULE_LINKER_FLAGS=--coverage
	cmake --build $(BUILD)/coverage -j $(HARDENING_JOBS)
	find $(BUILD)/coverage -name '*.gcda' -delete
	cd $(BUILD)/coverage && ctest --output-on-failure -j 2
	gcovr -r . --object-directory $(BUILD)/coverage --exclude-directories '.*CompilerIdCXX.*' \
	  --filter 'host/' --filter 'crossfeed/' --print-summary --html-details $(BUILD)/coverage/index.html

CHECK_EXTRA += asan tsan fuzz
