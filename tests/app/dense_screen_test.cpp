// The window on a screen of twice the density (Qt scaling by 2): the skin is drawn from art made
// for that density, not from the ordinary pictures doubled pixel by pixel.
#include "support/app_fixtures.h"

#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

class DenseScreenTest : public QObject {
    Q_OBJECT
private slots:
    void transportRowIsDrawnForTheScreensDensity();
};

void DenseScreenTest::transportRowIsDrawnForTheScreensDensity()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QCOMPARE(f.playImage->Picture().devicePixelRatio(), 2.0);
    const QImage window = f.grab().toImage();
    QCOMPARE(window.size(), QSize(2 * 331, 2 * 192));
    // Pixel-doubled art is made of uniform 2 x 2 blocks; art for the density has detail inside
    // them on every button's edges and symbols.
    const QRect row(8 * 2, 153 * 2, 316 * 2, 36 * 2);
    int detailed = 0;
    for (int y = row.top(); y < row.bottom(); y += 2)
        for (int x = row.left(); x < row.right(); x += 2) {
            const QRgb corner = window.pixel(x, y);
            detailed += window.pixel(x + 1, y) != corner || window.pixel(x, y + 1) != corner ||
                        window.pixel(x + 1, y + 1) != corner;
        }
    QVERIFY2(detailed > 8 * 40, qPrintable(QString::number(detailed)));
}

int main(int argc, char* argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    DenseScreenTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dense_screen_test.moc"
