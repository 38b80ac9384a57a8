// The progress window as a user sees it, under Wine's virtual desktop: screenshots taken while
// a large installer unpacks show a 400 x 90 window with the loader's bitmap 10 pixels into the
// client area, centred vertically, and a bar right of it whose filled part grows. With the
// quiet switch no window appears. The shots are kept as build/e2e/progress-window-*.png.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "WineRunner.h"
#include "WineTestEnvironment.h"

namespace veltrane::e2e {
namespace {

namespace fs = std::filesystem;

const fs::path BitmapFile = fs::path(VELTRANE_SOURCE_DIR) / "src/resources/Setup.bmp";

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    Rgb At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// A screenshot's pixels, through ImageMagick's binary PPM.
Image LoadPng(const fs::path& png) {
    const fs::path ppm = fs::path(png).replace_extension(".ppm");
    const std::string command = "convert '" + png.string() + "' -depth 8 'ppm:" + ppm.string() + "'";
    if (std::system(command.c_str()) != 0) return {};
    const std::string data = ReadBytes(ppm);
    fs::remove(ppm);
    Image image;
    int maxValue = 0;
    int consumed = 0;
    if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &maxValue, &consumed) != 3) return {};
    const std::size_t start = static_cast<std::size_t>(consumed) + 1;
    const auto count = static_cast<std::size_t>(image.width) * image.height;
    if (data.size() < start + 3 * count) return {};
    image.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        image.pixels[i] = {static_cast<std::uint8_t>(data[start + 3 * i]), static_cast<std::uint8_t>(data[start + 3 * i + 1]),
                           static_cast<std::uint8_t>(data[start + 3 * i + 2])};
    }
    return image;
}

// The loader's BITMAP1 resource: a 32 x 32 Windows bitmap of 16 colours, rows stored bottom up.
Image LoadBitmap(const fs::path& bmp) {
    const std::string d = ReadBytes(bmp);
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(d[at])) |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(d[at + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(d[at + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(d[at + 3])) << 24;
    };
    const std::uint32_t pixelOffset = u32(10);
    const std::uint32_t headerSize = u32(14);
    Image image{32, 32, std::vector<Rgb>(32 * 32)};
    const std::size_t palette = 14 + headerSize;
    const std::size_t rowBytes = 16;  // 32 pixels of 4 bits, already a multiple of 4
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const auto byte = static_cast<std::uint8_t>(d[pixelOffset + (31 - y) * rowBytes + x / 2]);
            const int index = (x % 2 == 0) ? byte >> 4 : byte & 0x0F;
            const std::size_t entry = palette + 4 * static_cast<std::size_t>(index);  // blue, green, red, 0
            image.pixels[static_cast<std::size_t>(y) * 32 + x] = {static_cast<std::uint8_t>(d[entry + 2]),
                                                                   static_cast<std::uint8_t>(d[entry + 1]),
                                                                   static_cast<std::uint8_t>(d[entry])};
        }
    }
    return image;
}

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// What a screenshot shows of the progress window, when it shows one.
struct WindowView {
    Box window;   // the outer frame: everything that is not desktop
    Box bitmap;   // where the 32 x 32 bitmap stands
    Box bar;      // the bar's outline, on the bitmap's middle row
    std::vector<Rgb> barRow;  // the bar's inside on that row

    int Filled(const Rgb& fill) const { return static_cast<int>(std::count(barRow.begin(), barRow.end(), fill)); }
};

std::optional<Box> NonDesktopBox(const Image& shot) {
    const Rgb desktop = shot.At(0, 0);
    Box box{shot.width, shot.height, -1, -1};
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            if (shot.At(x, y) == desktop) continue;
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
        }
    }
    if (box.right < 0) return std::nullopt;
    return box;
}

