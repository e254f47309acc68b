# 64-bit ARM Linux: the VST module, the LV2 and LADSPA plug-ins and the
# renderer, cross-built with Debian's aarch64 compiler against the arm64
# libraries, and the suite run under qemu's user-mode emulator.
ARM64_BUILD := $(BUILD)/linux-arm64

.PHONY: deps-arm64 build-linux-arm64 test-linux-arm64

deps-arm64:
	@scripts/install-deps arm64

$(ARM64_BUILD)/CMakeCache.txt:
	@scripts/install-deps arm64
	cmake -S . -B $(ARM64_BUILD) -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/aarch64-linux-gnu.cmake

build-linux-arm64: $(ARM64_BUILD)/CMakeCache.txt
	cmake --build $(ARM64_BUILD) -j $(JOBS)

test-linux-arm64: build-linux-arm64
	@mkdir -p $(CHECK_LOGS)
	cd $(ARM64_BUILD) && ctest --output-on-failure -j 2 $(call ctest_report,linux-arm64)

CHECK_EXTRA += test-linux-arm64
