// The progress window: its class, its geometry, the bar, and the painting of the bitmap.
#include <gtest/gtest.h>

#include "platform/Handles.h"
#include "progress/ProgressWindow.h"
#include "SimulatedMachine.h"

namespace veltrane {
namespace {

using namespace testing_support;

class ProgressWindowTest : public SimulatedMachine {
protected:
    void Prepare() { PrepareProgressWindow(process); }
};

TEST_F(ProgressWindowTest, TheClassHasEveryFieldSet) {
    Prepare();
    ASSERT_EQ(windows.RegisteredClasses().size(), 1u);
    const SimRegisteredClass& c = windows.RegisteredClasses()[0];
    EXPECT_EQ(c.className, "Setup");
    EXPECT_EQ(c.style, 3u);
    EXPECT_EQ(c.windowProcedure, &SetupWindowProc);
    EXPECT_EQ(c.classExtraBytes, 0);
    EXPECT_EQ(c.windowExtraBytes, 0);
    EXPECT_EQ(c.instance, windows.GetModuleHandleA());
    EXPECT_EQ(c.icon, windows.LoadIconA(windows.GetModuleHandleA(), "MAINICON"));
    EXPECT_EQ(c.cursor, windows.LoadCursorA(NullHandle, win::IdcArrow));
    EXPECT_EQ(c.background, Handle{5});
    EXPECT_FALSE(c.menuName.has_value());
    EXPECT_NE(process.SetupBitmap, NullHandle);
}

TEST_F(ProgressWindowTest, TheWindowIsCentredOnTheMaximisedArea) {
    struct Case {
        int maximisedWidth;
        int maximisedHeight;
        int x;
        int y;
    } cases[] = {{1032, 771, 316, 340}, {1033, 776, 316, 343}, {1031, 777, 316, 344}, {1030, 90, 315, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maximisedWidth);
        windows.SetSystemMetric(win::SmCxMaximized, c.maximisedWidth);
        windows.SetSystemMetric(win::SmCyMaximized, c.maximisedHeight);
        RegisterSetupWindowClass(process);
        const SimWindow* window = windows.Window(CreateSetupWindow(process));
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->x, c.x);
        EXPECT_EQ(window->y, c.y);
        EXPECT_EQ(window->width, 400);
        EXPECT_EQ(window->height, 90);
        EXPECT_EQ(window->style, win::WsBorder);
        EXPECT_EQ(window->exStyle, 0u);
        EXPECT_EQ(window->text, "Initializing...");
        EXPECT_EQ(window->parent, 0u);
        EXPECT_FALSE(window->visible);
    }
}

TEST_F(ProgressWindowTest, TheBarFillsTheClientAreaRightOfTheBitmap) {
    struct Case {
        int clientHeight;
        int barY;
    } cases[] = {{57, 18}, {58, 19}, {61, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clientHeight);
        windows.SetClassClientSize("Setup", 394, c.clientHeight);
        RegisterSetupWindowClass(process);
        const WindowHandle window = CreateSetupWindow(process);
        const SimWindow* bar = windows.Window(process.ProgressBarHandle);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->className, "msctls_progress32");
        EXPECT_EQ(bar->parent, window);
        EXPECT_EQ(bar->style, 0x44000000u);
        EXPECT_EQ(bar->x, 52);
        EXPECT_EQ(bar->y, c.barY);
        EXPECT_EQ(bar->width, 394 - 62);
        EXPECT_EQ(bar->height, 20);
        EXPECT_FALSE(bar->text.has_value());
        EXPECT_TRUE(bar->visible);
        ASSERT_TRUE(bar->progressBar.has_value());
        EXPECT_EQ(bar->progressBar->low, 0);
        EXPECT_EQ(bar->progressBar->high, 100);
        EXPECT_EQ(bar->progressBar->step, 10);
        const std::vector<SimMessage> sent = windows.MessagesSentTo(process.ProgressBarHandle);
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0].message, win::PbmSetRange);
        EXPECT_EQ(sent[0].wParam, 0u);
        EXPECT_EQ(sent[0].lParam, 100 << 16);
        EXPECT_EQ(sent[1].message, win::PbmSetStep);
        EXPECT_EQ(sent[1].wParam, 10u);
    }
}

