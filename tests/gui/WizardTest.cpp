// The recovery wizard: the task page's buttons and where they lead, the run-on-startup flag,
// the volume page's rows, and the frame's "Open found Logical Drive".

#include "FrameFixtures.h"
#include "app/ProgramSettings.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"
#include "wizard/TaskPage.h"
#include "wizard/VolumePage.h"
#include "wizard/WizardContainer.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

QStringList RowTexts(const QTreeWidget& list) {
    QStringList rows;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < list.columnCount(); ++column)
            cells << list.topLevelItem(row)->text(column);
        rows << cells.join('|');
    }
    return rows;
}

bool Enabled(const QWizard& wizard, QWizard::WizardButton which) {
    const QAbstractButton* button = wizard.button(which);
    return button->isVisible() && button->isEnabled();
}

PartitionEntry Linux(SectorNo start, SectorCount size, const char* label) {
    PartitionEntry entry;
    entry.type = 0x83;
    entry.start = start;
    entry.size = size;
    for (std::size_t i = 0; label[i] != '\0' && i < entry.label.size(); ++i)
        entry.label[i] = static_cast<char>(label[i]);
    return entry;
}

} // namespace

class WizardTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void TaskButtonsLeadToTheirPagesAndBackKeepsTheChoice();
    void TheRunOnStartupFlagIsSavedAlsoWhenCancelled();
    void TheVolumePageListsLinuxVolumesWithTheirSizes();
    void TheVolumePageSaysWhichVolumesItCannotRead();
    void OpenFoundLogicalDriveStartsOnTheVolumePageWithoutBack();
};

void WizardTest::TaskButtonsLeadToTheirPagesAndBackKeepsTheChoice() {
    const std::pair<WizardTask, std::pair<int, QString>> tasks[] = {
        {WizardTask::kRecoverDisk, {kDiskPage, "Recover your data "}},
        {WizardTask::kRecoverImage, {kImageFilePage, "Recover data from disk image"}},
        {WizardTask::kClone, {kClonePage, "Clone Disk"}},
        {WizardTask::kImaging, {kImagingPage, "Create disk Image"}},
    };
    for (const auto& [task, expected] : tasks) {
        RecoverySession session;
        Prompter prompter(nullptr);
        prompter.SetUnattended(true);
        WizardContainer wizard("Tarnwell-Linux Wizard ", session, prompter);
        wizard.show();
        auto* page = qobject_cast<TaskPage*>(wizard.currentPage());
        QVERIFY(page != nullptr);
        // No task yet: neither Back nor Next.
        QVERIFY(!Enabled(wizard, QWizard::NextButton));
        QVERIFY(!Enabled(wizard, QWizard::BackButton));
        QCOMPARE(page->Description().front(), QString("Please select appropriate option"));
        page->TaskButton(task)->click();
        QVERIFY(Enabled(wizard, QWizard::NextButton));
        QVERIFY(!Enabled(wizard, QWizard::BackButton));
        QCOMPARE(page->Description().front(), expected.second);
        QCOMPARE(wizard.windowTitle(), QString("Tarnwell Linux Data Recovery ver 1.1.0"));
        wizard.next();
        QCOMPARE(wizard.currentId(), expected.first);
        QVERIFY(Enabled(wizard, QWizard::BackButton));
        QVERIFY(!Enabled(wizard, QWizard::FinishButton)); // nothing chosen on the page yet
        wizard.back();
        QCOMPARE(wizard.currentId(), int(kTaskPage));
        for (const auto& [other, ignored] : tasks)
            QCOMPARE(page->TaskButton(other)->isChecked(), other == task);
        QVERIFY(Enabled(wizard, QWizard::NextButton));
    }
}

void WizardTest::TheRunOnStartupFlagIsSavedAlsoWhenCancelled() {
    for (const bool on : {true, false}) {
        SetRunWizardOnStartup(!on);
        RecoverySession session;
        Prompter prompter(nullptr);
        {
            WizardContainer wizard("Tarnwell-Linux Wizard ", session, prompter);
            wizard.show();
            auto* box = wizard.currentPage()->findChild<QCheckBox*>();
            QCOMPARE(box->isChecked(), !on);
            box->click();
            wizard.reject();
            QVERIFY(!wizard.State().finished);
        }
        QCOMPARE(RunWizardOnStartup(), on);
    }
}

