# The command-line renderer: shipped beside the native module, and the main
# job's demo, which renders a clip through every program into dist/demo/.
RENDERER := $(DIST)/linux-x86_64/crossfeed-render
DEMO := $(DIST)/demo

.PHONY: dist-render demo-files
dist: dist-render
dist-render: dist-build-linux-x86_64
	@mkdir -p $(DIST)/linux-x86_64
	@$(COPY) $(BUILD)/linux-x86_64/bin/crossfeed-render $(BUILD)/linux-x86_64/bin/crossfeed-render.1 $(DIST)/linux-x86_64/
	@echo "Renderer: $(RENDERER) (manual page beside it)"

# Rendered again only when the renderer, the module or the demo's own
# scripts changed: a second `make` with nothing changed does nothing here.
demo: dist
	@$(MAKE) --no-print-directory demo-files
demo-files: $(DEMO)/presets.png
$(DEMO)/presets.png: $(RENDERER) $(DIST)/linux-x86_64/crossfeed.so scripts/make-demo scripts/presets.gp
	@scripts/make-demo $(DEMO) $(RENDERER)
