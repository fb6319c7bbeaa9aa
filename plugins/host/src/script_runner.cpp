#include "script_runner.h"

#include <deque>
#include <memory>

#include "event_log.h"
#include "qel_win.h"
#include "viewer_host.h"

namespace {

constexpr int kWaitMs = 30000;

// What the script queued for the next dialog, message box, menu and print dialog.
struct Answers {
    std::deque<ScriptCommand> dialogs, boxes, menus, prints;
    std::string failure;  // the first answer that did not fit
};

void InstallHooks(const std::shared_ptr<Answers>& answers) {
    WinHooks hooks;
    hooks.dialog = [answers](WinHandle dialog, const std::string& name) {
        if (answers->dialogs.empty()) return false;
        ScriptCommand answer = answers->dialogs.front();
        answers->dialogs.pop_front();
        if (answer.text != name) {
            if (answers->failure.empty()) {
                answers->failure = "line " + std::to_string(answer.line) + ": expected dialog \"" +
                                   answer.text + "\", got \"" + name + "\"";
            }
            Win_EndDialog(dialog, IDCANCEL);
            return true;
        }
        for (const ScriptCommand::DialogStep& step : answer.steps) {
            // A click that ended the dialog (OK, Cancel) leaves nothing for the steps after it.
            if (!Win_IsWindow(dialog) || !Win_IsWindowVisible(dialog)) {
                if (answers->failure.empty()) {
                    answers->failure = "line " + std::to_string(answer.line) + ": dialog \"" + name +
                                       "\" ended before " + (step.click ? "click " : "set ") +
                                       std::to_string(step.id);
                }
                break;
            }
            if (step.click) {
                Win_ClickButton(dialog, static_cast<uint32_t>(step.id));
                Win_PumpMessages();
            } else {
                Win_SetDlgItemText(dialog, static_cast<uint32_t>(step.id), step.value);
            }
        }
        return true;
    };
    hooks.messageBox = [answers](const std::string&, const std::string&, uint32_t, int* button) {
        if (answers->boxes.empty()) return false;
        *button = static_cast<int>(answers->boxes.front().numbers[0]);
        answers->boxes.pop_front();
        return true;
    };
    hooks.popupMenu = [answers](WinMenu, uint32_t* chosen) {
        if (answers->menus.empty()) return false;
        *chosen = static_cast<uint32_t>(answers->menus.front().numbers[0]);
        answers->menus.pop_front();
        return true;
    };
    hooks.printDialog = [answers](WinPrintDialog* dialog, bool* ok) {
        if (answers->prints.empty()) return false;
        const ScriptCommand& answer = answers->prints.front();
        Win_SetPdfDirectory(answer.text);
        dialog->printer = "PDF";
        if (answer.numbers[0] > 0) {
            dialog->flags = (dialog->flags & ~(PD_SELECTION | PD_ALLPAGES)) | PD_PAGENUMS;
            dialog->fromPage = static_cast<int>(answer.numbers[0]);
            dialog->toPage = static_cast<int>(answer.numbers[1]);
        } else {
            dialog->flags &= ~(PD_SELECTION | PD_PAGENUMS);
        }
        dialog->copies = static_cast<int>(answer.numbers[2]);
        answers->prints.pop_front();
        *ok = true;
        return true;
    };
    Win_SetHooks(std::move(hooks));
}

void Mouse(WinHandle top, uint32_t message, long x, long y, uint32_t flags) {
    Win_InputMouse(top, message, static_cast<int>(x), static_cast<int>(y), flags);
    Win_PumpMessages();
}

// Runs one command; false with a message.
bool RunCommand(ViewerHost& host, const ScriptCommand& c, Answers& answers, bool* quit, std::string* error) {
    WinHandle top = host.BrowserWindow();
    const std::vector<long>& n = c.numbers;
    switch (c.kind) {
        case ScriptCommand::Resize:
            if (!host.Resize(static_cast<int>(n[0]), static_cast<int>(n[1]))) {
                *error = "the browser window did not resize";
                return false;
            }
            return true;
        case ScriptCommand::Command: {
            WinHandle plugin = host.PluginWindow();
            if (plugin == 0) {
                *error = "the plug-in has no window in the browser window";
                return false;
            }
            Win_PostMessage(plugin, WM_COMMAND, static_cast<uintptr_t>(n[0]), 0);
            Win_PumpMessages();
            return true;
        }
        case ScriptCommand::Key:
            Win_InputKey(VirtualKeyOf(c.text));
            Win_PumpMessages();
            return true;
        case ScriptCommand::Click:
            Mouse(top, WM_LBUTTONDOWN, n[0], n[1], MK_LBUTTON);
            Mouse(top, WM_LBUTTONUP, n[0], n[1], 0);
            return true;
        case ScriptCommand::DoubleClick:
            Mouse(top, WM_LBUTTONDOWN, n[0], n[1], MK_LBUTTON);
            Mouse(top, WM_LBUTTONUP, n[0], n[1], 0);
            Mouse(top, WM_LBUTTONDBLCLK, n[0], n[1], MK_LBUTTON);
            Mouse(top, WM_LBUTTONUP, n[0], n[1], 0);
            return true;
        case ScriptCommand::RightClick:
            Mouse(top, WM_RBUTTONDOWN, n[0], n[1], MK_RBUTTON);
            Mouse(top, WM_RBUTTONUP, n[0], n[1], 0);
            return true;
        case ScriptCommand::Drag: {
            Mouse(top, WM_LBUTTONDOWN, n[0], n[1], MK_LBUTTON);
            const int steps = 4;
            for (int i = 1; i <= steps; ++i) {
                Mouse(top, WM_MOUSEMOVE, n[0] + (n[2] - n[0]) * i / steps, n[1] + (n[3] - n[1]) * i / steps,
                      MK_LBUTTON);
            }
            Mouse(top, WM_LBUTTONUP, n[2], n[3], 0);
            return true;
        }
        case ScriptCommand::Type:
            Win_InputText(c.text);
            Win_PumpMessages();
            return true;
        case ScriptCommand::AnswerDialog: answers.dialogs.push_back(c); return true;
        case ScriptCommand::AnswerBox: answers.boxes.push_back(c); return true;
        case ScriptCommand::ChooseMenu: answers.menus.push_back(c); return true;
        case ScriptCommand::PrintTo: answers.prints.push_back(c); return true;
        case ScriptCommand::WaitUrl:
            if (!host.WaitUrl(c.text, kWaitMs)) {
                *error = "no request for a URL containing \"" + c.text + "\" completed";
                return false;
            }
            return true;
        case ScriptCommand::WaitIdle:
            if (!host.WaitIdle(kWaitMs)) {
                *error = "requests still open after " + std::to_string(kWaitMs / 1000) + " seconds";
                return false;
            }
            return true;
        case ScriptCommand::Stop:
            host.StopRequests();
            Win_PumpMessages();
            return true;
        case ScriptCommand::Screenshot:
            Win_PumpMessages();
            if (!Win_Screenshot(top, c.text)) {
                *error = "cannot write the screenshot " + c.text;
                return false;
            }
            return true;
        case ScriptCommand::ExpectStatus:
            if (host.StatusText() != c.text) {
                *error = "status is \"" + host.StatusText() + "\", expected \"" + c.text + "\"";
                return false;
            }
            return true;
        case ScriptCommand::ExpectClipboard: {
            std::string clipboard = Win_ClipboardText();
            if (clipboard != c.text) {
                *error = "clipboard holds \"" + clipboard + "\", expected \"" + c.text + "\"";
                return false;
            }
            return true;
        }
        case ScriptCommand::Sleep:
            Win_AdvanceTime(static_cast<unsigned>(n[0]));
            Win_PumpMessages();
            return true;
        case ScriptCommand::Quit: *quit = true; return true;
    }
    return true;
}

std::string Unused(const std::deque<ScriptCommand>& queue, const char* what) {
    if (queue.empty()) return "";
    return "line " + std::to_string(queue.front().line) + ": no " + what + " came for \"" +
           queue.front().source + "\"";
}

}  // namespace

bool RunScript(ViewerHost& host, const std::vector<ScriptCommand>& commands, std::string* error) {
    auto answers = std::make_shared<Answers>();
    InstallHooks(answers);
    bool ok = true;
    bool quit = false;
    for (const ScriptCommand& command : commands) {
        Win_LogEvent("script", JsonFields().Add("line", command.line).Add("command", command.source).Text());
        std::string message;
        if (!RunCommand(host, command, *answers, &quit, &message)) {
            *error = "line " + std::to_string(command.line) + ": " + message;
            ok = false;
            break;
        }
        if (!answers->failure.empty()) {
            *error = answers->failure;
            ok = false;
            break;
        }
        if (quit) break;
    }
    if (ok) {
        for (const std::string& unused :
             {Unused(answers->dialogs, "dialog"), Unused(answers->boxes, "message box"),
              Unused(answers->menus, "popup menu"), Unused(answers->prints, "print dialog")}) {
            if (!unused.empty()) {
                *error = unused;
                ok = false;
                break;
            }
        }
    }
    Win_SetHooks(WinHooks());
    return ok;
}
