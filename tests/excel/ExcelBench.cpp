// The host contract suite through COM: the fake Excel serves the in-memory model from the
// test's thread while the ExcelHost lives on a thread of its own, in another apartment, so
// every call is marshalled as it is between processes. The model side is the model's own.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "Bench.h"
#include "ChildProcess.h"
#include "FakeExcel.h"
#include "MemoryBench.h"
#include "host/ScopeExit.h"
#include "host/excel/ExcelHost.h"
#include "platform/win/WinText.h"

namespace gridmoor::contract {
namespace {

// A thread that owns an ExcelHost and runs calls on it one at a time. While a call runs,
// the calling thread serves its own apartment's messages, so the fake it hosts can answer.
class HostThread {
public:
    HostThread() : thread_([this] { loop(); }) {}
    ~HostThread() {
        // The host lets go of its objects while this thread still serves their calls.
        call([this] { host_.reset(); });
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    HostThread(const HostThread&) = delete;
    HostThread& operator=(const HostThread&) = delete;

    ExcelHost& host() { return *host_; }

    // Runs `f` on the host's thread and waits, serving messages; rethrows what `f` threw.
    void call(const std::function<void()>& f) {
        const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (done == nullptr) throw std::runtime_error("CreateEvent failed");
        const ScopeExit closeEvent([done] { CloseHandle(done); });
        std::exception_ptr error;
        {
            const std::lock_guard lock(mutex_);
            task_ = [&] {
                try {
                    f();
                } catch (...) {
                    error = std::current_exception();
                }
                SetEvent(done);
            };
        }
        wake_.notify_one();
        while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (error) std::rethrow_exception(error);
    }

private:
    void loop() {
        host_.emplace();
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || task_; });
            if (task_) {
                auto task = std::move(task_);
                task_ = nullptr;
                lock.unlock();
                task();
                lock.lock();
            } else if (stop_) {
                return;
            }
        }
    }

    std::optional<ExcelHost> host_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> task_;
    bool stop_ = false;
    std::thread thread_;
};

class ExcelBench final : public ModelBench {
public:
    ExcelBench() : fake_(model_) { fake_.registerRunning(); }

    const Traits& traits() const override {
        // ExcelHost.h says Excel clears a cell given the empty text; the fake takes a put
        // of "" as the empty text and keeps it, as the in-memory model does.
        static const Traits t{.commandInProcess = false};
        return t;
    }
    std::optional<long> roundTrips() override { return fake_.roundTrips(); }

    // The tool driver runs the command in a process of its own, through the batching layer
    // and the Excel backend as the tool does; it ends holding no object of the fake.
    Strings runCommand(Command command, const std::string& typed,
                       const std::function<void()>&) override {
        const std::wstring result = fake::temporaryFile(L"bench-driver");
        DeleteFileW(result.c_str());
        const ScopeExit removeResult([&result] { DeleteFileW(result.c_str()); });
        fake::ChildProcess tool(
            L"gridmoor_tool_driver.exe",
            {command == Command::SmartMerge ? L"Command3_Click" : L"Command4_Click", result,
             win::widen(typed)});
        const auto code = tool.wait(std::chrono::seconds(120));
        if (!code || *code != 0) throw std::runtime_error("the tool driver failed");
        Strings messages;
        for (const std::string& line : fake::readLines(result)) {
            if (line.starts_with("message\t")) messages.push_back(line.substr(8));
            if (line.starts_with("held\t")) {
                EXPECT_EQ(line, "held\t0") << "the backend kept objects after the run";
            }
        }
        return messages;
    }

protected:
    void onHostThread(const std::function<void()>& call) override { thread_.call(call); }
    BulkHost& host() override { return thread_.host(); }

private:
    com::Apartment apartment_;
    fake::FakeExcel fake_;
    HostThread thread_;  // ends before the fake it talks to
};

}  // namespace

// Excel alone: the in-memory host runs the same suite natively (host_contract_tests), where
// it costs no Wine process per case.
std::vector<const Backend*> contractBackends() {
    static const Backend excel{"excel", [] { return std::make_unique<ExcelBench>(); }};
    return {&excel};
}

std::vector<const Backend*> commandBackends() {
    return contractBackends();
}

}  // namespace gridmoor::contract
