// Compiled into every GoogleTest program of the Windows builds. GoogleTest
// there hands each skip and failure message to OutputDebugString as well,
// which raises an exception, and it has just started a thread of its own to
// watch the reporting one. A 32-bit wine under qemu crashes when an exception
// is raised while a second thread lives, so the report never came out. This
// prints the same text and raises nothing; everything else is GoogleTest's.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

class QuietDebuggerOutput : public testing::TestEventListener {
public:
    explicit QuietDebuggerOutput(testing::TestEventListener* printer) : printer_(printer) {}

    void OnTestPartResult(const testing::TestPartResult& result) override {
        if (result.type() == testing::TestPartResult::kSuccess) return;
        const char* kind = result.type() == testing::TestPartResult::kSkip ? "Skipped" : "Failure";
        std::printf("%s %s\n%s\n",
                    testing::internal::FormatFileLocation(result.file_name(), result.line_number()).c_str(), kind,
                    result.message());
        std::fflush(stdout);
    }

    void OnTestProgramStart(const testing::UnitTest& test) override { printer_->OnTestProgramStart(test); }
    void OnTestIterationStart(const testing::UnitTest& test, int iteration) override {
        printer_->OnTestIterationStart(test, iteration);
    }
    void OnEnvironmentsSetUpStart(const testing::UnitTest& test) override { printer_->OnEnvironmentsSetUpStart(test); }
    void OnEnvironmentsSetUpEnd(const testing::UnitTest& test) override { printer_->OnEnvironmentsSetUpEnd(test); }
    void OnTestSuiteStart(const testing::TestSuite& suite) override { printer_->OnTestSuiteStart(suite); }
    void OnTestCaseStart(const testing::TestCase& suite) override { printer_->OnTestCaseStart(suite); }
    void OnTestStart(const testing::TestInfo& info) override { printer_->OnTestStart(info); }
    void OnTestDisabled(const testing::TestInfo& info) override { printer_->OnTestDisabled(info); }
    void OnTestEnd(const testing::TestInfo& info) override { printer_->OnTestEnd(info); }
    void OnTestSuiteEnd(const testing::TestSuite& suite) override { printer_->OnTestSuiteEnd(suite); }
    void OnTestCaseEnd(const testing::TestCase& suite) override { printer_->OnTestCaseEnd(suite); }
    void OnEnvironmentsTearDownStart(const testing::UnitTest& test) override {
        printer_->OnEnvironmentsTearDownStart(test);
    }
    void OnEnvironmentsTearDownEnd(const testing::UnitTest& test) override {
        printer_->OnEnvironmentsTearDownEnd(test);
    }
    void OnTestIterationEnd(const testing::UnitTest& test, int iteration) override {
        printer_->OnTestIterationEnd(test, iteration);
    }
    void OnTestProgramEnd(const testing::UnitTest& test) override { printer_->OnTestProgramEnd(test); }

private:
    std::unique_ptr<testing::TestEventListener> printer_;
};

// Before main: GoogleTest's own main runs the tests straight away.
[[maybe_unused]] const bool installed = [] {
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new QuietDebuggerOutput(listeners.Release(listeners.default_result_printer())));
    return true;
}();

}  // namespace
