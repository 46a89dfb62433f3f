#include "recover/SaveDestination.h"

namespace twl {

void SaveFile::WriteHeld(HeldBytes held, ByteCount size, const ItemTimes& times, const Done& done) {
    int error = 0;
    for (const HeldBytes::Run& run : held.runs) {
        if (error == 0)
            error = WriteAt(run.offset, ConstBytes(held.bytes).subspan(run.at, run.length));
    }
    if (error == 0)
        error = Finish(size, times);
    std::string detail;
    if (error != 0) {
        detail = LastError();
        Abandon();
    }
    done(error, detail);
}

MadeItem SaveDestination::WriteTextFile(const std::string& name, const std::string& text,
                                        bool executable) {
    MadeItem made;
    const std::unique_ptr<SaveFile> file = MakeFile(Root(), name, made);
    if (!file)
        return made;
    made.error =
        file->WriteAt(0, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    const int finished = file->Finish(text.size(), {});
    if (made.error == 0)
        made.error = finished;
    made.detail = file->LastError();
    if (made.error != 0)
        file->Abandon();
    if (made.error == 0 && executable)
        MakeExecutable(made.name);
    return made;
}

} // namespace twl
