#include "app/AboutBox.h"

#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace twl::gui {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Tarnwell Linux");
    auto* picture = new QLabel;
    const QSize size(560, 310);
    picture->setPixmap(QIcon(":/tips/about-picture.svg").pixmap(size));
    picture->setFixedSize(size);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picture);
    setFixedSize(size);
}

void AboutBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        accept();
    QDialog::mousePressEvent(event);
}

} // namespace twl::gui
