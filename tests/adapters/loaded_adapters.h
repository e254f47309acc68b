// The built LV2 and LADSPA plug-ins, loaded as their hosts load them, behind
// one small interface so every test runs against both.
#pragma once

#include <dlfcn.h>
#include <ladspa.h>
#include <lv2/core/lv2.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

enum AdapterPort : std::uint32_t { kInLeft, kInRight, kOutLeft, kOutRight, kLevel, kDelay, kAdapterPorts };

class AdapterInstance {
public:
    virtual ~AdapterInstance() = default;
    virtual void connect(std::uint32_t port, float* data) = 0;
    virtual void activate() = 0;
    virtual void run(std::uint32_t frames) = 0;
};

class LoadedAdapter {
public:
    virtual ~LoadedAdapter() = default;
    virtual std::unique_ptr<AdapterInstance> instantiate(double rate) = 0;
    virtual const char* name() const = 0;
};

class Lv2Instance : public AdapterInstance {
public:
    Lv2Instance(const LV2_Descriptor* descriptor, LV2_Handle handle) : descriptor_(descriptor), handle_(handle) {}
    ~Lv2Instance() override {
        descriptor_->deactivate(handle_);
        descriptor_->cleanup(handle_);
    }
    void connect(std::uint32_t port, float* data) override { descriptor_->connect_port(handle_, port, data); }
    void activate() override { descriptor_->activate(handle_); }
    void run(std::uint32_t frames) override { descriptor_->run(handle_, frames); }

private:
    const LV2_Descriptor* descriptor_;
    LV2_Handle handle_;
};

class LadspaInstance : public AdapterInstance {
public:
    LadspaInstance(const LADSPA_Descriptor* descriptor, LADSPA_Handle handle)
        : descriptor_(descriptor), handle_(handle) {}
    ~LadspaInstance() override { descriptor_->cleanup(handle_); }
    void connect(std::uint32_t port, float* data) override { descriptor_->connect_port(handle_, port, data); }
    void activate() override { descriptor_->activate(handle_); }
    void run(std::uint32_t frames) override { descriptor_->run(handle_, frames); }

private:
    const LADSPA_Descriptor* descriptor_;
    LADSPA_Handle handle_;
};

inline void* openLibrary(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw std::runtime_error(std::string("cannot load ") + path + ": " + dlerror());
    return handle;
}

class Lv2Adapter : public LoadedAdapter {
public:
    explicit Lv2Adapter(const char* path) : library_(openLibrary(path)) {
        auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library_, "lv2_descriptor"));
        descriptor_ = entry ? entry(0) : nullptr;
        if (!descriptor_) throw std::runtime_error("no LV2 descriptor");
    }
    std::unique_ptr<AdapterInstance> instantiate(double rate) override {
        LV2_Handle handle = descriptor_->instantiate(descriptor_, rate, "/", nullptr);
        return handle ? std::make_unique<Lv2Instance>(descriptor_, handle) : nullptr;
    }
    const char* name() const override { return "LV2"; }
    const LV2_Descriptor* descriptor() const { return descriptor_; }
    void* library() const { return library_; }

private:
    void* library_;
    const LV2_Descriptor* descriptor_;
};

class LadspaAdapter : public LoadedAdapter {
public:
    explicit LadspaAdapter(const char* path) : library_(openLibrary(path)) {
        auto entry = reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(library_, "ladspa_descriptor"));
        descriptor_ = entry ? entry(0) : nullptr;
        if (!descriptor_) throw std::runtime_error("no LADSPA descriptor");
    }
    std::unique_ptr<AdapterInstance> instantiate(double rate) override {
        LADSPA_Handle handle = descriptor_->instantiate(descriptor_, rate < 4e9 ? static_cast<unsigned long>(rate) : 4000000000ul);
        return handle ? std::make_unique<LadspaInstance>(descriptor_, handle) : nullptr;
    }
    const char* name() const override { return "LADSPA"; }
    const LADSPA_Descriptor* descriptor() const { return descriptor_; }
    void* library() const { return library_; }

private:
    void* library_;
    const LADSPA_Descriptor* descriptor_;
};

// Loaded once per program; never unloaded, as hosts keep plug-ins mapped.
inline Lv2Adapter& lv2Adapter() {
    static Lv2Adapter adapter(CROSSFEED_LV2_BINARY);
    return adapter;
}

inline LadspaAdapter& ladspaAdapter() {
    static LadspaAdapter adapter(CROSSFEED_LADSPA_BINARY);
    return adapter;
}
