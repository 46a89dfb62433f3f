#include "recover/SaveDestination.h"

namespace twl {

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
