#pragma once

// `tarnwell-linux IMAGE`: the image named on the command line is checked, its Linux volumes
// are found as twl finds them (the partition tables, then a quick sweep for ext2/ext3
// superblocks when the tables hold none, so that an image of a single file system opens
// too), the user chooses one when there are several, and its tree is built at once.

#include <QString>
#include <QStringList>
#include <optional>

namespace twl {
class RecoverySession;
}

namespace twl::gui {

class MainFrame;

inline constexpr char kUsageText[] =
    "Usage: tarnwell-linux [IMAGE]\n"
    "Recovers files from Linux ext2/ext3/ext4 volumes.\n"
    "IMAGE is a raw disk image or a block device: its Linux volumes are found from the\n"
    "partition tables, or by a quick scan for superblocks, and the chosen one is opened.\n"
    "Without IMAGE the program starts empty.\n";

// What the command line asks for: nothing, an image, the usage text, the manual page (a
// build step writes it), or a mistake.
struct CommandLine {
    enum class Kind { kNone, kImage, kHelp, kManPage, kMistake } kind = Kind::kNone;
    QString image;   // kImage
    QString mistake; // kMistake: what is wrong, for the usage text's first line
};
CommandLine ParseCommandLine(const QStringList& arguments);

// tarnwell-linux(1), from the usage text's own words, for `version`.
std::string ManPage(const std::string& version);

// Why `path` cannot be read as a disk image, naming it; empty when it can be tried.
QString ImageProblem(const QString& path);

enum class ImageOpening {
    kStarted,   // a volume is open and its tree is being built
    kCancelled, // the user chose no volume
    kFailed,    // the user has been told why; nothing was opened
};

// Opens `path` in the frame's session: the volumes are found (a long sweep shows its
// progress and can be stopped), one is chosen through the frame's prompter when there are
// several, and the tree creation starts. The title bar and a process-log row name the image
// and the volume.
ImageOpening OpenCommandLineImage(MainFrame& frame, RecoverySession& session, const QString& path);

} // namespace twl::gui
