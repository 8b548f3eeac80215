#include "components/main_form.h"

#include <QPointer>
#include <QWidget>

namespace pt4 {

namespace {
QPointer<QWidget> mainForm;
}

QWidget* ApplicationMainForm()
{
    return mainForm.data();
}

void SetApplicationMainForm(QWidget* form)
{
    mainForm = form;
}

} // namespace pt4