TEST_F(ProgressWindowTest, PaintingCopiesThe32By32BitmapAndReleasesEverything) {
    windows.SetClassClientSize("Setup", 394, 57);
    Prepare();
    windows.ShowWindow(process.MainWindowHandle, win::SwShow);
    windows.UpdateWindow(process.MainWindowHandle);
    ASSERT_EQ(windows.BitBlts().size(), 1u);
    const SimBitBlt& blt = windows.BitBlts()[0];
    EXPECT_EQ(blt.x, 10);
    EXPECT_EQ(blt.y, 12);
    EXPECT_EQ(blt.width, 32);
    EXPECT_EQ(blt.height, 32);
    EXPECT_EQ(blt.sourceX, 0);
    EXPECT_EQ(blt.sourceY, 0);
    EXPECT_EQ(blt.rasterOperation, win::SrcCopy);
    EXPECT_EQ(blt.sourceBitmap, process.SetupBitmap);
    ASSERT_EQ(windows.DefWindowProcCalls().size(), 1u);
    EXPECT_EQ(windows.DefWindowProcCalls()[0].message, win::WmPaint);
    EXPECT_TRUE(windows.OpenHandles().empty());
}

TEST_F(ProgressWindowTest, AFailingPaintStepStillDeletesTheContextAndEndsThePaint) {
    Prepare();
    for (const char* call : {"SelectObject", "BitBlt", "CreateCompatibleDC", "GetClientRect"}) {
        SCOPED_TRACE(call);
        windows.FailCall(call, windows.CallCount(call) + 1, 8);
        windows.UpdateWindow(process.MainWindowHandle);
        EXPECT_TRUE(windows.OpenHandles().empty()) << ::testing::PrintToString(windows.OpenHandles());
    }
}

TEST_F(ProgressWindowTest, WmDestroyPostsQuitWithoutTheDefaultProcedure) {
    Prepare();
    EXPECT_EQ(SetupWindowProc(process.MainWindowHandle, win::WmDestroy, 0, 0), 0);
    EXPECT_EQ(windows.QuitMessages(), std::vector<int>{0});
    EXPECT_TRUE(windows.DefWindowProcCalls().empty());
    SetupWindowProc(process.MainWindowHandle, 0x0005 /* WM_SIZE */, 1, 2);
    ASSERT_EQ(windows.DefWindowProcCalls().size(), 1u);
    EXPECT_EQ(windows.DefWindowProcCalls()[0].wParam, 1u);
    EXPECT_EQ(windows.DefWindowProcCalls()[0].lParam, 2);
}

TEST_F(ProgressWindowTest, WithoutAClassOrAWindowThereIsNoBar) {
    windows.FailCall("RegisterClassA", 1, 5);
    Prepare();
    EXPECT_EQ(process.MainWindowHandle, 0u);
    EXPECT_EQ(windows.CallCount("CreateWindowExA"), 0u);

    ASSERT_TRUE(RegisterSetupWindowClass(process));
    windows.FailCall("CreateWindowExA", 1, 5);
    EXPECT_EQ(CreateSetupWindow(process), 0u);
    EXPECT_EQ(process.ProgressBarHandle, 0u);

    windows.FailCall("CreateWindowExA", 3, 5);  // the bar of the next window
    EXPECT_NE(CreateSetupWindow(process), 0u);
    EXPECT_EQ(process.ProgressBarHandle, 0u);
    EXPECT_EQ(CreateProgressBar(process, 0), 0u);
}

}  // namespace
}  // namespace veltrane
