#pragma once
// The POSIX device layer with seams for tests: the writer held at a gate and let through a
// chunk at a time; settings written, settle pauses and the event worker's waits counted.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "serial/TVarnPosixDispatcher.h"

namespace serial_test {

class TestDispatcher : public TVarnPosixDispatcher {
public:
    explicit TestDispatcher(std::string lockDirectory)
        : TVarnPosixDispatcher(std::move(lockDirectory)) {}
    ~TestDispatcher() override { CloseOnDestroy(); }

    // Holds every write until Allow lets chunks through (a negative count: all).
    void CloseGate() {
        std::lock_guard<std::mutex> guard(lock_);
        permits_ = 0;
    }
    void Allow(int chunks) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            permits_ = chunks < 0 ? -1 : permits_ + chunks;
        }
        wake_.notify_all();
    }
    std::vector<int> Chunks() {
        std::lock_guard<std::mutex> guard(lock_);
        return chunks_;
    }
    int WaitingWriters() {
        std::lock_guard<std::mutex> guard(lock_);
        return waiting_;
    }
    int SettingsWrites() {
        std::lock_guard<std::mutex> guard(lock_);
        return settingsWrites_;
    }
    std::vector<int> Pauses() {
        std::lock_guard<std::mutex> guard(lock_);
        return pauses_;
    }
    // A worker spinning on a dead device or a full ring shows here.
    uint64_t DeviceWaits() const { return deviceWaits_.load(); }

protected:
    TWriteOutcome WriteDevice(const char* data, int n) override {
        {
            std::unique_lock<std::mutex> lock(lock_);
            ++waiting_;
            while (permits_ == 0) {
                if (WriteAbandonRequested()) {
                    --waiting_;
                    return WriteAbandoned;
                }
                wake_.wait_for(lock, std::chrono::milliseconds(1));
            }
            --waiting_;
            if (permits_ > 0) --permits_;
            chunks_.push_back(n);
        }
        return TVarnPosixDispatcher::WriteDevice(data, n);
    }
    int WriteSettings(const TVarnLineSettings& settings) override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++settingsWrites_;
        }
        return TVarnPosixDispatcher::WriteSettings(settings);
    }
    int WaitDeviceEvent(bool wantInput) override {
        ++deviceWaits_;
        return TVarnPosixDispatcher::WaitDeviceEvent(wantInput);
    }
    void SettlePause(int milliseconds) override {
        std::lock_guard<std::mutex> guard(lock_);
        pauses_.push_back(milliseconds);
    }

private:
    std::mutex lock_;
    std::condition_variable wake_;
    int permits_ = -1;
    int waiting_ = 0;
    std::vector<int> chunks_;
    int settingsWrites_ = 0;
    std::vector<int> pauses_;
    std::atomic<uint64_t> deviceWaits_{0};
};

}  // namespace serial_test
