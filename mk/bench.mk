# Benchmarks: `make bench` for the full run, `make bench-smoke` for one short
# repetition that only proves the suite builds and runs (figures never fail).
# Two programs: the module's processing, and the CLAP layer over the processor.
BENCH_BUILD := $(BUILD)/bench
BENCH_PROGRAM := $(BENCH_BUILD)/bin/crossfeed_bench
CLAP_BENCH_PROGRAM := $(BENCH_BUILD)/bin/clap_bench

.PHONY: bench bench-smoke bench-build

$(BENCH_BUILD)/CMakeCache.txt:
	@scripts/install-deps check
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DCROSSFEED_BENCHMARKS=ON -DCROSSFEED_TESTS=OFF \
		-DCROSSFEED_TOOLS=OFF

bench-build: $(BENCH_BUILD)/CMakeCache.txt
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target crossfeed_bench clap_bench

bench: bench-build
	$(BENCH_PROGRAM) $(BENCH_ARGS)
	$(CLAP_BENCH_PROGRAM) $(BENCH_ARGS)

bench-smoke: bench-build
	$(BENCH_PROGRAM) --benchmark_min_time=0.002
	$(CLAP_BENCH_PROGRAM) --benchmark_min_time=0.002

CHECK_EXTRA += bench-smoke

# What running under the module's own float settings costs: the same build
# with the entries left under the host's settings, compared in one run.
GUARD_BASELINE := $(BUILD)/bench-host-float
.PHONY: bench-guard
bench-guard: bench-build
	cmake -S . -B $(GUARD_BASELINE) -DCMAKE_BUILD_TYPE=Release -DCROSSFEED_FLOAT_GUARD=OFF -DCROSSFEED_TESTS=OFF \
		-DCROSSFEED_TOOLS=OFF -DCROSSFEED_ADAPTERS=OFF
	cmake --build $(GUARD_BASELINE) -j $(JOBS) --target crossfeed
	CROSSFEED_BASELINE_MODULE=$(GUARD_BASELINE)/bin/crossfeed.so $(BENCH_PROGRAM) $(BENCH_ARGS)
