#include "wizard/VolumePage.h"

#include "core/SizeText.h"
#include "dialogs/VolumeFinish.h"
#include "ext2/VolumeOpen.h"
#include "models/ShownName.h"
#include "session/ListedVolumes.h"
#include "wizard/PageParts.h"
#include "wizard/VolumeDiscovery.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

constexpr int kMountPointColumn = 1;

QString VolumeSize(SectorCount sectors) {
    return QString::fromStdString(SizeText(std::uint64_t{sectors} * kSectorSize));
}

} // namespace

VolumePage::VolumePage(WizardState& state, RecoverySession& session, Prompter& prompter,
                       QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {
    setTitle("Select Linux Volume to Recover");
    setSubTitle("Choose the volume whose files you want back, then press Finish.");
    setFinalPage(true);
    m_list = new QTreeWidget;
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({"Name", "Mount Point", "Starting Sector", "Size"});
    for (int column = 0; column < 4; ++column)
        m_list->setColumnWidth(column, column == 0 ? 170 : 120);
    m_list->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    m_list->headerItem()->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &VolumePage::completeChanged);
    m_notes = new QLabel;
    m_notes->setWordWrap(true);
    m_notes->setTextFormat(Qt::PlainText);
    m_notes->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(m_notes);
    layout->addWidget(new RunOnStartupBox(state));
}

void VolumePage::initializePage() {
    m_list->clear();
    m_list->setEnabled(true);
    const std::vector<ListedVolume> volumes = ListedVolumes(m_session);
    // What the partition tables showed amiss comes first: it explains the list below.
    QStringList notes = WalkSentences(m_session.Lists().walk);
    int number = 0;
    for (const ListedVolume& volume : volumes) {
        auto* row = new QTreeWidgetItem(m_list);
        row->setText(0, QString("LINUX PARTITION #%1").arg(++number));
        // A volume this version cannot read says what it is, before it is chosen.
        const QString note = QString::fromStdString(ListedVolumeNote(m_session, volume));
        if (!note.isEmpty()) {
            notes << row->text(0) + ": " + note;
            for (int column = 0; column < m_list->columnCount(); ++column)
                row->setToolTip(column, note);
        }
        row->setText(kMountPointColumn, ShownName(volume.label));
        row->setText(2, QString::number(volume.start));
        row->setText(3, VolumeSize(volume.size));
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (volumes.empty()) {
        new QTreeWidgetItem(m_list, QStringList{"No Logical Drive Found!"});
        m_list->setEnabled(false);
    }
    m_notes->setText(notes.join('\n'));
    m_notes->setVisible(!notes.isEmpty());
    emit completeChanged();
}

QString VolumePage::NotesText() const {
    return m_notes->text();
}

void VolumePage::cleanupPage() {
    // Back: the volumes were found for the source the page before chose; they go with it.
    m_list->clear();
    m_session.Lists().FreeBoth();
}

bool VolumePage::isComplete() const {
    return m_list->isEnabled() && !m_list->selectedItems().isEmpty();
}

bool VolumePage::validatePage() {
    if (!isComplete() || m_opening)
        return false;
    QTreeWidgetItem* row = m_list->selectedItems().front();
    const int index = m_list->indexOfTopLevelItem(row);
    m_opening = true;
    const bool opened =
        FinishVolumeOpen(this, m_prompter, m_session, static_cast<std::size_t>(index));
    m_opening = false;
    if (!opened)
        return false;
    m_state.selectedVolume =
        QString::fromStdString(MountPointSelectedText(row->text(kMountPointColumn).toStdString()));
    m_state.finished = true;
    return true;
}

} // namespace twl::gui
