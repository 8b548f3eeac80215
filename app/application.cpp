#include "app/application.h"

#include "app/settings_file.h"
#include "app/skin_accessibility.h"
#include "components/main_form.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace pt4 {

namespace {

// Qt's own texts (the Open dialog, message-box buttons) in Japanese like the rest of the program,
// from the translations Debian installs with qt6-translations-l10n. Once per application.
void InstallQtJapanese()
{
    static QPointer<QTranslator> installed;
    QCoreApplication* application = QCoreApplication::instance();
    if (installed || application == nullptr)
        return;
    auto* translator = new QTranslator(application);
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator))
        installed = translator;
    else
        delete translator;
}

} // namespace

TApplicationWindows::TApplicationWindows(const QString& settingsFile)
{
    InstallQtJapanese();
    InstallSkinAccessibility();
    form1_ = std::make_unique<TForm1>(settingsFile.isEmpty() ? DefaultSettingsFile() : settingsFile);
    // The first window becomes the main form once its creation has finished.
    SetApplicationMainForm(form1_.get());
    form2_ = std::make_unique<TForm2>();
    form1_->SetPictureStore(form2_.get());
    form3_ = std::make_unique<TForm3>(*form1_, form1_->MP3Player1);
    form1_->SetAlbumFormMaker([this] {
        albumForm_ = std::make_unique<TAlbumForm>(form1_.get());
        // It opens at the folder of what is loaded, when that is a local file.
        albumForm_->StartFolder = [form1 = form1_.get()] {
            const QFileInfo file(QFile::decodeName(QByteArray::fromStdString(form1->MP3Player1.FileName())));
            return file.isFile() ? file.absolutePath() : QString();
        };
        return albumForm_.get();
    });
}

TApplicationWindows::~TApplicationWindows()
{
    form1_->SetAlbumFormMaker({});
    albumForm_.reset(); // a child of the main window: it goes first
    form3_.reset();
    form1_->SetPictureStore(nullptr);
    form2_.reset();
    SetApplicationMainForm(nullptr);
    form1_.reset();
}

} // namespace pt4
