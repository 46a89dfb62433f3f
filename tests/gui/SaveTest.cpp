// Save Checked and Save All in the main window: the destination asked for in the save dialog
// (a local folder, or an FTP server through the connection dialog), the files saved on the
// worker and compared byte for byte, the restore scripts written when asked after the save,
// and a destination on the image being read refused before anything is written.

#include "FrameFixtures.h"
#include "dialogs/AfterSaveDialog.h"
#include "dialogs/FtpDialog.h"
#include "dialogs/SaveDialog.h"
#include "fixtures/FtpServer.h"
#include "recover/SaveOperation.h"

#include <QtTest>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

namespace fs = std::filesystem;

// A frame over a bare volume made of `src` (docs/a.txt, docs/big.bin, top.txt), tree built.
struct SaveFrame {
    fixtures::TempDir dir;
    std::string src = dir.File("src");
    RecoverySession session;
    std::unique_ptr<MainFrame> frame;
    explicit SaveFrame(const std::string& debugfs = {}) {
        fs::create_directories(src + "/docs");
        std::ofstream(src + "/docs/a.txt") << "alpha\n";
        std::ofstream(src + "/top.txt") << "top\n";
        std::string big(150000, '\0');
        for (std::size_t i = 0; i < big.size(); ++i)
            big[i] = static_cast<char>(i % 251);
        std::ofstream(src + "/docs/big.bin", std::ios::binary) << big;
        OpenBareVolume(session, dir, src, debugfs);
        frame = std::make_unique<MainFrame>(session);
        frame->Prompts().SetUnattended(true);
        frame->StartTreeCreation();
        QTRY_VERIFY(!frame->Running());
    }
    // Saves through the dialogs: `choose` picks the destination (`connect` answers the FTP
    // connection dialog when it opens it); the scripts are asked for.
    void Save(bool checkedOnly, const std::function<void(SaveDialog&)>& choose,
              const std::function<int(QDialog&)>& connect = {}) {
        frame->Prompts().QueueDialog([choose](QDialog& dialog) {
            choose(dynamic_cast<SaveDialog&>(dialog));
            dialog.accept();
            return dialog.result();
        });
        if (connect)
            frame->Prompts().QueueDialog(connect);
        frame->Prompts().QueueDialog([](QDialog& dialog) {
            dynamic_cast<AfterSaveDialog&>(dialog).Choose(true, true);
            return int(QDialog::Accepted);
        });
        frame->Command(checkedOnly ? kCmdSaveChecked : kCmdSaveAll)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Running(), 20000);
        QCoreApplication::processEvents(); // the end of the save is taken in
    }
};

bool SameFile(const std::string& a, const std::string& b) {
    return fs::exists(b) && fixtures::ReadFileBytes(a) == fixtures::ReadFileBytes(b);
}

} // namespace

class SaveTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void SaveAllToALocalFolderKeepsEveryByteAndWritesTheScripts();
    void SaveCheckedSavesTheMarkedOnly();
    void AFolderOnTheSourceIsRefusedBeforeAnythingIsWritten();
    void SaveAllToAnFtpServer();
    void ADeletedFileFoundByTurboScanIsSavedWithItsData();
};

void SaveTest::SaveAllToALocalFolderKeepsEveryByteAndWritesTheScripts() {
    SaveFrame save;
    const std::string out = save.dir.File("out");
    save.Save(false, [&](SaveDialog& dialog) { dialog.ChooseFolder(QString::fromStdString(out)); });
    for (const char* file : {"docs/a.txt", "docs/big.bin", "top.txt"})
        QVERIFY2(SameFile(save.src + "/" + file, out + "/" + file), file);
    QVERIFY(fs::exists(out + "/" + kPermissionScript));
    QVERIFY(fs::exists(out + "/" + kOwnershipScript));
    const std::vector<ProcessLogEntry> rows = save.frame->Log().Rows();
    QVERIFY(std::any_of(rows.begin(), rows.end(), [](const ProcessLogEntry& row) {
        return row.processName == "Saving Files Completed";
    }));
    QVERIFY(SaveDialog::RecentFolders().contains(QString::fromStdString(out)));
}

