// The framework's own behaviour, on a minimal effect derived from EffectBase:
// defaults, flags, the dispatcher's decoding, editor forwarding and the
// requests an effect sends to its host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#include "host/effect_base.h"
#include "support/recording_host.h"

namespace {

struct EditorLog {
    int getRect = 0, open = 0, close = 0, idle = 0, destroyed = 0;
    void* lastPointer = nullptr;
};

class FakeEditor : public EffectEditor {
public:
    explicit FakeEditor(EditorLog& log) : log_(log) {}
    ~FakeEditor() override { ++log_.destroyed; }
    std::int32_t getRect(void* pointer) noexcept override {
        ++log_.getRect;
        log_.lastPointer = pointer;
        return 41;
    }
    std::int32_t open(void* pointer) noexcept override {
        ++log_.open;
        log_.lastPointer = pointer;
        return 42;
    }
    void close() noexcept override { ++log_.close; }
    void idle() noexcept override { ++log_.idle; }

private:
    EditorLog& log_;
};

struct EffectLog {
    int suspends = 0, resumes = 0, destroyed = 0, closes = 0;
    std::vector<std::pair<std::int32_t, float>> parameters;
};

class TestEffect : public EffectBase {
public:
    TestEffect(HostCallback host, EffectLog& log, EditorLog* editorLog = nullptr)
        : EffectBase(host, 3, 5), log_(log) {
        if (editorLog) editor = new FakeEditor(*editorLog);
    }
    ~TestEffect() override { ++log_.destroyed; }
    void processAdding(float**, float**, std::int32_t) noexcept override {}
    void setParameter(std::int32_t index, float value) noexcept override { log_.parameters.push_back({index, value}); }
    float getVu() noexcept override { return vu; }
    void suspend() noexcept override { ++log_.suspends; }
    void resume() noexcept override { ++log_.resumes; }
    void close() noexcept override { ++log_.closes; }
    std::int32_t flags() { return record.flags; }
    float vu = 0.0f;

private:
    EffectLog& log_;
};

std::vector<HostCall>& calls = RecordingHost::calls();
const HostCallback recordingHost = RecordingHost::callback;

HostInt dispatch(EffectBase& effect, std::int32_t opcode, std::int32_t index = 0, HostInt value = 0,
                 void* pointer = nullptr, float option = 0.0f) {
    EffectRecord* record = effect.getRecord();
    return record->dispatchEntry(record, opcode, index, value, pointer, option);
}

TEST(EffectBase, FillsTheRecord) {
    EffectLog log;
    TestEffect effect(nullptr, log);
    const EffectRecord& record = *effect.getRecord();
    EXPECT_EQ(record.magic, 0x56737450);
    EXPECT_EQ(record.programCount, 3);
    EXPECT_EQ(record.parameterCount, 5);
    EXPECT_EQ(record.inputCount, 1);
    EXPECT_EQ(record.outputCount, 2);
    EXPECT_EQ(record.flags, 0);
    EXPECT_EQ(record.ioRatio, 1.0f);
    EXPECT_EQ(record.object, static_cast<EffectBase*>(&effect));
    EXPECT_EQ(record.version, 1);
    for (char byte : record.future) EXPECT_EQ(byte, 0);
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
}

TEST(EffectBase, SettersChangeOnlyTheirOwnField) {
    EffectLog log;
    TestEffect effect(nullptr, log);
    effect.setReplacingFlag(1);
    effect.setVuFlag(0);
    EXPECT_EQ(effect.flags(), 0x10);
    effect.setClipFlag(-1);
    effect.setMonoFlag(256);
    effect.setVuFlag(1);
    EXPECT_EQ(effect.flags(), 0x1E);
    effect.setClipFlag(0);
    effect.setReplacingFlag(0);
    EXPECT_EQ(effect.flags(), 0x0C);

    effect.setInputCount(6);
    effect.setOutputCount(8);
    effect.setUniqueId(0x41424344);
    effect.setInitialDelay(128);
    effect.setRealtimeQualities(3);
    effect.setOfflineQualities(4);
    const EffectRecord& record = *effect.getRecord();
    EXPECT_EQ(record.inputCount, 6);
    EXPECT_EQ(record.outputCount, 8);
    EXPECT_EQ(record.uniqueId, 0x41424344);
    EXPECT_EQ(record.initialDelay, 128);
    EXPECT_EQ(record.realtimeQualities, 3);
    EXPECT_EQ(record.offlineQualities, 4);
    EXPECT_EQ(record.programCount, 3);
}

TEST(EffectBase, DefaultsDoNothingHarmful) {
    EffectLog log;
    TestEffect effect(nullptr, log);
    EXPECT_EQ(effect.EffectBase::getParameter(3), 0.0f);
    EXPECT_EQ(effect.EffectBase::getVu(), 0.0f);
    for (std::int32_t opcode : {kEffectSetProgramName, kEffectGetProgramName, kEffectGetParameterLabel,
                                kEffectGetParameterDisplay, kEffectGetParameterName}) {
        char text[8] = "garbage";
        EXPECT_EQ(dispatch(effect, opcode, 1, 0, text), 0);
        EXPECT_EQ(text[0], '\0') << "opcode " << opcode;
    }
    float sample = 0.5f;
    float* channels[2] = {&sample, &sample};
    EffectRecord* record = effect.getRecord();
    record->processReplacingEntry(record, channels, channels, 1);
    EXPECT_EQ(sample, 0.5f);

    dispatch(effect, kEffectSetSampleRate, 0, 0, nullptr, 96000.0f);
    dispatch(effect, kEffectSetBlockSize, 0, 64);
    EXPECT_EQ(effect.getSampleRate(), 96000.0f);
    EXPECT_EQ(effect.getBlockSize(), 64);
    dispatch(effect, kEffectSetProgram, 0, 2);
    EXPECT_EQ(dispatch(effect, kEffectGetProgram), 2);
    dispatch(effect, kEffectSetProgram, 0, 3);
    dispatch(effect, kEffectSetProgram, 0, -1);
    EXPECT_EQ(dispatch(effect, kEffectGetProgram), 2);
}

TEST(EffectBase, VuOpcodeScalesAndSaturates) {
    EffectLog log;
    TestEffect effect(nullptr, log);
    const struct {
        float vu;
        HostInt answer;
    } cases[] = {{0.5f, 16383},
                 {0.0f, 0},
                 {1.0f, 32767},
                 {-0.5f, -16383},
                 {std::numeric_limits<float>::quiet_NaN(), 0},
                 {std::numeric_limits<float>::infinity(), INT32_MAX},
                 {-std::numeric_limits<float>::infinity(), INT32_MIN},
                 {1e10f, INT32_MAX},
                 {-1e10f, INT32_MIN}};
    for (const auto& c : cases) {
        effect.vu = c.vu;
        EXPECT_EQ(dispatch(effect, kEffectGetVu), c.answer) << c.vu;
    }
}

TEST(EffectBase, PowerOpcodeReachesSuspendAndResume) {
    EffectLog log;
    TestEffect effect(nullptr, log);
    dispatch(effect, kEffectPower, 0, 0);
    EXPECT_EQ(log.suspends, 1);
    for (HostInt value : {1, 2, -1}) dispatch(effect, kEffectPower, 0, value);
    EXPECT_EQ(log.resumes, 3);
    EXPECT_EQ(log.suspends, 1);
}

TEST(EffectBase, EditorOpcodesForwardOnlyWhenAnEditorExists) {
    EffectLog log;
    {
        TestEffect bare(nullptr, log);
        int marker = 0;
        for (std::int32_t opcode : {kEditorGetRect, kEditorOpen, kEditorClose, kEditorIdle})
            EXPECT_EQ(dispatch(bare, opcode, 0, 0, &marker), 0);
        EXPECT_EQ(marker, 0);
    }
    EditorLog editorLog;
    {
        TestEffect effect(nullptr, log, &editorLog);
        int window = 0;
        EXPECT_EQ(dispatch(effect, kEditorGetRect, 0, 0, &window), 41);
        EXPECT_EQ(editorLog.lastPointer, &window);
        EXPECT_EQ(dispatch(effect, kEditorOpen, 0, 0, &window), 42);
        EXPECT_EQ(dispatch(effect, kEditorClose), 0);
        EXPECT_EQ(dispatch(effect, kEditorIdle), 0);
        EXPECT_EQ(editorLog.getRect, 1);
        EXPECT_EQ(editorLog.open, 1);
        EXPECT_EQ(editorLog.close, 1);
        EXPECT_EQ(editorLog.idle, 1);
    }
    EXPECT_EQ(editorLog.destroyed, 1);
}

TEST(EffectBase, CloseThroughTheRecordDestroysTheEffect) {
    EffectLog log;
    auto* effect = new TestEffect(nullptr, log);
    EffectRecord* record = effect->getRecord();
    EXPECT_EQ(record->dispatchEntry(record, kEffectClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(log.closes, 1);
    EXPECT_EQ(log.destroyed, 1);
}

TEST(EffectBase, RecordEntriesReachTheDerivedEffect) {
    EffectLog log;
    TestEffect effect(nullptr, log);
    EffectRecord* record = effect.getRecord();
    record->setParameterEntry(record, 4, 0.25f);
    ASSERT_EQ(log.parameters.size(), 1u);
    EXPECT_EQ(log.parameters[0].first, 4);
    EXPECT_EQ(log.parameters[0].second, 0.25f);
    EXPECT_EQ(record->getParameterEntry(record, 4), 0.0f);
    // A record without an object is ignored, not followed.
    EffectRecord orphan = *record;
    orphan.object = nullptr;
    EXPECT_EQ(record->dispatchEntry(&orphan, kEffectIdentify, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(record->dispatchEntry(nullptr, kEffectClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(log.destroyed, 0);
}

TEST(HostRequests, WithoutACallbackFallBack) {
    EffectLog log;
    TestEffect effect(nullptr, log);
    EXPECT_EQ(effect.hostVersion(), 1);
    EXPECT_EQ(effect.hostCurrentId(), 0);
    effect.hostIdle();
    EXPECT_EQ(effect.isInputConnected(0), 1);
    EXPECT_EQ(effect.isOutputConnected(1), 1);
    effect.setParameterAndNotify(2, 0.75f);
    ASSERT_EQ(log.parameters.size(), 1u);
    EXPECT_EQ(log.parameters[0].second, 0.75f);
}

TEST(HostRequests, WithACallbackSendTheirOpcodes) {
    EffectLog log;
    TestEffect effect(recordingHost, log);
    EffectRecord* record = effect.getRecord();
    calls.clear();

    RecordingHost::versionAnswer() = 0;
    RecordingHost::otherAnswer() = 0;
    EXPECT_EQ(effect.hostVersion(), 1);
    EXPECT_EQ(effect.hostCurrentId(), 0);
    effect.hostIdle();
    EXPECT_EQ(effect.isInputConnected(3), 1);
    EXPECT_EQ(effect.isOutputConnected(4), 1);
    RecordingHost::versionAnswer() = 2400;
    RecordingHost::otherAnswer() = 2400;
    EXPECT_EQ(effect.hostVersion(), 2400);
    EXPECT_EQ(effect.hostCurrentId(), 2400);
    EXPECT_EQ(effect.isInputConnected(3), 0);
    EXPECT_EQ(effect.isOutputConnected(4), 0);
    effect.setParameterAndNotify(1, 0.5f);

    const struct {
        std::int32_t opcode, index;
        HostInt value;
        float option;
    } expected[] = {{kHostVersion, 0, 0, 0.0f},     {kHostCurrentId, 0, 0, 0.0f},    {kHostIdle, 0, 0, 0.0f},
                    {kHostPinConnected, 3, 0, 0.0f}, {kHostPinConnected, 4, 1, 0.0f}, {kHostVersion, 0, 0, 0.0f},
                    {kHostCurrentId, 0, 0, 0.0f},    {kHostPinConnected, 3, 0, 0.0f}, {kHostPinConnected, 4, 1, 0.0f},
                    {kHostAutomate, 1, 0, 0.5f}};
    ASSERT_EQ(calls.size(), std::size(expected));
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].record, record) << i;
        EXPECT_EQ(calls[i].opcode, expected[i].opcode) << i;
        EXPECT_EQ(calls[i].index, expected[i].index) << i;
        EXPECT_EQ(calls[i].value, expected[i].value) << i;
        EXPECT_EQ(calls[i].pointer, nullptr) << i;
        EXPECT_EQ(calls[i].option, expected[i].option) << i;
    }
    // The parameter was set before the host heard of it.
    ASSERT_EQ(log.parameters.size(), 1u);
    EXPECT_EQ(log.parameters[0].first, 1);
}

}  // namespace
