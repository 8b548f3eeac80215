// The 文字コード menu: how tag and station text without a Unicode form is read (自動 detects it),
// kept in PT4.INI as [Text] Encoding= 0 auto, 1 Shift-JIS, 2 EUC-JP, 3 Latin-1.
#include "app/main_unit.h"

#include "app/guarded_command.h"
#include "app/settings_file.h"
#include "mp3plyr/input/text_encoding.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace pt4 {

namespace {

const QString kSection = QStringLiteral("Text");
const QString kKey = QStringLiteral("Encoding");

} // namespace

void TForm1::AddTextEncodingMenu()
{
    static constexpr std::pair<TTextEncodingChoice, const char*> kChoices[] = {
        {TTextEncodingChoice::Auto, "自動"},
        {TTextEncodingChoice::ShiftJis, "Shift-JIS"},
        {TTextEncodingChoice::EucJp, "EUC-JP"},
        {TTextEncodingChoice::Latin1, "Latin-1"},
    };
    QMenu* menu = contextMenu_->addMenu(QStringLiteral("文字コード"));
    auto* group = new QActionGroup(menu);
    for (const auto& [choice, text] : kChoices) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setCheckable(true);
        group->addAction(action);
        // The song and artist shown are read anew at once.
        connect(action, &QAction::triggered, this, [this, choice = choice] {
            RunGuarded([&] {
                SetTextEncodingChoice(choice);
                MP3Player1ChangeStatus();
            });
        });
        connect(menu, &QMenu::aboutToShow, action,
                [action, choice = choice] { action->setChecked(TextEncodingChoice() == choice); });
    }
}

void LoadTextEncoding(const TIniFile& ini)
{
    const int32_t stored = ini.ReadInteger(kSection, kKey, 0);
    if (stored >= 0 && stored <= 3)
        SetTextEncodingChoice(static_cast<TTextEncodingChoice>(stored));
}

void SaveTextEncoding(TIniFile& ini)
{
    // The key joins the file once the choice leaves 自動, and stays from then on.
    const bool stored = ini.ReadInteger(kSection, kKey, -1) != -1;
    if (stored || TextEncodingChoice() != TTextEncodingChoice::Auto)
        ini.WriteInteger(kSection, kKey, static_cast<int32_t>(TextEncodingChoice()));
}

} // namespace pt4
