#include "app/TipOfTheDay.h"

#include "app/ProgramSettings.h"
#include "models/ItemIcons.h"

#include <QCheckBox>
#include <QDate>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace twl::gui {

QStringList LoadTips() {
    QFile file(":/tips/tips.txt");
    QStringList tips;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return tips;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n'))
        if (!line.trimmed().isEmpty())
            tips << line.trimmed();
    return tips;
}

TipOfTheDay::TipOfTheDay(QWidget* parent) : QDialog(parent), m_tips(LoadTips()) {
    setWindowTitle("Tip of the Day");
    // A different tip each day.
    if (!m_tips.isEmpty())
        m_current = QDate::currentDate().dayOfYear() % static_cast<int>(m_tips.size());
    auto* heading = new QLabel("<b>Did you know...</b>");
    auto* picture = new QLabel;
    picture->setPixmap(NamedIcon("help-contents").pixmap(32, 32));
    m_text = new QLabel(Tip());
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMinimumSize(360, 90);
    m_text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_showAtStartup = new QCheckBox("&Show tips at startup");
    m_showAtStartup->setChecked(ShowTipsAtStartup());
    connect(m_showAtStartup, &QCheckBox::toggled, this, [](bool on) { SetShowTipsAtStartup(on); });
    auto* next = new QPushButton("&Next Tip");
    connect(next, &QPushButton::clicked, this, &TipOfTheDay::NextTip);
    auto* close = new QPushButton("&Close");
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* tipRow = new QHBoxLayout;
    tipRow->addWidget(picture, 0, Qt::AlignTop);
    tipRow->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_showAtStartup);
    buttons->addStretch();
    buttons->addWidget(next);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(tipRow);
    layout->addLayout(buttons);
}

QString TipOfTheDay::Tip() const {
    return m_tips.isEmpty() ? QString() : m_tips[m_current];
}

void TipOfTheDay::NextTip() {
    if (m_tips.isEmpty())
        return;
    m_current = (m_current + 1) % static_cast<int>(m_tips.size());
    m_text->setText(Tip());
}

} // namespace twl::gui