std::optional<Box> FindBitmap(const Image& shot, const Box& within, const Image& bitmap) {
    for (int y = within.top; y + 32 <= within.bottom; ++y) {
        for (int x = within.left; x + 32 <= within.right; ++x) {
            bool match = true;
            for (int dy = 0; dy < 32 && match; ++dy) {
                for (int dx = 0; dx < 32 && match; ++dx) match = shot.At(x + dx, y + dy) == bitmap.At(dx, dy);
            }
            if (match) return Box{x, y, x + 32, y + 32};
        }
    }
    return std::nullopt;
}

std::optional<WindowView> ViewOf(const Image& shot, const Image& bitmap) {
    if (shot.pixels.empty()) return std::nullopt;
    const std::optional<Box> window = NonDesktopBox(shot);
    if (!window) return std::nullopt;
    const std::optional<Box> found = FindBitmap(shot, *window, bitmap);
    if (!found) return std::nullopt;
    WindowView view{*window, *found, {}, {}};
    // Along the bitmap's middle row: the client background, then the bar from its outline on.
    const int row = found->top + 16;
    const Rgb client = shot.At(found->right + 1, row);
    int x = found->right;
    while (x < window->right && shot.At(x, row) == client) ++x;
    view.bar.left = x;
    int right = window->right - 1;
    while (right > x && !(shot.At(right, row) == client)) --right;   // the window's frame
    while (right > x && shot.At(right, row) == client) --right;      // the client's margin
    view.bar.right = right + 1;
    for (int i = view.bar.left + 1; i < view.bar.right - 1; ++i) view.barRow.push_back(shot.At(i, row));
    int top = row;
    while (top > window->top && !(shot.At(view.bar.left, top - 1) == client)) --top;
    int bottom = row;
    while (bottom < window->bottom && !(shot.At(view.bar.left, bottom) == client)) ++bottom;
    view.bar.top = top;
    view.bar.bottom = bottom;
    return view;
}

class ProgressWindow : public WineScenario {
protected:
    void SetUp() override {
        WineScenario::SetUp();
        bitmap_ = LoadBitmap(BitmapFile);
    }

    // A self-extracting installer large enough to unpack for a few seconds under Wine: 300 MB of
    // random bytes, stored, so that making it is quick.
    std::string MakeLargeInstaller() {
        const fs::path payload = session_->WorkDirectory() / "progress-payload";
        fs::create_directories(payload);
        for (const char* name : {"part1.bin", "part2.bin"}) {
            const fs::path file = payload / name;
            if (fs::exists(file) && fs::file_size(file) == PartSize) continue;
            std::mt19937_64 generator(std::hash<std::string>{}(name));
            std::vector<std::uint64_t> words(PartSize / 8);
            for (auto& w : words) w = generator();
            std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(words.data()), PartSize);
        }
        const std::string windowsPath = "C:\\e2e\\progress\\LargeSetup.exe";
        const fs::path installer = session_->LinuxPath(windowsPath);
        fs::create_directories(installer.parent_path());
        const std::string command = "'" + Pack.string() + "' sfx -q --level 0 -o '" + installer.string() + "' --loader '" +
                                    LoaderImage.string() + "' --title Large --base '" + payload.string() +
                                    "' --stored-name 'C:\\b\\INSTALL.EXE' '" + InstallerProgram.string() + "' '" +
                                    (payload / "part1.bin").string() + "' '" + (payload / "part2.bin").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return windowsPath;
    }

    // Runs the installer and takes screenshots until it ends; returns the shots' paths.
    std::vector<fs::path> RunWithScreenshots(const std::string& installer, const char* argument, const std::string& tag) {
        WineRunOptions options;
        if (argument != nullptr) options.arguments = {argument};
        options.environment = {{"VELTRANE_E2E_REPORT", "C:\\e2e\\progress\\report.txt"}};
        std::atomic<bool> done = false;
        WineRunResult result;
        std::thread run([&] {
            result = session_->Run(installer, options);
            done = true;
        });
        std::vector<fs::path> shots;
        const fs::path directory = session_->WorkDirectory() / "progress-shots";
        fs::create_directories(directory);
        while (!done && shots.size() < 200) {
            const fs::path shot = directory / (tag + "-" + std::to_string(shots.size()) + ".png");
            session_->Screenshot(shot);
            shots.push_back(shot);
        }
        run.join();
        EXPECT_FALSE(result.timedOut) << result.Describe();
        EXPECT_EQ(result.exitCode, 0) << result.Describe();
        return shots;
    }

    Image bitmap_;
    static constexpr std::size_t PartSize = 150u << 20;
};

