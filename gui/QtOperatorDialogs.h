#pragma once

#include "station/OperatorDialogs.h"

class QWidget;

namespace tavrin {

// The operator's questions and warnings as modal Qt message boxes.
class TQtOperatorDialogs final : public TOperatorDialogs {
public:
    // Boxes are owned by this window (may be null: no owner).
    QWidget* Owner = nullptr;

    bool AskYesNo(const std::string& caption, const std::string& text, TDialogIcon icon) override;
    void Tell(const std::string& caption, const std::string& text, TDialogIcon icon) override;
};

}  // namespace tavrin
