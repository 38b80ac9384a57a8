// The product title as "files.inf" uses it.
#include <gtest/gtest.h>

#include <cstring>

#include "filelist/FilesInf.h"

namespace veltrane {
namespace {

SelfExtractTrailer TrailerWithTitle(std::uint8_t length, const char* text) {
    SelfExtractTrailer trailer;
    trailer.bytes[53] = length;
    std::memcpy(&trailer.bytes[54], text, std::strlen(text));
    return trailer;
}

TEST(FilesInfTitle, SpacesAndControlCharactersGoFromTheEndOnly) {
    EXPECT_EQ(TrimmedProductTitle(TrailerWithTitle(9, "Sample  \t")), "Sample");
    EXPECT_EQ(TrimmedProductTitle(TrailerWithTitle(12, " My\tProduct ")), " My\tProduct");
    EXPECT_EQ(TrimmedProductTitle(TrailerWithTitle(3, "   ")), "");
    EXPECT_EQ(TrimmedProductTitle(TrailerWithTitle(0, "Ignored")), "");
    EXPECT_EQ(TrimmedProductTitle(TrailerWithTitle(3, "Ab\x01")), "Ab");
}

}  // namespace
}  // namespace veltrane
