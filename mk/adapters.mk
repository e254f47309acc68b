# The LV2 bundle, the LADSPA plug-in and the PipeWire configuration, built
# in the native tree and copied beside the VST modules. Their tests, real
# hosts included, run in the native suite (tests/adapters/).
ADAPTER_BUILD := $(BUILD)/linux-x86_64/lib

.PHONY: dist-adapters
dist: dist-adapters
dist-adapters: build
	@rm -rf $(DIST)/lv2/crossfeed.lv2 && mkdir -p $(DIST)/lv2 $(DIST)/ladspa $(DIST)/pipewire
	@cp -R $(ADAPTER_BUILD)/lv2/crossfeed.lv2 $(DIST)/lv2/
	@cp $(ADAPTER_BUILD)/ladspa/crossfeed.so $(DIST)/ladspa/
	@cp pipewire/crossfeed-sink.conf $(DIST)/pipewire/
	@echo "Adapters: $(DIST)/lv2/crossfeed.lv2 $(DIST)/ladspa/crossfeed.so $(DIST)/pipewire/crossfeed-sink.conf"
