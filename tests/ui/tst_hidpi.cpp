#include "common/Settings.h"
#include "ui/AppFonts.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// At twice the scale, text set in the window's classic face must be drawn
// twice as tall, not at its 1x size with doubled spacing.
class tst_HiDpi : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void textScalesWithTheWindow_data();
    void textScalesWithTheWindow();

private:
    QTemporaryDir m_config;
};

namespace {

// Rows of `image` that hold ink: a pixel clearly darker than the widget's own
// background in the image's first row.
int inkHeight(const QImage &image)
{
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    const int background = qGray(image.pixel(0, 0));
    int first = -1;
    int last = -1;
    for (int y = 0; y < gray.height(); ++y) {
        const uchar *row = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            if (row[x] + 96 < background) {
                if (first < 0)
                    first = y;
                last = y;
                break;
            }
        }
    }
    return first < 0 ? 0 : last - first + 1;
}

QImage render(QWidget *widget, qreal ratio)
{
    QImage image(widget->size() * ratio, QImage::Format_ARGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    widget->render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

} // namespace

void tst_HiDpi::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
}

void tst_HiDpi::textScalesWithTheWindow_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("root label") << QStringLiteral("Label1");
    QTest::newRow("crawl button") << QStringLiteral("cmdCrawl");
    QTest::newRow("clear button") << QStringLiteral("cmdClear");
    QTest::newRow("root box") << QStringLiteral("txtRoot");
}

void tst_HiDpi::textScalesWithTheWindow()
{
    QFETCH(QString, name);
    appSettings() = defaultSettings();
    frmMain window{QUrl()};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget *widget = window.findChild<QWidget *>(name);
    QVERIFY(widget);
    if (auto *box = qobject_cast<QLineEdit *>(widget))
        box->setText(QStringLiteral("HTTP Root"));

    // The same widget at 1x: the classic face as a 1x screen gets it.
    const QFont original = widget->font();
    widget->setFont(AppFonts::msSansSerif(8.25, 1.0));
    const int single = inkHeight(render(widget, 1.0));
    widget->setFont(original);
    const int twice = inkHeight(render(widget, 2.0));

    QVERIFY2(single >= 6, qPrintable(QString::number(single)));
    QVERIFY2(twice >= single * 1.6 && twice <= single * 2.4,
             qPrintable(QStringLiteral("ink %1 px at 1x, %2 px at 2x").arg(single).arg(twice)));
}

int main(int argc, char *argv[])
{
    // The whole program at twice the scale, as on a HiDPI desktop.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    AppFonts::loadBundledFonts();
    tst_HiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"
