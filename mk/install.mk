# make install / make uninstall: the renderer, the native module where the
# renderer and Linux VST hosts find it (lib/lxvst/), the LV2, LADSPA and
# CLAP plug-ins when they were built, the manual page and the licence.
# The PipeWire sinks and the ALSA device go in as examples only: nothing
# installed changes anyone's sound until they choose to copy one into place.
# Usable on its own too: make -f mk/install.mk install RENDERER=... MODULE=... MANUAL=...
PREFIX ?= /usr/local
DESTDIR ?=
DIST ?= dist
RENDERER ?= $(DIST)/linux-x86_64/crossfeed-render
MODULE ?= $(DIST)/linux-x86_64/crossfeed.so
MANUAL ?= $(DIST)/linux-x86_64/crossfeed-render.1
LV2_BUNDLE ?= $(DIST)/lv2/crossfeed.lv2
LADSPA_PLUGIN ?= $(DIST)/ladspa/crossfeed.so
CLAP_PLUGIN ?= $(DIST)/linux-x86_64/crossfeed.clap
INSTALL_SOURCE := $(patsubst %/mk/,%,$(dir $(abspath $(lastword $(MAKEFILE_LIST)))))

root := $(DESTDIR)$(PREFIX)
docdir := $(root)/share/doc/crossfeed
# Every installed file is listed here, so uninstall removes exactly those.
manifest := $(docdir)/installed-files

.PHONY: install uninstall
install:
	@test -x "$(RENDERER)" && test -f "$(MODULE)" && test -f "$(MANUAL)" || \
	  { echo "install: build first (make): $(RENDERER), $(MODULE) and $(MANUAL) are needed" >&2; exit 1; }
	@set -e; \
	root="$(root)"; list=$$(mktemp); trap 'rm -f "$$list" "$$list.asoundrc"' EXIT; \
	put() { install -D -m "$$1" "$$2" "$$root/$$3"; echo "$$3" >> "$$list"; }; \
	put 755 "$(RENDERER)" bin/crossfeed-render; \
	put 644 "$(MODULE)" lib/lxvst/crossfeed.so; \
	if [ -d "$(LV2_BUNDLE)" ]; then \
	  for file in "$(LV2_BUNDLE)"/*; do put 644 "$$file" "lib/lv2/crossfeed.lv2/$${file##*/}"; done; fi; \
	if [ -f "$(LADSPA_PLUGIN)" ]; then put 644 "$(LADSPA_PLUGIN)" lib/ladspa/crossfeed.so; fi; \
	if [ -f "$(CLAP_PLUGIN)" ]; then put 644 "$(CLAP_PLUGIN)" lib/clap/crossfeed.clap; fi; \
	put 644 "$(MANUAL)" share/man/man1/crossfeed-render.1; \
	put 644 "$(INSTALL_SOURCE)/LICENSE" share/doc/crossfeed/LICENSE; \
	for file in "$(INSTALL_SOURCE)"/pipewire/*.conf; do put 644 "$$file" "share/doc/crossfeed/examples/$${file##*/}"; done; \
	sed 's|"/usr/local/lib/ladspa"|"$(PREFIX)/lib/ladspa"|' "$(INSTALL_SOURCE)/alsa/crossfeed.asoundrc" > "$$list.asoundrc"; \
	put 644 "$$list.asoundrc" share/doc/crossfeed/examples/crossfeed.asoundrc; \
	echo share/doc/crossfeed/installed-files >> "$$list"; \
	install -m 644 "$$list" "$(manifest)"; \
	echo "Installed into $$root: $$(wc -l < "$(manifest)") files (listed in $(manifest))"

# Only the files listed, and only the folders that are ours alone.
uninstall:
	@set -e; root="$(root)"; \
	test -f "$(manifest)" || { echo "uninstall: nothing installed in $$root ($(manifest) is missing)" >&2; exit 1; }; \
	while IFS= read -r file; do \
	  case $$file in ""|/*|*..*) continue ;; esac; \
	  [ "$$file" = share/doc/crossfeed/installed-files ] || rm -f "$$root/$$file"; \
	done < "$(manifest)"; \
	rm -f "$(manifest)"; \
	for dir in lib/lv2/crossfeed.lv2 share/doc/crossfeed/examples share/doc/crossfeed; do \
	  [ -d "$$root/$$dir" ] && rmdir "$$root/$$dir" 2>/dev/null || true; done; \
	echo "Removed the files installed in $$root"
