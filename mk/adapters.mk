# The LV2 bundle, the LADSPA plug-in, the PipeWire sinks and the ALSA device,
# built in the native tree or taken from the sources and copied beside the VST
# modules. Their tests, real hosts included, run in the native suite
# (tests/adapters/, and tests/players/ for players and system-wide paths).
ADAPTER_BUILD := $(BUILD)/linux-x86_64/lib

.PHONY: dist-adapters
dist: dist-adapters
dist-adapters: dist-build-linux-x86_64
	@rm -rf $(DIST)/lv2/crossfeed.lv2 && mkdir -p $(DIST)/lv2 $(DIST)/ladspa $(DIST)/pipewire $(DIST)/alsa
	@cp -Rp $(ADAPTER_BUILD)/lv2/crossfeed.lv2 $(DIST)/lv2/
	@$(COPY) $(ADAPTER_BUILD)/ladspa/crossfeed.so $(DIST)/ladspa/
	@$(COPY) pipewire/crossfeed-sink.conf pipewire/crossfeed-headphones-sink.conf $(DIST)/pipewire/
	@$(COPY) alsa/crossfeed.asoundrc $(DIST)/alsa/
	@echo "Adapters: $(DIST)/lv2/crossfeed.lv2 $(DIST)/ladspa/crossfeed.so $(DIST)/pipewire/ $(DIST)/alsa/"
