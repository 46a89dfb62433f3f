#include "session/TreeOperations.h"

#include "ext2/TreeBuilder.h"
#include "ext2/TurboScan.h"
#include "ext2/VolumeReader.h"

namespace twl {

void CreateTree(RecoverySession& session, EngineEvents& events) {
    if (session.Volume() == nullptr)
        return;
    VolumeReader reader(session.Source(), *session.Volume());
    TreeBuilder builder(reader, session.Catalogue(), session.Counters(), session.Stop(), events);
    RunTreeCreation(builder, session.Stop(), events);
}

bool RunTurboScan(RecoverySession& session, EngineEvents& events) {
    if (session.Volume() == nullptr)
        return false;
    VolumeReader reader(session.Source(), *session.Volume());
    TurboScan scan(reader, session.Catalogue(), session.Counters(), session.Stop(), events);
    return RunTurboScan(scan, session.Catalogue(), session.Stop(), events);
}

} // namespace twl
