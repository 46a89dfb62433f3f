#pragma once

// Shown while a backup superblock is searched for: a text and a moving bar, no buttons and
// no way for the user to close it; whoever opened it closes it when the search has ended.

#include <QDialog>

namespace twl::gui {

class WaitDialog : public QDialog {
    Q_OBJECT
public:
    explicit WaitDialog(QWidget* parent = nullptr);

    void reject() override {} // Esc does not close it
};

} // namespace twl::gui
