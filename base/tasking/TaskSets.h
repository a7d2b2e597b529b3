#pragma once

#include <array>
#include <string>

namespace tavrin {

// The tasks of a job in their fixed order; a task set runs from Master up to
// its level.
enum TTaskIndex : int { MasterTask = 0, PreviewTask = 1, WebTask = 2, TransferTask = 3, NotifyTask = 4 };

constexpr int TaskCount = 5;

// The stored task set texts, by level.
inline const std::array<std::string, TaskCount> TaskSetTexts = {
    "Master",
    "Master, Preview",
    "Master, Preview, Web",
    "Master, Preview, Web, Transfer",
    "Master, Preview, Web, Transfer, Notify",
};

// The captions of the main window's Actions group, by level.
inline const std::array<std::string, TaskCount> TaskSetCaptions = {
    "Create Master",
    "Create Master and Preview",
    "Create Master, Preview, and Web Page",
    "Create Master, Preview, Web Page, then Transfer",
    "Create Master, Preview, Web Page, then Transfer and Notify",
};

// The word by which a task set names each task after Master.
inline const std::array<std::string, TaskCount> TaskWords = {"Master", "Preview", "Web", "Transfer", "Notify"};

// The level of a whole task set text; 4 when it matches none of the five.
int TaskSetLevel(const std::string& taskSet);

// The level whose text equals the task set exactly, or -1 when none does.
int ExactTaskSetLevel(const std::string& taskSet);

// Whether the task set names the task anywhere in its text.
bool TaskSetNames(const std::string& taskSet, TTaskIndex task);

}  // namespace tavrin
