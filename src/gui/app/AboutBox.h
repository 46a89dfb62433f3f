#pragma once

// The About box: one picture over the whole box, closed by a click anywhere on it.

#include <QDialog>

namespace twl::gui {

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace twl::gui
