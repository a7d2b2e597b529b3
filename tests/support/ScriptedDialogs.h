#pragma once

#include "station/OperatorDialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace tavrin::testing {

// Answers questions from a script (No once it runs out) and records what
// was asked and told, as "caption: text".
struct TScriptedDialogs final : TOperatorDialogs {
    std::deque<bool> Answers;
    std::vector<std::string> Asked;
    std::vector<std::string> Told;
    bool AskYesNo(const std::string& caption, const std::string& text, TDialogIcon) override
    {
        Asked.push_back(caption + ": " + text);
        const bool answer = !Answers.empty() && Answers.front();
        if (!Answers.empty())
            Answers.pop_front();
        return answer;
    }
    void Tell(const std::string& caption, const std::string& text, TDialogIcon) override
    {
        Told.push_back(caption + ": " + text);
    }
};

}  // namespace tavrin::testing
