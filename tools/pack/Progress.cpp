#include "Progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace veltrane::pack {
namespace {

constexpr auto Delay = std::chrono::seconds(1);
constexpr auto Interval = std::chrono::milliseconds(100);
constexpr int BarWidth = 30;

}  // namespace

ProgressBar::ProgressBar(std::int64_t totalBytes, std::size_t totalFiles, bool wanted)
    : totalBytes_(totalBytes), totalFiles_(totalFiles) {
    if (wanted && ::isatty(STDERR_FILENO)) drawer_ = std::thread([this] { Run(); });
}

ProgressBar::~ProgressBar() {
    if (!drawer_.joinable()) return;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    drawer_.join();
    if (drawn_) std::fprintf(stderr, "\r%*s\r", BarWidth + 50, "");
}

void ProgressBar::FileDone(std::int64_t bytes) {
    bytesDone_ += bytes;
    ++filesDone_;
}

void ProgressBar::Run() {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, Delay, [this] { return stopping_; })) return;
    do {
        Draw();
    } while (!wake_.wait_for(lock, Interval, [this] { return stopping_; }));
}

void ProgressBar::Draw() {
    const double share =
        totalBytes_ > 0 ? static_cast<double>(bytesDone_) / static_cast<double>(totalBytes_) : 0;
    const int filled = static_cast<int>(share * BarWidth);
    const std::string bar = std::string(filled, '#') + std::string(BarWidth - filled, '.');
    // The bar moves a file at a time; the seconds show that a large file is still being worked on.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - started_)
                             .count();
    std::fprintf(stderr, "\rcompressing [%s] %3d%%  %zu/%zu files  %llds", bar.c_str(),
                 static_cast<int>(share * 100), filesDone_.load(), totalFiles_,
                 static_cast<long long>(seconds));
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace veltrane::pack
