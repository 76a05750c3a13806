#include <gtest/gtest.h>

#include <vector>

#include "ui/legibility.h"

namespace molra {
namespace {

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWhite{255, 255, 255};
constexpr Colour kLightYellow{0xFF, 0xFF, 0xC0};

// Expected ratios from the WCAG 2.x formula worked by hand; 767676 and
// 777777 on white are the well-known pair either side of 4.5.
TEST(ContrastRatio, FollowsTheWcagFormulaInEitherOrder) {
    struct Row {
        Colour a, b;
        double ratio;
    };
    const Row rows[] = {
        {kBlack, kWhite, 21.0},
        {kWhite, kWhite, 1.0},
        {kBlack, kLightYellow, 20.317},
        {kWhite, kLightYellow, 1.0336},
        {{0x76, 0x76, 0x76}, kWhite, 4.542},
        {{0x77, 0x77, 0x77}, kWhite, 4.478},
        {{0, 0, 255}, kWhite, 8.592},
    };
    for (const Row& row : rows) {
        EXPECT_NEAR(ContrastRatio(row.a, row.b), row.ratio, 0.001);
        EXPECT_NEAR(ContrastRatio(row.b, row.a), row.ratio, 0.001);
    }
}

TEST(KeepOwnColours, OnlyWithoutHighContrastAndWhenTheTextReadsOnEveryGround) {
    struct Row {
        const char* label;
        bool highContrast;
        Colour text;
        std::vector<Colour> grounds;
        bool keep;
    };
    const Row rows[] = {
        // clang-format off
        {"default scheme", false, kBlack, {kLightYellow, kWhite, {0xE0, 0xE0, 0xE0}}, true},
        {"high contrast, even with black text", true, kBlack, {kLightYellow, kWhite}, false},
        {"white text", false, kWhite, {kLightYellow, kWhite}, false},
        {"one dark picture pixel", false, kBlack, {kLightYellow, kWhite, {0x59, 0x59, 0x59}}, false},
        {"grey text just above the minimum", false, {0x76, 0x76, 0x76}, {kWhite}, true},
        {"grey text just below it", false, {0x77, 0x77, 0x77}, {kWhite}, false},
        // clang-format on
    };
    for (const Row& row : rows)
        EXPECT_EQ(KeepOwnColours(row.highContrast, row.text, row.grounds), row.keep) << row.label;
}

// The table's label box and control column at 96 DPI, in a 274 px client.
TEST(PlaceLabel, WidensSymmetricallyAboutTheColumnOnlyAsFarAsNeeded) {
    constexpr Span kBox{65, 144};
    constexpr Span kColumn{65, 145};
    struct Row {
        const char* label;
        int textWidth;
        Span column;
        LabelPlace place;
    };
    const Row rows[] = {
        {"fits", 120, kColumn, {kBox, false}},
        {"fits exactly", 144, kColumn, {kBox, false}},
        {"one line, centred on the column", 173, kColumn, {{51, 173}, false}},
        {"the client's width", 274, kColumn, {{0, 274}, false}},
        {"wider than the client: wraps", 275, kColumn, {{0, 274}, true}},
        {"kept inside the client", 200, {200, 50}, {{74, 200}, false}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PlaceLabel(row.textWidth, kBox, row.column, 274), row.place) << row.label;
}

}  // namespace
}  // namespace molra
