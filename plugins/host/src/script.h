// script.h - the test script language of qelview: one command per line.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ScriptCommand {
    enum Kind {
        Resize,        // numbers: width, height
        Command,       // numbers: id
        Key,           // text: key name
        Click,         // numbers: x, y
        DoubleClick,   // numbers: x, y
        RightClick,    // numbers: x, y
        Drag,          // numbers: x1, y1, x2, y2
        Type,          // text
        AnswerDialog,  // text: dialog name; steps
        AnswerBox,     // numbers: button id
        ChooseMenu,    // numbers: item id
        PrintTo,       // text: directory; numbers: from, to (0 0: all pages), copies
        WaitUrl,       // text
        WaitIdle,
        Stop,
        Screenshot,       // text: file
        ExpectStatus,     // text
        ExpectClipboard,  // text
        Sleep,            // numbers: milliseconds
        Quit,
    };
    Kind kind = Quit;
    int line = 0;
    std::string source;  // the line as written
    std::string text;
    std::vector<long> numbers;
    // answer-dialog: set ID=VALUE and click ID, in the order written.
    struct DialogStep {
        bool click = false;
        long id = 0;
        std::string value;  // set only
        bool operator==(const DialogStep&) const = default;
    };
    std::vector<DialogStep> steps;
};

// Parses a whole script; false with "line N: ..." for the first bad line.
bool ParseScript(const std::string& text, std::vector<ScriptCommand>* commands, std::string* error);
// The virtual key of a key name ("Return", "PageDown", "a", ...); 0 when unknown.
int VirtualKeyOf(const std::string& name);
