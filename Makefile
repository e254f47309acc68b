# Two goals for a fresh Debian machine:
#   make        installs what the build needs, builds every target into dist/
#               and runs the demo
#   make check  builds and runs the whole test suite on every target

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

.PHONY: all check deps deps-check build dist demo test $(addprefix build-,$(TARGETS)) $(addprefix test-,$(TARGETS)) clean

all: deps
	$(MAKE) --no-print-directory dist
	$(MAKE) --no-print-directory demo

check: deps-check
	$(MAKE) --no-print-directory build
	$(MAKE) --no-print-directory test $(CHECK_EXTRA)

deps:
	@scripts/install-deps build

deps-check:
	@scripts/install-deps check
	@scripts/enable-i386

build: $(addprefix build-,$(TARGETS))

$(BUILD)/%/CMakeCache.txt:
	cmake -S . -B $(BUILD)/$* -DCMAKE_BUILD_TYPE=Release $(toolchain_$*)

define target_rules
build-$(1): $(BUILD)/$(1)/CMakeCache.txt
	cmake --build $(BUILD)/$(1) -j $(JOBS)

test-$(1): build-$(1)
	cd $(BUILD)/$(1) && ctest --output-on-failure -j 2
endef
$(foreach t,$(TARGETS),$(eval $(call target_rules,$(t))))

dist: build
	@$(foreach t,$(TARGETS),mkdir -p $(DIST)/$(t) && cp $(BUILD)/$(t)/bin/$(module_$(t)) $(DIST)/$(t)/ &&) true
	@echo "Modules: $(foreach t,$(TARGETS),$(DIST)/$(t)/$(module_$(t)))"

# The main job's last step; mk/ files may replace it.
DEMO_RECIPE ?= @echo "Modules built."
demo: dist
	$(DEMO_RECIPE)

# The native suite first: it is the quickest to fail.
test: $(addprefix test-,$(TARGETS))


# Each further concern (renderer demo, benchmarks, sanitizers, fuzzing...)
# keeps its goals in a file of its own under mk/ and adds the suites that
# `make check` must run to CHECK_EXTRA.
CHECK_EXTRA :=
-include mk/*.mk

clean:
	rm -rf $(BUILD) $(DIST)
