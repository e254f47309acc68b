# The command-line renderer: shipped beside the native module, and the main
# job's demo, which renders a clip through every program into dist/demo/.
RENDERER := $(DIST)/linux-x86_64/crossfeed-render

.PHONY: dist-render
# A build folder configured before tools/ existed needs configuring again.
dist-render: dist
	@test -x $(BUILD)/linux-x86_64/bin/crossfeed-render || \
	  { cmake -S . -B $(BUILD)/linux-x86_64 >/dev/null && cmake --build $(BUILD)/linux-x86_64 -j $(JOBS); }
	@cp $(BUILD)/linux-x86_64/bin/crossfeed-render $(BUILD)/linux-x86_64/bin/crossfeed-render.1 $(DIST)/linux-x86_64/
	@echo "Renderer: $(RENDERER) (manual page beside it)"

demo: dist-render
DEMO_RECIPE = @scripts/make-demo $(DIST)/demo $(RENDERER)
