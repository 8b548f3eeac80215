// Shared helpers of the window's tests: MPEG audio files made on the spot, the program's
// windows on the offscreen platform with a private settings file, real mouse input, and
// waiting for the player's events.
#pragma once

#include "app/application.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QWidget;

namespace pt4::testing {

// An MPEG-1 Layer III file of silent mono frames, 48 kHz at 128 kbit/s (384 bytes a frame,
// 24 ms each), so its length is exactly seconds x 1000 ms; seconds a multiple of 3. An ID3v1 tag follows when
// a title is given (raw bytes, as a tag holds them).
QString WriteSilentMp3(const QString& path, int seconds, const QByteArray& title = {},
                       const QByteArray& artist = {});

QString DemoClipPath();

// The real mouse: press, move and release reach the widget through its window.
void Press(QWidget* widget, Qt::MouseButton button = Qt::LeftButton, QPoint pos = QPoint(-1, -1));
void Release(QWidget* widget, Qt::MouseButton button = Qt::LeftButton, QPoint pos = QPoint(-1, -1));
void Click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton);
void MoveTo(QWidget* widget, QPoint pos);

// Runs the event loop (and with it the player's events) until done holds; false after the
// limit. The limit only guards against a hang.
bool WaitUntil(const std::function<bool()>& done, int limitMs = 20000);

// Every exception the handlers hand to the standard display, by text.
class TExceptionRecorder {
public:
    TExceptionRecorder();
    ~TExceptionRecorder();
    QStringList Texts() const;

private:
    std::shared_ptr<QStringList> texts_;
};

// The program's windows with PT4.INI in a private folder; the main window shown.
class TWindowsUnderTest {
public:
    // iniText: the settings file's text before start; null: no file.
    explicit TWindowsUnderTest(const QByteArray& iniText = QByteArray());
    ~TWindowsUnderTest();

    TForm1& Form1() { return windows_->Form1(); }
    TForm2& Form2() { return windows_->Form2(); }
    TForm3& Form3() { return windows_->Form3(); }
    QString SettingsPath() const;
    QString TempFile(const QString& name) const;
    // Exit: destroys the windows (the settings file is written) and returns the file's text.
    QByteArray Exit();

private:
    QTemporaryDir dir_;
    std::unique_ptr<TApplicationWindows> windows_;
};

// Picture equality by pixels.
bool SamePicture(const QPixmap& a, const QPixmap& b);

} // namespace pt4::testing
