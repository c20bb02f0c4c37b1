#include "platform/MessageBoxes.h"
#include "platform/Window.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(QtWindow, LoadsTheHandPointerAndKeepsShapes) {
    QWidget widget;
    platform::QtWindow window(&widget);
    window.loadMouseIcon(QString(VELLOMAR_SOURCE_DIR) + "/resources/HAND-M.CUR");

    window.setMousePointer(platform::CustomPointer);
    EXPECT_EQ(window.mousePointer(), 99);
    EXPECT_EQ(widget.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(widget.cursor().hotSpot(), QPoint(9, 0));

    window.setMousePointer(platform::BusyPointer);
    EXPECT_EQ(widget.cursor().shape(), Qt::WaitCursor);
    window.setMousePointer(platform::DefaultPointer);
    EXPECT_EQ(widget.cursor().shape(), Qt::ArrowCursor);
}

TEST(QtWindow, RejectsAFileThatIsNoCursor) {
    QWidget widget;
    platform::QtWindow window(&widget);
    QTemporaryDir dir;
    QFile junk(dir.filePath("HAND-M.CUR"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a cursor at all, just some text");
    junk.close();
    EXPECT_THROW(window.loadMouseIcon(junk.fileName()), std::runtime_error);
    EXPECT_THROW(window.loadMouseIcon(dir.filePath("missing.cur")), std::runtime_error);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("FIFO.CUR")).constData(), 0600), 0);
    EXPECT_THROW(window.loadMouseIcon(dir.filePath("FIFO.CUR")), std::runtime_error);  // at once, no wait

    // Without a picture the custom shape shows the default arrow.
    window.setMousePointer(platform::CustomPointer);
    EXPECT_EQ(window.mousePointer(), 99);
    EXPECT_EQ(widget.cursor().shape(), Qt::ArrowCursor);
}

TEST(QtMessageBoxes, AShortMessageLeavesItsTitleBarRoomForTheTitle) {
    int width = 0, title = 0;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        width = box->width();
        title = box->fontMetrics().horizontalAdvance(box->windowTitle());
        box->close();
    });
    platform::QtMessageBoxes().showInFront("Done.", "Vellomar");
    EXPECT_GE(width, title + 150);  // the window manager's icon and buttons beside it
}
