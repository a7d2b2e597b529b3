#pragma once

#include <string>

namespace tavrin {

enum class TDialogIcon { Warning, Question, Error, Information };

// The questions and warnings the station puts to its operator. The station
// answers them with modal message boxes, tests with scripted answers, the
// command-line front end with its flags.
class TOperatorDialogs {
public:
    virtual ~TOperatorDialogs() = default;

    // A box with Yes and No buttons; true only when the answer is Yes.
    virtual bool AskYesNo(const std::string& caption, const std::string& text, TDialogIcon icon) = 0;

    // A box with one OK button.
    virtual void Tell(const std::string& caption, const std::string& text, TDialogIcon icon) = 0;
};

}  // namespace tavrin
