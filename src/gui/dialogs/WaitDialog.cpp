#include "dialogs/WaitDialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace twl::gui {

WaitDialog::WaitDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::FramelessWindowHint) {
    setModal(true);
    auto* busy = new QProgressBar;
    busy->setRange(0, 0); // moves by itself while the search runs
    busy->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Searching for super block.\nThis process can take few minutes "
                                 "to complete.\nPlease Wait..."));
    layout->addWidget(busy);
}

} // namespace twl::gui
