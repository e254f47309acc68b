# The CLAP plug-in, built in every 64-bit tree, copied beside that target's
# VST module: dist/linux-x86_64/crossfeed.clap, dist/win64/crossfeed.clap.
# Its tests run in each target's suite (tests/clap/).
CLAP_TARGETS := $(filter-out win32,$(TARGETS))

.PHONY: dist-clap
dist: dist-clap
dist-clap: $(addprefix dist-build-,$(CLAP_TARGETS))
	@$(foreach t,$(CLAP_TARGETS),mkdir -p $(DIST)/$(t) && $(COPY) $(BUILD)/$(t)/bin/crossfeed.clap $(DIST)/$(t)/ &&) true
	@echo "CLAP: $(foreach t,$(CLAP_TARGETS),$(DIST)/$(t)/crossfeed.clap)"
