# Two goals for a fresh Debian machine:
#   make        installs what the build needs, builds what goes into dist/ for
#               every target and runs the demo; the test suites are not built
#   make check  builds and runs the whole test suite on every target, every
#               part to the end, then prints what passed, failed and skipped

BUILD := build
DIST := dist
TARGETS := linux-x86_64 win64 win32
JOBS ?= $(shell nproc)
export WINEPREFIX := $(CURDIR)/$(BUILD)/wineprefix

toolchain_linux-x86_64 :=
toolchain_win64 := -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake
toolchain_win32 := -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake
module_linux-x86_64 := crossfeed.so
module_win64 := crossfeed.dll
module_win32 := crossfeed.dll

# What goes into dist/ from each tree; the rest of a tree is the test suite.
DIST_TARGETS_LINUX := crossfeed crossfeed_lv2 crossfeed_lv2_description crossfeed_ladspa crossfeed_clap \
	crossfeed-render crossfeed-render-manual
dist_targets_linux-x86_64 := $(DIST_TARGETS_LINUX)
dist_targets_linux-arm64 := $(DIST_TARGETS_LINUX)
dist_targets_win32 := crossfeed
dist_targets_win64 := crossfeed crossfeed_clap

# Where `make check` keeps each part's log, the suites' reports and the
# summary it prints at the end.
CHECK_LOGS := $(BUILD)/check

.PHONY: all check check-parts deps deps-check build dist demo test clean \
	$(addprefix build-,$(TARGETS)) $(addprefix dist-build-,$(TARGETS)) $(addprefix test-,$(TARGETS))

all: deps
	$(MAKE) --no-print-directory demo

# Every part runs even when one before it failed; the summary says which
# failed, and the exit status is a failure if any did.
check: deps-check
	@rm -rf $(CHECK_LOGS) && mkdir -p $(CHECK_LOGS)
	@status=0; \
	for part in $(CHECK_PARTS); do \
	  scripts/check-part $(CHECK_LOGS) $$part $(MAKE) --no-print-directory $$part || status=1; \
	done; \
	scripts/check-summary $(CHECK_LOGS) $(CHECK_PARTS) || status=1; \
	exit $$status

deps:
	@scripts/install-deps build

# Test hosts that change a desktop (players, PipeWire, Ardour, LMMS...) are
# installed only when asked: INSTALL_TEST_HOSTS=1, or in CI.
deps-check:
	@INSTALL_TEST_HOSTS=$(INSTALL_TEST_HOSTS) scripts/install-deps check
	@scripts/enable-i386

build: $(addprefix build-,$(TARGETS))

$(BUILD)/%/CMakeCache.txt:
	cmake -S . -B $(BUILD)/$* -DCMAKE_BUILD_TYPE=Release $(toolchain_$*)

# A ctest run's report for the summary, named after the run: every test's
# output, passed or not, since a passing suite's skipped cases say why in it.
ctest_report = --output-junit $(CURDIR)/$(CHECK_LOGS)/ctest-$(1).xml --test-output-size-passed 262144

define target_rules
build-$(1): $(BUILD)/$(1)/CMakeCache.txt
	cmake --build $(BUILD)/$(1) -j $(JOBS)

dist-build-$(1): $(BUILD)/$(1)/CMakeCache.txt
	cmake --build $(BUILD)/$(1) -j $(JOBS) --target $(dist_targets_$(1))

test-$(1): build-$(1)
	@mkdir -p $(CHECK_LOGS)
	cd $(BUILD)/$(1) && ctest --output-on-failure -j 2 $(call ctest_report,$(1))
endef
$(foreach t,$(TARGETS),$(eval $(call target_rules,$(t))))

# Copies keep the build's times, so a build that changed nothing leaves dist/
# as it was and the demo is not rendered again.
COPY := cp -p
dist: $(addprefix dist-build-,$(TARGETS))
	@$(foreach t,$(TARGETS),mkdir -p $(DIST)/$(t) && $(COPY) $(BUILD)/$(t)/bin/$(module_$(t)) $(DIST)/$(t)/ &&) true
	@echo "Modules: $(foreach t,$(TARGETS),$(DIST)/$(t)/$(module_$(t)))"

# The main job's last step (mk/render.mk renders it).
demo: dist

# The native suite first: it is the quickest to fail.
test: $(addprefix test-,$(TARGETS))


# Each further concern (renderer demo, benchmarks, sanitizers, fuzzing...)
# keeps its goals in a file of its own under mk/ and adds the suites that
# `make check` must run to CHECK_EXTRA.
CHECK_EXTRA :=
-include mk/*.mk
CHECK_PARTS := $(addprefix test-,$(TARGETS)) $(CHECK_EXTRA)

clean:
	rm -rf $(BUILD) $(DIST)