void SaveTest::SaveCheckedSavesTheMarkedOnly() {
    SaveFrame save;
    save.frame->Command(kCmdSaveChecked)->trigger(); // nothing marked yet
    QVERIFY(save.frame->Prompts().Shown().back().startsWith("Nothing is marked"));
    // Mark docs in the folder tree.
    const QModelIndex root = save.frame->Tree().RootIndex();
    const int docs = Column(save.frame->Tree(), 0, root).indexOf("docs");
    QVERIFY(docs >= 0);
    save.frame->Tree().setData(save.frame->Tree().index(docs, 0, root), Qt::Checked,
                               Qt::CheckStateRole);
    const std::string out = save.dir.File("marked");
    save.Save(true, [&](SaveDialog& dialog) { dialog.ChooseFolder(QString::fromStdString(out)); });
    QVERIFY(SameFile(save.src + "/docs/a.txt", out + "/docs/a.txt"));
    QVERIFY(SameFile(save.src + "/docs/big.bin", out + "/docs/big.bin"));
    QVERIFY(!fs::exists(out + "/top.txt"));
}

void SaveTest::AFolderOnTheSourceIsRefusedBeforeAnythingIsWritten() {
    SaveFrame save;
    const std::string image = save.dir.File("bare.img");
    const std::vector<std::uint8_t> before = fixtures::ReadFileBytes(image);
    save.frame->Prompts().QueueDialog([&](QDialog& dialog) {
        dynamic_cast<SaveDialog&>(dialog).ChooseFolder(QString::fromStdString(image));
        return int(QDialog::Accepted);
    });
    save.frame->Command(kCmdSaveAll)->trigger();
    QVERIFY(save.frame->Prompts().Shown().back().startsWith(
        "will not save into the image being recovered from"));
    QVERIFY(!save.frame->Running());
    QVERIFY(fixtures::ReadFileBytes(image) == before);
}

void SaveTest::SaveAllToAnFtpServer() {
    SaveFrame save;
    const std::string served = save.dir.File("served");
    fs::create_directories(served);
    fixtures::FtpServer server(served);
    if (!server.Running())
        QFAIL("python3-pyftpdlib did not start");
    FtpSettings ftp;
    ftp.host = "127.0.0.1";
    ftp.port = static_cast<unsigned>(server.Port());
    ftp.user = "saver";
    ftp.password = "secret";
    ftp.folder = "up";
    ftp.retries = 1;
    ftp.retryDelaySeconds = 0;
    // Through the connection dialog, as the user fills it in.
    save.Save(
        false, [](SaveDialog& dialog) { dialog.Connect(); },
        [&ftp](QDialog& connect) {
            dynamic_cast<FtpDialog&>(connect).Fill(ftp);
            connect.accept();
            return connect.result();
        });
    for (const char* file : {"docs/a.txt", "docs/big.bin", "top.txt"})
        QVERIFY2(SameFile(save.src + "/" + file, served + "/up/" + file), file);
}

void SaveTest::ADeletedFileFoundByTurboScanIsSavedWithItsData() {
    SaveFrame save("rm docs/big.bin\n"); // deleted the old way: its block map stays
    save.frame->TurboScan();
    QTRY_VERIFY_WITH_TIMEOUT(!save.frame->Running(), 20000);
    const std::string out = save.dir.File("turbo");
    save.Save(false, [&](SaveDialog& dialog) { dialog.ChooseFolder(QString::fromStdString(out)); });
    // Its folder's records still held its name: saved at its old place, with every byte.
    QVERIFY(SameFile(save.src + "/docs/big.bin", out + "/docs/big.bin"));
    QVERIFY(fs::is_empty(out + "/Deleted Files1"));
}

QTEST_MAIN(SaveTest)
#include "SaveTest.moc"
