// A progress bar on standard error for builds that take a while: drawn only when standard error
// is a terminal, and only once the work has run for a second, so that quick builds and logs
// stay clean.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace veltrane::pack {

class ProgressBar {
public:
    ProgressBar(std::int64_t totalBytes, std::size_t totalFiles, bool wanted);
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    // Stops the drawing and clears the bar's line.
    ~ProgressBar();

    // One more file compressed; called from the compressing threads.
    void FileDone(std::int64_t bytes);

private:
    void Run();
    void Draw();

    const std::int64_t totalBytes_;
    const std::size_t totalFiles_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::atomic<std::int64_t> bytesDone_{0};
    std::atomic<std::size_t> filesDone_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool drawn_ = false;
    std::thread drawer_;
};

}  // namespace veltrane::pack
