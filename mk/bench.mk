# Benchmarks: `make bench` for the full run, `make bench-smoke` for one short
# repetition that only proves the suite builds and runs (figures never fail).
BENCH_BUILD := $(BUILD)/bench
BENCH_PROGRAM := $(BENCH_BUILD)/bin/crossfeed_bench

.PHONY: bench bench-smoke bench-build

$(BENCH_BUILD)/CMakeCache.txt:
	@scripts/install-deps check
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DCROSSFEED_BENCHMARKS=ON -DCROSSFEED_TESTS=OFF \
		-DCROSSFEED_TOOLS=OFF

bench-build: $(BENCH_BUILD)/CMakeCache.txt
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target crossfeed_bench

bench: bench-build
	$(BENCH_PROGRAM) $(BENCH_ARGS)

bench-smoke: bench-build
	$(BENCH_PROGRAM) --benchmark_min_time=0.002

CHECK_EXTRA += bench-smoke
