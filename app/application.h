// The program's windows, created in start-up order (after Qt's Japanese translation is
// installed): the main window, the picture store and the equalizer window; the folder dialog
// when it is first needed. Destroyed in the reverse order; the main window writes the settings
// last.
#pragma once

#include "app/album_dialog.h"
#include "app/equalizer_window.h"
#include "app/main_unit.h"
#include "app/picture_store.h"

#include <memory>

namespace pt4 {

class TApplicationWindows {
public:
    // settingsFile empty: "PT4.INI" where DefaultSettingsFile puts it.
    explicit TApplicationWindows(const QString& settingsFile = QString());
    ~TApplicationWindows();
    TApplicationWindows(const TApplicationWindows&) = delete;
    TApplicationWindows& operator=(const TApplicationWindows&) = delete;

    TForm1& Form1() { return *form1_; }
    TForm2& Form2() { return *form2_; }
    TForm3& Form3() { return *form3_; }
    TAlbumForm& AlbumForm() { return *form1_->AlbumForm(); }

private:
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TAlbumForm> albumForm_;
};

} // namespace pt4
