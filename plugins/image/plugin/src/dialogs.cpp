// dialogs.cpp - running the view dialogs and restoring the view on Cancel.
#include "dialogs.h"

#include "plugin_state.h"
#include "view.h"

namespace zyp {

intptr_t RunViewDialog(PluginInstance& in, ViewDialog which) {
    struct Entry {
        const char* name;
        WinDlgProc procedure;
    };
    static const Entry entries[] = {
        {"ZYPZOOM", ZoomDialogProc},
        {"ZYPROTATE", RotateDialogProc},
        {"ZYPCONTRAST", ContrastDialogProc},
        {"ZYPSETTINGS", PresetsDialogProc},
    };
    const Entry& entry = entries[static_cast<int>(which)];
    ViewValues before = in.Values();
    intptr_t result = Win_DialogBox(State().language, entry.name, in.viewWindow, entry.procedure,
                                    reinterpret_cast<intptr_t>(&in));
    if (result != IDOK && !(in.Values() == before)) ApplyValues(in, before);
    return result;
}

}  // namespace zyp
