// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/print_page.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>

#include "test_files.h"

namespace ktx {
namespace {

struct LayoutCase {
    const char* name;
    int pageW, pageH, bmpW, bmpH, lines;
    QRect picture;
};

class PrintLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PrintLayoutTest, KeepsAspectWithinMargins) {
    const LayoutCase& c = GetParam();
    const PrintLayout l = ComputePrintLayout(c.pageW, c.pageH, c.bmpW, c.bmpH, c.lines);
    EXPECT_EQ(l.unit, std::max(c.pageW, c.pageH) / 50);
    EXPECT_EQ(l.margin, 3 * l.unit);
    EXPECT_EQ(l.picture, c.picture);
    // Whatever its shape, the picture lies wholly on the page, below the text lines.
    EXPECT_GE(l.picture.top(), l.margin + c.lines * l.unit);
    EXPECT_LE(l.picture.left() + l.picture.width(), c.pageW - l.margin);
    EXPECT_LE(l.picture.top() + l.picture.height(), c.pageH - l.margin);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PrintLayoutTest,
    ::testing::Values(
        // Portrait A4 at 600 dpi (4961 x 7016): m = 140, margin 420; full width less margins.
        LayoutCase{"portrait", 4961, 7016, 800, 600, 1, QRect(420, 560, 4121, 3091)},
        // Portrait with a bitmap taller than the page allows at full width: it is scaled to
        // the height below the text instead of running off the page.
        LayoutCase{"portrait_tall", 4961, 7016, 100, 300, 1, QRect(420, 560, 2012, 6036)},
        // Landscape with a tall bitmap: the height is the limit.
        LayoutCase{"landscape_tall", 7016, 4961, 300, 600, 1, QRect(420, 560, 1991, 3981)},
        // Landscape with a wide bitmap: the width is the limit, the height follows.
        LayoutCase{"landscape_wide", 7016, 4961, 2000, 500, 1, QRect(420, 560, 6176, 1544)},
        // Three lines move the picture down by 3m.
        LayoutCase{"three_lines", 4961, 7016, 800, 600, 3, QRect(420, 840, 4121, 3091)}),
    [](const auto& info) { return std::string(info.param.name); });

// A real PDF page: the picture lands where the layout says (the page is white elsewhere).
TEST(PrintBitmapPage, PdfPageHoldsTextAndPicture) {
    test::TempDir dir;
    const QString pdf = QString::fromStdString(dir.Path("page.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    QImage bmp(400, 300, QImage::Format_RGB32);
    bmp.fill(Qt::white);
    ASSERT_TRUE(PrintBitmapPage(printer, bmp, {QStringLiteral("Kanal 1")}));
    const auto bytes = test::ReadFile(dir.Path("page.pdf"));
    ASSERT_GT(bytes.size(), 500u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "%PDF-");
    const PrintLayout l = ComputePrintLayout(printer.width(), printer.height(), 400, 300, 1);
    // Portrait: the picture spans the page width less both margins.
    EXPECT_EQ(l.picture.width(), printer.width() - 2 * l.margin);
    EXPECT_EQ(l.picture.top(), l.margin + l.unit);
}

}  // namespace
}  // namespace ktx
