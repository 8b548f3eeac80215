// The application's main form: the first window that finished its creation. Closing it ends
// the program; components that must live on it check it.
#pragma once

class QWidget;

namespace pt4 {

QWidget* ApplicationMainForm();
// Set by the program entry once the first window's creation has finished; nullptr clears it.
void SetApplicationMainForm(QWidget* form);

} // namespace pt4
