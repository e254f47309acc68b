# Releases: `make release` writes dist/release/ (the Windows zip, the amd64
# and arm64 Debian packages, the source archive and SHA256SUMS) and tests
# each file as a user installs it. `make reproducible` builds the release
# twice from clones of the commit in two other folders and compares.
RELEASE := $(DIST)/release
# A release holds what dist/ holds, from these trees.
RELEASE_TREES := linux-x86_64 linux-arm64 win32 win64

.PHONY: deps-release release release-files reproducible $(addprefix release-build-,$(RELEASE_TREES))

deps-release:
	@scripts/install-deps release
	@scripts/enable-i386

define release_tree_rule
release-build-$(1): deps-release $(BUILD)/$(1)/CMakeCache.txt
	cmake --build $(BUILD)/$(1) -j $(JOBS) --target $(dist_targets_$(1))
endef
$(foreach t,$(RELEASE_TREES),$(eval $(call release_tree_rule,$(t))))

release-files: $(addprefix release-build-,$(RELEASE_TREES))
	packaging/release $(BUILD) $(RELEASE)

# The zip's DLLs are tried with the digest program of their own target, its
# CLAP plug-in with the CLAP suite.
release: release-files
	cmake --build $(BUILD)/win32 -j $(JOBS) --target cross_target_digest
	cmake --build $(BUILD)/win64 -j $(JOBS) --target cross_target_digest clap_tests
	tests/release/release_test.sh $(RELEASE) $(BUILD)

reproducible: deps-release
	tests/release/reproducible.sh

CHECK_EXTRA += release