void WizardTest::TheVolumePageListsLinuxVolumesWithTheirSizes() {
    RecoverySession session;
    session.SetMode(ProcessingMode::kTable);
    PartitionEntry swap = Linux(50, 100, "");
    swap.type = 0x82;
    session.Lists().partitions.entries = {Linux(63, 1000, "boot"), swap, Linux(2048, 0, "empty"),
                                          Linux(4096, 4194304, "home")};
    Prompter prompter(nullptr);
    prompter.SetUnattended(true);
    WizardContainer wizard("w", session, prompter, nullptr, kVolumePage);
    wizard.show();
    auto* page = qobject_cast<VolumePage*>(wizard.currentPage());
    QVERIFY(page != nullptr);
    // A swap entry and an entry of no size are not volumes to open; the rows count the others.
    QCOMPARE(RowTexts(page->List()), (QStringList{"LINUX PARTITION #1|boot|63|500.000 KB",
                                                  "LINUX PARTITION #2|home|4096|  2.000 GB"}));
    QVERIFY(!Enabled(wizard, QWizard::FinishButton));
    page->List().setCurrentItem(page->List().topLevelItem(1));
    QVERIFY(Enabled(wizard, QWizard::FinishButton));

    session.Lists().FreeBoth();
    wizard.restart();
    QCOMPARE(RowTexts(page->List()), QStringList{"No Logical Drive Found!|||"});
    QVERIFY(!page->List().isEnabled());
    QVERIFY(!Enabled(wizard, QWizard::FinishButton));
}

// A listed ext4 volume whose superblock names a feature no version reads (dirdata) is shown,
// and the page says what it is under the list and on the row; an ext2 volume gets no note.
void WizardTest::TheVolumePageSaysWhichVolumesItCannotRead() {
    fixtures::Ext2Image ext4;
    const MutableBytes superblock = ext4.Superblock();
    PutLe32(superblock, 0x60, Le32(superblock, 0x60) | 0x40 | 0x200 | 0x1000);
    const fixtures::Ext2Image ext2;
    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->bytes.resize(SectorOffset(4096) + ext2.Sectors() * kSectorSize);
    const auto place = [&](const fixtures::Ext2Image& image, SectorNo start) {
        const auto bytes = image.ToMedium(start)->bytes;
        std::copy(bytes.begin() + SectorOffset(start), bytes.end(),
                  medium->bytes.begin() + SectorOffset(start));
    };
    place(ext4, 63);
    place(ext2, 4096);
    RecoverySession session({}, fixtures::MemoryFactory{"/test/disk.img", medium});
    QVERIFY(session.Source().SelectImageFile("/test/disk.img").Ok());
    session.SetMode(ProcessingMode::kTable);
    session.Lists().partitions.entries = {Linux(63, ext4.Sectors(), "four"),
                                          Linux(4096, ext2.Sectors(), "two")};
    Prompter prompter(nullptr);
    prompter.SetUnattended(true);
    WizardContainer wizard("w", session, prompter, nullptr, kVolumePage);
    wizard.show();
    auto* page = qobject_cast<VolumePage*>(wizard.currentPage());
    QVERIFY(page != nullptr);
    const QString note = "ext4 volume with features this version cannot read (dirdata)";
    QCOMPARE(page->NotesText(), "LINUX PARTITION #1: " + note);
    QCOMPARE(page->List().topLevelItem(0)->toolTip(0), note);
    QCOMPARE(page->List().topLevelItem(1)->toolTip(0), QString());
    QVERIFY(wizard.grab().save(QString(TWL_SCREENSHOT_DIR) + "/volume-page-ext4.png"));
}

void WizardTest::OpenFoundLogicalDriveStartsOnTheVolumePageWithoutBack() {
    BuiltFrame built; // the demo disk's volume found through its partition table, and open
    MainFrame& frame = *built.frame;
    QVERIFY(built.Build());
    frame.Command(kCmdOpenFoundDrive)->trigger(); // unattended: the wizard is cancelled
    QCOMPARE(frame.Tree().rowCount() > 0, true);  // and leaves the tree as it was
    bool sawNoBack = false;
    frame.Prompts().QueueDialog([&](QDialog& dialog) {
        auto& wizard = dynamic_cast<WizardContainer&>(dialog);
        wizard.show();
        auto* page = qobject_cast<VolumePage*>(wizard.currentPage());
        const bool before = !Enabled(wizard, QWizard::BackButton);
        page->List().setCurrentItem(page->List().topLevelItem(0));
        sawNoBack = before && !Enabled(wizard, QWizard::BackButton);
        wizard.button(QWizard::FinishButton)->click();
        return wizard.result();
    });
    QVERIFY(frame.Command(kCmdOpenFoundDrive)->isEnabled());
    frame.Command(kCmdOpenFoundDrive)->trigger();
    QVERIFY(sawNoBack);
    QTRY_VERIFY(!frame.Running());
    const std::vector<ProcessLogEntry> rows = frame.Log().Rows();
    const auto opened = std::find_if(rows.begin(), rows.end(), [](const ProcessLogEntry& row) {
        return row.processName == "Logical drive opened...";
    });
    QVERIFY(opened != rows.end());
    QCOMPARE(opened->description, std::string("Mount Point gui Selected "));
    QVERIFY(frame.Tree().rowCount() > 0);
}

QTEST_MAIN(WizardTest)
#include "WizardTest.moc"
