// Where the picture viewer draws a picture inside its box: shrink to fit with
// the proportions kept, never enlarge unless stretched, centre on request.
#include "pictureshow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

TEST(PictureShowRect, ShrinksAWidePictureToTheBoxWidthAndCentresItVertically)
{
    EXPECT_EQ(PictureShowRect(QSize(1500, 1500), QSize(3000, 1500), false, true),
              QRect(0, 375, 1500, 750));
    // A picture wider than the box but not taller is shrunk as well; the odd
    // free height leaves the extra pixel below.
    EXPECT_EQ(PictureShowRect(QSize(1500, 1000), QSize(2000, 100), false, true),
              QRect(0, 462, 1500, 75));
}

TEST(PictureShowRect, ShrinksATallPictureToTheBoxHeightAndCentresItHorizontally)
{
    EXPECT_EQ(PictureShowRect(QSize(1500, 1500), QSize(1000, 3000), false, true),
              QRect(500, 0, 500, 1500));
    EXPECT_EQ(PictureShowRect(QSize(1500, 1000), QSize(100, 2000), false, true),
              QRect(725, 0, 50, 1000));
}

TEST(PictureShowRect, ShrinksAPictureOfTheBoxShapeToExactlyTheBox)
{
    EXPECT_EQ(PictureShowRect(QSize(1500, 1000), QSize(3000, 2000), false, true),
              QRect(0, 0, 1500, 1000));
}

TEST(PictureShowRect, KeepsASmallerPictureAtItsOwnSize)
{
    EXPECT_EQ(PictureShowRect(QSize(1500, 1000), QSize(100, 100), false, true),
              QRect(700, 450, 100, 100));
    EXPECT_EQ(PictureShowRect(QSize(1500, 1000), QSize(1500, 1000), false, true),
              QRect(0, 0, 1500, 1000));
    // One dimension equal to the box's is not "larger".
    EXPECT_EQ(PictureShowRect(QSize(1500, 1000), QSize(1500, 10), false, true),
              QRect(0, 495, 1500, 10));
}

TEST(PictureShowRect, WithoutCentreThePictureSitsAtTheTopLeftCorner)
{
    EXPECT_EQ(PictureShowRect(QSize(1500, 1000), QSize(100, 100), false, false),
              QRect(0, 0, 100, 100));
    EXPECT_EQ(PictureShowRect(QSize(1500, 1500), QSize(3000, 1500), false, false),
              QRect(0, 0, 1500, 750));
    EXPECT_EQ(PictureShowRect(QSize(1500, 1500), QSize(1000, 3000), false, false),
              QRect(0, 0, 500, 1500));
}

TEST(PictureShowRect, StretchEnlargesASmallPictureToFitWithItsProportions)
{
    EXPECT_EQ(PictureShowRect(QSize(1500, 1000), QSize(100, 100), true, true),
              QRect(250, 0, 1000, 1000));
    EXPECT_EQ(PictureShowRect(QSize(1000, 1000), QSize(200, 50), true, true),
              QRect(0, 375, 1000, 250));
    EXPECT_EQ(PictureShowRect(QSize(1000, 1000), QSize(200, 50), true, false),
              QRect(0, 0, 1000, 250));
}

TEST(PictureShowRect, AnEmptyBoxOrPictureGivesNothingToDraw)
{
    EXPECT_TRUE(PictureShowRect(QSize(0, 100), QSize(10, 10), false, true).isEmpty());
    EXPECT_TRUE(PictureShowRect(QSize(100, 0), QSize(10, 10), true, true).isEmpty());
    EXPECT_TRUE(PictureShowRect(QSize(100, 100), QSize(0, 10), false, true).isEmpty());
    EXPECT_TRUE(PictureShowRect(QSize(100, 100), QSize(10, 0), true, true).isEmpty());
    EXPECT_TRUE(PictureShowRect(QSize(100, 100), QSize(), false, true).isEmpty());
}

