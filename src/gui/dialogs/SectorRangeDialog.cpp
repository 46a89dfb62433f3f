#include "dialogs/SectorRangeDialog.h"

#include "volumes/ScanRange.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

// The dialog reads at most 48 characters of each field.
constexpr int kFieldChars = 48;

} // namespace

SectorRangeDialog::SectorRangeDialog(std::uint64_t sectors, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_sectors(sectors), m_prompter(prompter) {
    setWindowTitle("Tarnwell Linux");
    const std::uint64_t last = sectors == 0 ? 0 : sectors - 1;
    m_rangeText = QString("range : 0 to %1").arg(last);
    m_startEdit = new QLineEdit("0");
    m_endEdit = new QLineEdit(QString::number(last));
    for (QLineEdit* edit : {m_startEdit, m_endEdit})
        edit->setMaxLength(kFieldChars);
    auto* fields = new QFormLayout;
    fields->addRow("Start Sector", m_startEdit);
    fields->addRow("End Sector", m_endEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &SectorRangeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Choose Starting and Ending Sectors"));
    layout->addWidget(new QLabel("Choose Starting and Ending Sectors from"));
    layout->addWidget(new QLabel(m_rangeText));
    layout->addLayout(fields);
    layout->addWidget(buttons);
}

void SectorRangeDialog::SetTexts(const QString& start, const QString& end) {
    m_startEdit->setText(start);
    m_endEdit->setText(end);
}

QString SectorRangeDialog::RangeText() const {
    return m_rangeText;
}

void SectorRangeDialog::accept() {
    const std::int64_t start = ParseSectorText(m_startEdit->text().left(kFieldChars).toStdString());
    const std::int64_t end = ParseSectorText(m_endEdit->text().left(kFieldChars).toStdString());
    const RangeCheck check = CheckSectorRange(start, end, m_sectors);
    if (check != RangeCheck::kOk) {
        m_prompter.Tell(QMessageBox::NoIcon, "Tarnwell Linux", EngineText(RangeCheckText(check)));
        return;
    }
    m_start = static_cast<SectorNo>(start);
    m_end = static_cast<SectorNo>(end);
    QDialog::accept();
}

} // namespace twl::gui
