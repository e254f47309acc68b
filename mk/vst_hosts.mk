# Real VST hosts as black boxes: Ardour 7 scans the native module and takes it
# in a headless session; LMMS renders through the 32-bit module under wine.
VST_HOSTS_WORK := $(BUILD)/vst-hosts

.PHONY: test-vst-hosts

test-vst-hosts:
	@status=0; \
	tests/vst_hosts/ardour_test.sh $(BUILD)/linux-x86_64/bin/crossfeed.so $(VST_HOSTS_WORK)/ardour || status=1; \
	tests/vst_hosts/lmms_test.sh $(BUILD)/win32/bin/crossfeed.dll $(VST_HOSTS_WORK)/lmms || status=1; \
	exit $$status

CHECK_EXTRA += test-vst-hosts
