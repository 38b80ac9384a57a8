// The installation executable's command line in its three forms.
#include <gtest/gtest.h>

#include "loader/Staging.h"

namespace veltrane {
namespace {

struct FormCase {
    const char* what;
    LaunchDetails launch;
    const char* commandLine;
};

TEST(InstallationCommandLine, TakesTheFirstFormWhoseConditionHolds) {
    const char* installer = "C:\\TEMP\\vlr1A\\INSTALL.EXE";
    const FormCase cases[] = {
        {"separate archive", {installer, "setup.exe", "D:\\dist", false, false},
         "C:\\TEMP\\vlr1A\\INSTALL.EXE -c \"-sD:\\dist\""},
        {"self-extracting", {installer, "product.exe", "D:\\dist", false, true},
         "C:\\TEMP\\vlr1A\\INSTALL.EXE -c \"-eproduct.exe\" \"-sD:\\dist\""},
        {"to-disk, self-extracting", {installer, "product.exe", "D:\\dist", true, true},
         "C:\\TEMP\\vlr1A\\INSTALL.EXE -c -f \"-eproduct.exe\" -s\"D:\\dist\""},
        {"to-disk with setup.1", {installer, "setup.exe", "D:\\dist", true, false},
         "C:\\TEMP\\vlr1A\\INSTALL.EXE -c -f \"-esetup.exe\" -s\"D:\\dist\""},
        {"loader in the root of a drive", {installer, "setup.exe", "C:", false, false},
         "C:\\TEMP\\vlr1A\\INSTALL.EXE -c \"-sC:\""},
        {"a space in the installer's path is quoted",
         {"C:\\Users\\First Last\\Temp\\vlr1A\\INSTALL.EXE", "my setup.exe", "D:\\my dist", false, true},
         "\"C:\\Users\\First Last\\Temp\\vlr1A\\INSTALL.EXE\" -c \"-emy setup.exe\" \"-sD:\\my dist\""},
    };
    for (const FormCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(InstallationCommandLine(c.launch), c.commandLine);
    }
}

}  // namespace
}  // namespace veltrane
