// Helpers of the continuous-play and folder-tree tests: acting inside modal dialogs and menus,
// clicking tree nodes, confirming the folder dialog with the mouse, and a record of every end
// of play with what the window did about it.
#pragma once

#include "app/album_dialog.h"
#include "app/main_unit.h"
#include "app_fixtures.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <vector>

namespace pt4::testing {

// Runs act on the next modal window (dialog or message box) once it is shown; the test then
// starts whatever opens it.
inline void WhenModalShown(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

// The same for the next popup menu.
inline void WhenMenuShown(std::function<void(QMenu*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(menu);
    });
    timer->start();
}

// Clicks the menu entry whose text starts with text.
inline bool ClickMenuEntry(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(text)) {
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
            return true;
        }
    }
    menu->close();
    return false;
}

// Presses OK of a message box and returns its text and caption ("caption|text").
inline QString AnswerMessageBox(QWidget* modal)
{
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box)
        return QStringLiteral("<not a message box>");
    const QString seen = box->windowTitle() + u'|' + box->text();
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    return seen;
}

inline void ClickNode(QTreeWidget* tree, QTreeWidgetItem* node, Qt::MouseButton button = Qt::LeftButton)
{
    tree->scrollToItem(node);
    QTest::mouseClick(tree->viewport(), button, Qt::NoModifier, tree->visualItemRect(node).center());
}

struct TDialogChoice {
    bool ok = true;
    std::function<void()> beforeClose; // after the folder's node was clicked
    std::function<void()> afterClose;  // as soon as the dialog has closed, to meet what comes next
};

// A double click as the mouse makes it: press, release, double click, release.
inline void DoubleClickNode(QTreeWidget* tree, QTreeWidgetItem* node)
{
    tree->scrollToItem(node);
    const QPoint at = tree->visualItemRect(node).center();
    QTest::mousePress(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// Opens the folder dialog with the Album panel, clicks the folder's node and closes the dialog
// with OK or Cancel; returns the file names the dialog listed.
inline QStringList ChooseAlbumFolder(TForm1& form1, const QString& folder, TDialogChoice choice = {})
{
    TAlbumForm* dialog = form1.AlbumForm();
    auto listed = std::make_shared<QStringList>();
    WhenModalShown([dialog, folder, choice, listed](QWidget* modal) {
        if (modal != dialog)
            qFatal("another modal window than the folder dialog");
        TFolderTreeViewEx* tree = dialog->FolderTreeViewEx1;
        QTreeWidgetItem* node = tree->ExpandToPath(folder);
        if (!node)
            qFatal("no node for %s", qPrintable(folder));
        ClickNode(tree, node);
        *listed = dialog->FileListBox1->FileNames();
        if (choice.beforeClose)
            choice.beforeClose();
        QTest::mouseClick(choice.ok ? dialog->OkButton : dialog->CancelButton, Qt::LeftButton);
        if (choice.afterClose)
            choice.afterClose();
    });
    Click(form1.AlbumPanel);
    return *listed;
}

// Drags the items at paths over node and drops them there, as the desktop's drag and drop
// delivers it; returns the action the tree took (IgnoreAction when it refused the drop).
inline Qt::DropAction DropOn(QTreeWidget* tree, QTreeWidgetItem* node, const QStringList& paths,
                             Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    tree->scrollToItem(node);
    const QPoint at = tree->visualItemRect(node).center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(tree->viewport(), &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDragMoveEvent move(at, offered, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(tree->viewport(), &move);
    if (!move.isAccepted()) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(tree->viewport(), &leave);
        return Qt::IgnoreAction;
    }
    QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(tree->viewport(), &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

// A folder of silent MP3 files of the given lengths (whole seconds, multiples of 3).
inline QString MakeAlbum(const QString& folder, const QList<std::pair<QString, int>>& files)
{
    QDir().mkpath(folder);
    for (const auto& [name, seconds] : files)
        WriteSilentMp3(QDir(folder).filePath(name), seconds);
    return folder;
}

struct TEndPlayStep {
    QString ended; // the file that stopped
    TMP3EndPlayReason reason;
    QString loaded;          // the player's file after the window's handler
    TMP3PlayerStatus status; // and its status
};

// Every end of play the window handles, in order.
class TEndPlayLog {
public:
    // The log counts ends of play: files that would follow without a gap end none, so each file
    // is left to end on its own here (the gapless change is the album model's tests' concern).
    explicit TEndPlayLog(TForm1& form1)
    {
        form1.MP3Player1.OnNeedNext = nullptr;
        auto handler = form1.MP3Player1.OnEndPlay;
        form1.MP3Player1.OnEndPlay = [this, handler](TMP3Player& player, TMP3EndPlayReason reason) {
            TEndPlayStep step{Name(player.FileName()), reason, {}, {}};
            handler(player, reason);
            step.loaded = Name(player.FileName());
            step.status = player.Status();
            steps.push_back(step);
        };
    }

    static QString Name(const std::string& fileName)
    {
        return QFileInfo(QString::fromStdString(fileName)).fileName();
    }

    // The files played, in order: the first one as given, then each that an end of play started.
    QStringList PlayedAfter(const QString& first) const
    {
        QStringList played{first};
        for (const TEndPlayStep& step : steps)
            if (step.status == TMP3PlayerStatus::mpsPlaying)
                played << step.loaded;
        return played;
    }

    bool WaitForSteps(size_t count, int limitMs = 20000) const
    {
        return WaitUntil([this, count] { return steps.size() >= count; }, limitMs);
    }

    std::vector<TEndPlayStep> steps;
};

} // namespace pt4::testing
