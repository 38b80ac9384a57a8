// The demo's installation program. A real installer would now ask its questions and copy the
// staged files into place; this one shows what the loader handed it: the command line it was
// started with and the files staged beside it. With VELTRANE_SAMPLE_REPORT set it also appends
// that as a record to the named file, and with VELTRANE_SAMPLE_CLOSE_AFTER set to a number of
// seconds it closes itself after that time, so that a script can run it unattended.
#include <cstdlib>
#include <string>

#include "InstallerRecord.h"

namespace {

constexpr UINT_PTR CloseTimer = 1;

// Turns the record's lines into what a person reads in the window.
std::string DisplayText() {
    std::string text = "The loader started this installation program with the command line:\r\n\r\n    ";
    text += GetCommandLineA();
    text += "\r\n\r\nFiles staged beside it in " + veltrane::sample::OwnDirectory() + ":\r\n\r\n";
    std::string lines = veltrane::sample::FileLines(veltrane::sample::OwnDirectory());
    std::size_t start = 0;
    while (start < lines.size()) {
        const std::size_t end = lines.find('\n', start);
        std::string line = lines.substr(start, end - start);
        line = line.substr(line.find('\t') + 1);  // drop "file"
        const std::size_t nameEnd = line.find('\t');
        const std::size_t sizeEnd = line.find('\t', nameEnd + 1);
        const std::size_t utcEnd = line.find('\t', sizeEnd + 1);
        text += "    " + line.substr(0, nameEnd) + "   " + line.substr(nameEnd + 1, sizeEnd - nameEnd - 1) +
                " bytes   " + line.substr(utcEnd + 1) + "\r\n";
        start = end + 1;
    }
    return text;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            HWND edit = CreateWindowExA(0, "EDIT", DisplayText().c_str(),
                                        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 10, 10,
                                        660, 330, window, nullptr, nullptr, nullptr);
            SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), TRUE);
            return 0;
        }
        case WM_TIMER:
            if (wParam == CloseTimer) DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    veltrane::sample::AppendRecordTo("VELTRANE_SAMPLE_REPORT");

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "VeltraneSampleInstaller";
    if (!RegisterClassA(&windowClass)) return 1;
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Veltrane Sample Installer",
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 60, 60, 700, 400, nullptr, nullptr,
                                  instance, nullptr);
    if (!window) return 1;

    char closeAfter[16] = {};
    if (GetEnvironmentVariableA("VELTRANE_SAMPLE_CLOSE_AFTER", closeAfter, sizeof closeAfter) > 0) {
        SetTimer(window, CloseTimer, static_cast<UINT>(std::atoi(closeAfter)) * 1000, nullptr);
    }
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