TEST(PictureShowRect, EveryResultFitsTheBoxKeepsTheShapeAndIsCentred)
{
    // A sweep over many box and picture sizes: the drawing never leaves the
    // box, keeps the picture's proportions up to rounding, is enlarged only
    // when stretched, and has equal free space on both sides (within one).
    // The seed is fixed (QUARVEL_TEST_SEED replaces it) and named on failure.
    const char *seedText = std::getenv("QUARVEL_TEST_SEED");
    const unsigned seed = seedText ? unsigned(std::strtoul(seedText, nullptr, 10)) : 12345u;
    std::mt19937 random(seed);
    for (int run = 0; run < 20000; ++run) {
        // The first case touches both sides of its box after scaling.
        const QSize box = run == 0 ? QSize(284, 452)
                                   : QSize(1 + int(random() % 2000), 1 + int(random() % 2000));
        const QSize picture = run == 0
                                  ? QSize(1524, 2429)
                                  : QSize(1 + int(random() % 4000), 1 + int(random() % 4000));
        const bool stretch = run % 2 == 0;
        const QRect r = PictureShowRect(box, picture, stretch, true);
        SCOPED_TRACE(testing::Message()
                     << "seed " << seed << " run " << run << " box " << box.width() << "x"
                     << box.height() << " picture " << picture.width() << "x" << picture.height()
                     << " stretch " << stretch);
        ASSERT_GE(r.left(), 0);
        ASSERT_GE(r.top(), 0);
        ASSERT_LE(r.right(), box.width() - 1);
        ASSERT_LE(r.bottom(), box.height() - 1);
        const int freeX = box.width() - r.width();
        const int freeY = box.height() - r.height();
        ASSERT_LE(std::abs(2 * r.left() - freeX), 1);
        ASSERT_LE(std::abs(2 * r.top() - freeY), 1);
        const bool fits = picture.width() <= box.width() && picture.height() <= box.height();
        if (fits && !stretch) {
            ASSERT_EQ(r.size(), picture);
            continue;
        }
        // Scaled: one side touches the box, the other follows the shape. When
        // both touch, either side may be the one that was scaled.
        const bool widthLimits =
            r.width() == box.width() &&
            std::abs(r.height() - double(picture.height()) * box.width() / picture.width()) <=
                0.5 + 1e-9;
        const bool heightLimits =
            r.height() == box.height() &&
            std::abs(r.width() - double(picture.width()) * box.height() / picture.height()) <=
                0.5 + 1e-9;
        ASSERT_TRUE(widthLimits || heightLimits) << r.width() << "x" << r.height();
        if (!stretch) {
            ASSERT_TRUE(r.width() <= picture.width() && r.height() <= picture.height());
        }
    }
}

// ---- Picture mode ---------------------------------------------------------
#include "downloadlistmodel.h"
#include "frmdownloaddata.h"
#include "frmshowpicture.h"
#include "frmwebbrowser.h"
#include "picturemodecontroller.h"
#include "urllistmodel.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

TEST(PictureMode, ViewerTakesTheBrowsersPlaceAndShowsFinishedRows)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString picture = QDir(temp.path()).filePath(QStringLiteral("red.png"));
    const QString notPicture = QDir(temp.path()).filePath(QStringLiteral("text.png"));
    QImage red(300, 150, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(picture));
    QFile text(notPicture);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();

    DownloadListModel list;
    UrlListModel urls;
    frmDownloadData downloads(list, urls);
    frmWebbrowser browser;
    frmShowPicture viewer;
    viewer.resize(400, 400);
    bool mode = false;
    PictureModeController controller(downloads, list, browser, viewer, mode);
    for (const auto &[file, state] : {std::pair{picture, "Done"}, std::pair{notPicture, "progress"},
                                      std::pair{notPicture, "DONE"}}) {
        const int row = list.appendRow(file);
        list.setSubItem(row, DownloadListModel::ColState, QString::fromLatin1(state));
    }
    const QString title = viewer.windowTitle();

    controller.ListView1_ItemClick(1); // picture mode is off: nothing
    EXPECT_EQ(viewer.windowTitle(), title);
    downloads.cmdPictureMode->click();
    EXPECT_TRUE(mode);
    EXPECT_TRUE(downloads.cmdPictureMode->isChecked());
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_TRUE(browser.isHidden());

    controller.ListView1_ItemClick(2); // not finished: the title only
    EXPECT_EQ(viewer.windowTitle(), notPicture);
    EXPECT_TRUE(viewer.picShowPicture->pixmap().isNull());
    controller.ListView1_ItemClick(1);
    EXPECT_EQ(viewer.windowTitle(), picture);
    const QImage shown = viewer.picShowPicture->pixmap().toImage();
    ASSERT_FALSE(shown.isNull());
    const QPoint centre(shown.width() / 2, shown.height() / 2);
    EXPECT_EQ(shown.pixelColor(centre), QColor(Qt::red));
    controller.ListView1_ItemClick(3); // not a picture: the last one stays
    EXPECT_EQ(viewer.windowTitle(), notPicture);
    EXPECT_EQ(viewer.picShowPicture->pixmap().toImage(), shown);

    // Leaving picture mode keeps the picture for the next time.
    controller.cmdPictureMode_Click();
    EXPECT_FALSE(mode);
    EXPECT_TRUE(viewer.isHidden());
    EXPECT_EQ(viewer.picShowPicture->pixmap().toImage(), shown);
}