TEST_F(ProgressWindow, ShowsTheBitmapAndABarThatFillsAsFilesAreWritten) {
    const std::string installer = MakeLargeInstaller();
    const std::vector<fs::path> shots = RunWithScreenshots(installer, nullptr, "window");

    std::vector<std::pair<fs::path, WindowView>> seen;
    for (const fs::path& shot : shots) {
        if (auto view = ViewOf(LoadPng(shot), bitmap_)) seen.emplace_back(shot, *view);
    }
    ASSERT_GE(seen.size(), 2u) << "the window was seen in fewer than two of " << shots.size() << " screenshots";
    // The last shot shows the bar full: its colour is the fill. The early shot is the first in
    // which the bar has begun to fill.
    ASSERT_FALSE(seen.back().second.barRow.empty());
    const Rgb fill = seen.back().second.barRow.front();
    auto earlyIt = std::find_if(seen.begin(), seen.end(), [&](const auto& s) { return s.second.Filled(fill) > 0; });
    ASSERT_NE(earlyIt, seen.end());
    const auto& [earlyShot, early] = *earlyIt;
    const auto& [lateShot, late] = seen.back();
    const fs::path keep = session_->WorkDirectory();
    fs::copy_file(earlyShot, keep / "progress-window-early.png", fs::copy_options::overwrite_existing);
    fs::copy_file(lateShot, keep / "progress-window-late.png", fs::copy_options::overwrite_existing);

    for (const WindowView& view : {early, late}) {
        // The outer size, frame and title bar included.
        EXPECT_EQ(view.window.Width(), 400);
        EXPECT_EQ(view.window.Height(), 90);
        // The bar starts 42 pixels right of the bitmap (client x 52 against 10) and keeps a
        // margin of 10 on the right; so the client area starts 10 left of the bitmap, and the
        // frame is as wide on the left as on the right.
        EXPECT_EQ(view.bar.left - view.bitmap.left, 42);
        const int clientLeft = view.bitmap.left - 10;
        const int clientRight = view.bar.right + 10;
        EXPECT_EQ(clientLeft - view.window.left, view.window.right - clientRight);
        // Bitmap (32 high) and bar (20 high) are both centred vertically in the client area.
        EXPECT_EQ(view.bar.Height(), 20);
        EXPECT_EQ(view.bar.top - view.bitmap.top, 6);
        const int frame = clientLeft - view.window.left;
        const int belowBitmap = view.window.bottom - frame - view.bitmap.bottom;
        EXPECT_GE(belowBitmap, 0);
    }
    EXPECT_GT(late.Filled(fill), early.Filled(fill)) << earlyShot << " " << lateShot;
}

TEST_F(ProgressWindow, QuietModeShowsNoWindow) {
    const std::string installer = MakeLargeInstaller();
    const std::vector<fs::path> shots = RunWithScreenshots(installer, "*QUIET", "quiet");
    ASSERT_FALSE(shots.empty());
    for (const fs::path& shot : shots) {
        const Image image = LoadPng(shot);
        ASSERT_FALSE(image.pixels.empty()) << shot;
        EXPECT_FALSE(ViewOf(image, bitmap_).has_value()) << "a progress window in " << shot;
    }
}

}  // namespace
}  // namespace veltrane::e2e
