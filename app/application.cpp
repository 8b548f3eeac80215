#include "app/application.h"

#include "app/settings_file.h"
#include "components/main_form.h"

namespace pt4 {

TApplicationWindows::TApplicationWindows(const QString& settingsFile)
{
    form1_ = std::make_unique<TForm1>(settingsFile.isEmpty() ? DefaultSettingsFile() : settingsFile);
    // The first window becomes the main form once its creation has finished.
    SetApplicationMainForm(form1_.get());
    form2_ = std::make_unique<TForm2>();
    form1_->SetPictureStore(form2_.get());
    form3_ = std::make_unique<TForm3>(*form1_, form1_->MP3Player1);
    albumForm_ = std::make_unique<TAlbumForm>(form1_.get());
    form1_->SetAlbumForm(albumForm_.get());
}

TApplicationWindows::~TApplicationWindows()
{
    form1_->SetAlbumForm(nullptr);
    albumForm_.reset(); // a child of the main window: it goes first
    form3_.reset();
    form1_->SetPictureStore(nullptr);
    form2_.reset();
    SetApplicationMainForm(nullptr);
    form1_.reset();
}

} // namespace pt4
