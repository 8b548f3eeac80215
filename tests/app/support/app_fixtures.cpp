#include "app_fixtures.h"

#include "mp3plyr/runtime/exception_display.h"

#include <QFile>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <mutex>

namespace pt4::testing {

QString WriteSilentMp3(const QString& path, int seconds, const QByteArray& title, const QByteArray& artist)
{
    // Header FF FB 94 C0: MPEG-1, Layer III, no CRC, 128 kbit/s, 48 kHz, no padding, mono.
    // Side information and main data all zero: no Huffman bits, silence.
    QByteArray frame(384, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x94);
    frame[3] = char(0xC0);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    if (seconds % 3 != 0)
        qFatal("whole seconds come in steps of three frames' worth (3 s = 125 frames)");
    const int frames = seconds * 1000 / 24;
    for (int i = 0; i < frames; ++i)
        file.write(frame);
    if (!title.isEmpty()) {
        QByteArray tag(128, '\0');
        tag.replace(0, 3, "TAG");
        tag.replace(3, std::min<qsizetype>(title.size(), 30), title.left(30));
        tag.replace(33, std::min<qsizetype>(artist.size(), 30), artist.left(30));
        tag[127] = char(255);
        file.write(tag);
    }
    return path;
}

QString DemoClipPath()
{
    return QStringLiteral(PT4_SOURCE_DIR "/demo/demo.mp3");
}

static QPoint PointIn(QWidget* widget, QPoint pos)
{
    return pos == QPoint(-1, -1) ? widget->rect().center() : pos;
}

void Press(QWidget* widget, Qt::MouseButton button, QPoint pos)
{
    QTest::mousePress(widget, button, Qt::NoModifier, PointIn(widget, pos));
}

void Release(QWidget* widget, Qt::MouseButton button, QPoint pos)
{
    QTest::mouseRelease(widget, button, Qt::NoModifier, PointIn(widget, pos));
}

void Click(QWidget* widget, Qt::MouseButton button)
{
    Press(widget, button);
    Release(widget, button);
}

void MoveTo(QWidget* widget, QPoint pos)
{
    QTest::mouseMove(widget, pos);
}

bool WaitUntil(const std::function<bool()>& done, int limitMs)
{
    QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

TExceptionRecorder::TExceptionRecorder() : texts_(std::make_shared<QStringList>())
{
    SetExceptionDisplay([texts = texts_](const std::exception_ptr& error) {
        texts->append(QString::fromStdString(ExceptionText(error)));
    });
}

TExceptionRecorder::~TExceptionRecorder()
{
    SetExceptionDisplay({});
}

QStringList TExceptionRecorder::Texts() const
{
    return *texts_;
}

TWindowsUnderTest::TWindowsUnderTest(const QByteArray& iniText)
{
    if (!iniText.isNull()) {
        QFile file(SettingsPath());
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write the settings file");
        file.write(iniText);
    }
    windows_ = std::make_unique<TApplicationWindows>(SettingsPath());
    Form1().show();
    if (!QTest::qWaitForWindowExposed(&Form1()))
        qFatal("the main window was not exposed");
}

TWindowsUnderTest::~TWindowsUnderTest() = default;

QString TWindowsUnderTest::SettingsPath() const
{
    return dir_.filePath(QStringLiteral("PT4.INI"));
}

QString TWindowsUnderTest::TempFile(const QString& name) const
{
    return dir_.filePath(name);
}

QByteArray TWindowsUnderTest::Exit()
{
    windows_.reset();
    QFile file(SettingsPath());
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool SamePicture(const QPixmap& a, const QPixmap& b)
{
    return !a.isNull() && a.toImage() == b.toImage();
}

} // namespace pt4::testing
