// The centring arithmetic of centerForm: the outer size, frame included, is what is centred.
#include "platform/shared_routines.h"

#include <gtest/gtest.h>

namespace {

struct CentreCase {
    QRect screen;
    QSize outer;
    QPoint expected;
};

class CentredPosition : public testing::TestWithParam<CentreCase> {};

TEST_P(CentredPosition, PutsTheFrameInTheMiddle) {
    const CentreCase& c = GetParam();
    EXPECT_EQ(platform::centredPosition(c.screen, c.outer), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SharedRoutines, CentredPosition,
    testing::Values(
        // The main window's client area, 440 x 529, with a 1-pixel frame and a 30-pixel title.
        CentreCase{QRect(0, 0, 1920, 1080), QSize(442, 560), QPoint(739, 260)},
        // Without its frame it would sit 1 pixel right and 15 lower.
        CentreCase{QRect(0, 0, 1920, 1080), QSize(440, 529), QPoint(740, 275)},
        // A screen that does not start at the origin, odd remainders rounded down.
        CentreCase{QRect(1920, 100, 1281, 1025), QSize(400, 300), QPoint(2360, 462)},
        // A window larger than the screen goes above and left of it.
        CentreCase{QRect(0, 0, 800, 600), QSize(1000, 700), QPoint(-100, -50)}));

} // namespace
